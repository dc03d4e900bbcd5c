// The plug-in's factory: one receiver per family shared by the instances of that family, the
// enabled check, and the stop of receivers the host forgot to release.

#include "plugin/sync_factory.h"

#include <gtest/gtest.h>

#include "host/sqlite_engine.h"
#include "sync_test_host.h"
#include "testing/failure.h"

namespace {

using nbx::testing::failure;
using nbx::testing::TestContext;
using nbx::testing::TestHostServices;

class Features : public CIDHCPFeatureSet, public CIHostContext {
public:
    explicit Features(bool enabled) : m_enabled(enabled) {}
    bool syncEnabled() const override { return m_enabled; }
    nbx::CILogSink& logSink() override { return sink; }
    CIDHCPFeatureSetPtr featureSet() override {
        return CIDHCPFeatureSetPtr(this, [](const CIDHCPFeatureSet*) {});
    }
    nbx::testing::RecordingLogSink sink;

private:
    bool m_enabled;
};

class SyncFactory : public ::testing::Test {
protected:
    SyncFactory() { host.offer("CIDBFacadeFactory", &engine); }
    ~SyncFactory() override { engine.close(); }

    TestHostServices host;
    host::CSQLiteEngine engine{{host.folder() + "/host.db", NBX_HOST_DB_DIR}};
    TestContext v4{host, 4, "dhcp4"};
    TestContext v6{host, 6, "dhcp6"};
    CDHCPSyncFactory factory;
};

}  // namespace

TEST_F(SyncFactory, ImplementsComparesEachListedNameExactly) {
    const struct {
        const char* name;
        bool expected;
    } cases[] = {{"CPlugin", true},          {"CIDHCPSyncFactory", true},
                 {" CPlugin", false},        {"cplugin", false},
                 {"CIDHCPAutonomousObjectFactory", true}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(factory.implements(c.name), c.expected);
    }
}

TEST_F(SyncFactory, DisabledFeatureIsLoggedOnce) {
    Features off(false), on(true);
    factory.setHostContext(&on);
    EXPECT_TRUE(factory.isEnabled());
    EXPECT_TRUE(on.sink.entries().empty());
    factory.setHostContext(&off);
    EXPECT_FALSE(factory.isEnabled());
    ASSERT_EQ(off.sink.entries().size(), 1u);
    EXPECT_EQ(off.sink.entries()[0].text, "The DHCP Sync plugin is not enabled.");
    EXPECT_EQ(off.sink.entries()[0].severity, 16u);
    EXPECT_EQ(off.sink.entries()[0].module, "dhcp_sync");
}

TEST_F(SyncFactory, UnknownFamilyIsRefused) {
    EXPECT_EQ(failure([&] { factory.baseInstance(nullptr); }).text(),
              "Cannot create a dhcp sync instance. | Unknown protocol family.");
    EXPECT_EQ(failure([&] { factory.release(nullptr); }).text(),
              "Cannot shutdown a dhcp sync instance. | Unknown protocol family.");
}

TEST_F(SyncFactory, InstancesOfOneFamilyShareOneReceiverUntilTheLastRelease) {
    void* first = factory.baseInstance(&v4);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(factory.baseInstance(&v4), first);
    EXPECT_FALSE(factory.hasReceiver(6));
    factory.release(&v4);
    EXPECT_TRUE(factory.hasReceiver(4));
    factory.release(&v4);
    EXPECT_FALSE(factory.hasReceiver(4));
    factory.release(&v4);  // nothing left to release
    EXPECT_EQ(factory.instanceCount(4), 0);
    EXPECT_EQ(v4.closed(), 1);
}

TEST_F(SyncFactory, ReceiverThatFailsToStartIsNotCounted) {
    host.offer("CIDBFacadeFactory", nullptr);  // without a database the receiver cannot open
    EXPECT_EQ(factory.baseInstance(&v4), nullptr);
    EXPECT_FALSE(factory.hasReceiver(4));
    EXPECT_EQ(factory.instanceCount(4), 0);
}

TEST_F(SyncFactory, ShutdownStopsReceiversThatWereNotReleased) {
    factory.setHostContext(&host);
    ASSERT_NE(factory.baseInstance(&v6), nullptr);
    EXPECT_EQ(factory.shutdown(), 1);
    EXPECT_FALSE(factory.hasReceiver(6));
    EXPECT_EQ(v6.closed(), 1);
    bool logged = false;
    for (const auto& entry : host.sink().entries())
        logged |= entry.severity == 4 &&
                  entry.text.find("IPv6 instance is still in use") != std::string::npos;
    EXPECT_TRUE(logged);
}
