#include "host/plugin_loader.h"

#include <gtest/gtest.h>

#include "host/feature_set.h"
#include "host/host_context.h"
#include "host/host_services.h"
#include "host/protocol_context.h"
#include "testing/failure.h"
#include "testing/recording_controller.h"
#include "testing/temp_folder.h"

namespace {

const std::string kFactory = NBX_TEST_PLUGIN_FACTORY_PATH;

class PluginLoader : public ::testing::Test {
protected:
    nbx::testing::RecordingLogSink& sink() {
        return static_cast<nbx::testing::RecordingLogSink&>(controller.logSink());
    }
    host::CHostContext hostContext(bool syncEnabled) {
        return host::CHostContext(controller.logSink(),
                                  std::make_shared<host::CFeatureSet>(syncEnabled));
    }
    host::CProtocolContext context(int family, const std::string& name, host::CHostContext& host) {
        return host::CProtocolContext(CProtocolFamily(family), name, host, services);
    }

    nbx::testing::TempFolder folder{"nbx-plugin-loader"};
    host::CMasterController controller{std::make_unique<nbx::testing::RecordingLogSink>()};
    host::CInterfaceRegistry interfaces;
    host::CHostServices services{controller, nullptr, interfaces, folder.path(), 1};
};

}  // namespace

TEST_F(PluginLoader, EveryLoadFailureNamesTheLibraryAndLeavesNothingLoaded) {
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {"/missing/libnone.so",
         "/missing/libnone.so: cannot open shared object file: No such file or directory"},
        {"", "No file name given."},
        {NBX_TEST_PLUGIN_NO_DESTROYER_PATH,
         "Symbol 'pluginDestroyer' not found: " NBX_TEST_PLUGIN_NO_DESTROYER_PATH
         ": undefined symbol: pluginDestroyer"},
        {NBX_TEST_PLUGIN_NULL_PATH, "The plug-in's creator returned none."},
        {NBX_TEST_PLUGIN_PLAIN_PATH,
         "The plug-in does not implement 'CIDHCPAutonomousObjectFactory'."},
    };
    host::CHostContext host = hostContext(true);
    host::CPluginLoader loader(host);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto failure = nbx::testing::failure([&] { loader.load(c.path); });
        EXPECT_EQ(failure.message, "Cannot load plug-in '" + c.path + "'.");
        EXPECT_EQ(failure.reason, c.reason);
        EXPECT_EQ(failure.module, "host");
        EXPECT_FALSE(loader.isLoaded());
        EXPECT_EQ(loader.plugin(), nullptr);
    }
    // The loader is usable after its failures; a second load is refused and keeps the first.
    ASSERT_TRUE(loader.load(kFactory));
    EXPECT_EQ(nbx::testing::failure([&] { loader.load(NBX_TEST_PLUGIN_PLAIN_PATH); }).text(),
              "Cannot load plug-in '" NBX_TEST_PLUGIN_PLAIN_PATH "'. | The plug-in '" + kFactory +
                  "' is loaded.");
    EXPECT_TRUE(loader.isLoaded());
    EXPECT_EQ(loader.path(), kFactory);
}

TEST_F(PluginLoader, APluginThatIsNotEnabledIsUnloadedAndNotStarted) {
    host::CHostContext host = hostContext(false);
    host::CPluginLoader loader(host);
    EXPECT_FALSE(loader.load(kFactory));
    EXPECT_FALSE(loader.isLoaded());
    const auto entries = sink().entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].text, "The Test plugin is not enabled.");
    EXPECT_EQ(entries[1].text, "destroyed");
    EXPECT_EQ(entries[2].text,
              "The plug-in 'Test' from '" + kFactory + "' is not enabled: it was not started.");
    EXPECT_EQ(entries[2].severity, nbx::SEVERITY_AUDIT);
    EXPECT_EQ(entries[2].module, "host");
}

TEST_F(PluginLoader, InstancesStartInOrderAndAreReleasedInReverseBeforeTheDestroyer) {
    host::CHostContext host = hostContext(true);
    host::CProtocolContext v4 = context(4, "dhcp4", host);
    host::CProtocolContext v6 = context(6, "dhcp6", host);
    const std::vector<std::string> expected = {"baseInstance dhcp4", "baseInstance dhcp6",
                                               "release dhcp6", "release dhcp4", "destroyed"};
    for (bool explicitStop : {true, false}) {
        SCOPED_TRACE(explicitStop ? "stop, twice" : "destructor");
        sink().clear();
        {
            host::CPluginLoader loader(host);
            ASSERT_TRUE(loader.load(kFactory));
            loader.start({&v4, &v6});
            EXPECT_NE(loader.plugin(), nullptr);
            if (explicitStop) {
                loader.stop();
                EXPECT_FALSE(loader.isLoaded());
                loader.stop();
            }
        }
        EXPECT_EQ(sink().texts(), expected);
    }
}

TEST_F(PluginLoader, AFailedStartReleasesTheStartedInstancesAndUnloads) {
    host::CHostContext host = hostContext(true);
    host::CProtocolContext v4 = context(4, "dhcp4", host);
    host::CProtocolContext broken = context(6, "broken", host);
    host::CPluginLoader loader(host);
    ASSERT_TRUE(loader.load(kFactory));
    auto failure = nbx::testing::failure([&] { loader.start({&v4, &broken}); });
    EXPECT_EQ(failure.message, "Cannot start plug-in '" + kFactory + "'.");
    EXPECT_EQ(failure.reason,
              "Instance 'broken' did not start: Cannot create a test instance. (Broken context.)");
    EXPECT_FALSE(loader.isLoaded());
    EXPECT_EQ(sink().texts(), (std::vector<std::string>{"baseInstance dhcp4", "baseInstance broken",
                                                        "release dhcp4", "destroyed"}));
}
