#pragma once
// Loads one plug-in library and drives it: load() opens the library, creates the plug-in and
// hands it the host context; a plug-in that is not enabled is unloaded at once. start() asks
// the plug-in for the service of each protocol instance, stop() gives them back in reverse
// order, destroys the plug-in and closes the library.
//
// Every failure leaves nothing loaded and throws an nbx::CException naming the library. The
// loader itself is driven by one thread (the daemon's start and shut-down).

#include <string>
#include <vector>

#include "dhcp_plugin_api/dhcp_context.h"
#include "dhcp_plugin_api/host_context.h"
#include "dhcp_plugin_api/plugin.h"
#include "dhcp_plugin_api/sync_operations.h"

namespace host {

class CPluginLoader {
public:
    // `hostContext` is not owned; it outlives the loaded plug-in.
    explicit CPluginLoader(CIHostContext& hostContext);
    ~CPluginLoader();
    CPluginLoader(const CPluginLoader&) = delete;
    CPluginLoader& operator=(const CPluginLoader&) = delete;

    // True when the plug-in is loaded and enabled; false when it was not enabled (and is
    // unloaded again). Throws when a plug-in is already loaded.
    bool load(const std::string& path);
    // baseInstance for each context, in the given order (IPv4 first). A failure releases the
    // instances already started and unloads the plug-in. The contexts outlive stop().
    void start(const std::vector<CIDHCPContext*>& contexts);
    // Releases the started instances in reverse order, destroys the plug-in and closes the
    // library. Does nothing when nothing is loaded.
    void stop();

    bool isLoaded() const { return m_library != nullptr; }
    const std::string& path() const { return m_path; }
    // The loaded plug-in, or null.
    CIDHCPAutonomousObjectFactory* plugin() const { return m_plugin; }
    // The started instance's operations for `family`, or null when the plug-in has none.
    CIDHCPSyncOperations* operations(int family) const;

private:
    void _releaseAll();
    void _unload();
    // Unloads, then throws `message` (its %1 the library's path) with `reason`.
    [[noreturn]] void _fail(const char* function, const char* message, const nbx::CMessage& reason);
    void _log(std::uint32_t severity, const nbx::CMessage& message);

    CIHostContext& m_hostContext;
    std::string m_path;
    void* m_library = nullptr;
    CPluginDestroyer m_destroyer = nullptr;
    CIDHCPAutonomousObjectFactory* m_plugin = nullptr;
    // With what baseInstance returned for each.
    std::vector<std::pair<CIDHCPContext*, void*>> m_started;
};

}  // namespace host
