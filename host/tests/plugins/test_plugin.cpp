// Plug-ins for the loader's tests, one library per NBX_TEST_PLUGIN variant:
//   factory      a factory that logs every call it gets through the host's log sink
//   null         a creator that returns no plug-in
//   no_destroyer a library without pluginDestroyer
//   plain        a plug-in that is not a factory of per-instance services

#include "dhcp_plugin_api/dhcp_context.h"
#include "dhcp_plugin_api/host_context.h"
#include "dhcp_plugin_api/plugin.h"
#include "standard/throw.h"

#define NBX_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

class CTestPlugin : public CIDHCPAutonomousObjectFactory {
public:
    ~CTestPlugin() override { _log("destroyed"); }
    bool isEnabled() override {
        CIDHCPFeatureSetPtr features = hostContext()->featureSet();
        if (features && features->syncEnabled()) return true;
        _log("The Test plugin is not enabled.", nbx::SEVERITY_AUDIT);
        return false;
    }
    void* _slot3() override { return nullptr; }
    void _slot4() override {}
    void _slot8() override {}
    void _slot9() override {}
    void* _slot11() override { return nullptr; }
    std::string name() const override { return "Test"; }
    std::string interfaces() const override {
#if defined(NBX_TEST_PLUGIN_PLAIN)
        return "CPlugin";
#else
        return "CIDHCPAutonomousObjectFactory, CPlugin";
#endif
    }
    void* baseInstance(CIDHCPContext* context) override {
        _log("baseInstance " + context->name());
        if (context->name() == "broken") {
            NBX_THROW(nbx::CException, "test_plugin", "CTestPlugin::baseInstance",
                      nbx::msg("Cannot create a test instance."), nbx::msg("Broken context."));
        }
        return this;
    }
    void release(CIDHCPContext* context) override {
        _log("release " + context->name());
    }

private:
    void _log(const std::string& text, std::uint32_t severity = nbx::SEVERITY_DEBUG) {
        if (hostContext()) {
            hostContext()->logSink().log(severity, nbx::msg("%1", text), nullptr);
        }
    }
};

}  // namespace

NBX_TEST_EXPORT CPlugin* pluginCreator() {
#if defined(NBX_TEST_PLUGIN_NULL)
    return nullptr;
#else
    return new CTestPlugin;
#endif
}

#if !defined(NBX_TEST_PLUGIN_NO_DESTROYER)
NBX_TEST_EXPORT void pluginDestroyer(CPlugin* plugin) {
    delete plugin;
}
#endif
