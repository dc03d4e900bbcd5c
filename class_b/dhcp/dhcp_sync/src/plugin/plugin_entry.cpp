// The plug-in's only exported symbols. Each is a thin C function that lets no exception out:
// a C++ exception must never cross into a host that may not even be C++.

#include <ace/Init_ACE.h>

#include <new>

#include "plugin/sync_factory.h"

#define NBX_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

NBX_PLUGIN_EXPORT CPlugin* pluginCreator() {
    try {
        ACE::init();
        return new (std::nothrow) CDHCPSyncFactory;
    } catch (...) {
        return nullptr;
    }
}

NBX_PLUGIN_EXPORT void pluginDestroyer(CPlugin* plugin) {
    try {
        if (plugin) {
            // Only our creator makes these; receivers the host forgot to release are stopped
            // before their code is unloaded.
            auto* factory = static_cast<CDHCPSyncFactory*>(plugin);
            factory->shutdown();
            delete factory;
        }
    } catch (...) {
        // nothing may leave; a failed stop has already been reported by the task
    }
    ACE::fini();
}
