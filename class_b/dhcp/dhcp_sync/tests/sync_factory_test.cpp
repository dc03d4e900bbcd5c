// The plug-in's factory: one receiver per family shared by the instances of that family, the
// enabled check, and the stop of receivers the host forgot to release.

#include "plugin/sync_factory.h"

#include <gtest/gtest.h>

#include "host/sqlite_engine.h"
#include "sync_test_host.h"
#include "testing/failure.h"

namespace {

using nbx::testing::eventually;
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
    const auto entries = host.logged(
        "The DHCP Sync plugin is being destroyed while its IPv6 instance is still in use (1 not "
        "released); stopping it.");
    ASSERT_EQ(entries.size(), 1u) << host.errors();
    EXPECT_EQ(entries[0].severity, nbx::SEVERITY_ERROR);
    EXPECT_EQ(entries[0].module, "dhcp_sync");
}

TEST_F(SyncFactory, PeerChangesAreRelayedToTheOtherFamilyOnly) {
    // The IPv6 instance on a host of its own, so that each receiver's log is told apart.
    TestHostServices other;
    host::CSQLiteEngine otherEngine{{other.folder() + "/host.db", NBX_HOST_DB_DIR}};
    other.offer("CIDBFacadeFactory", &otherEngine);
    TestContext v6other{other, 6, "dhcp6"};
    EXPECT_NE(factory.baseInstance(&v4), nullptr);
    EXPECT_NE(factory.baseInstance(&v6other), nullptr);
    // A change of a peer the receiver does not know fails there, and says so in its log.
    for (const auto& [oid, family] :
         {std::pair<const char*, int>{"111", 4}, {"222", 6}, {"333", 4}}) {
        factory.notify(
            CAppEventPtr(new CPrstDHCPObjectEvent("modify", "replicate_peer", oid, nbx::CTimeT(0))),
            CProtocolFamily(family));
    }
    const auto failed = [](TestHostServices& site, const std::string& oid) {
        return site.errors().find("Unable to find receiver target " + oid + ".") !=
               std::string::npos;
    };
    // Each receiver takes its commands in order: once it has logged the last change meant for
    // it, a change wrongly sent to it before would be in its log too.
    EXPECT_TRUE(eventually([&] { return failed(other, "333") && failed(host, "222"); }));
    EXPECT_TRUE(failed(other, "111"));
    EXPECT_FALSE(failed(host, "111"));
    EXPECT_FALSE(failed(other, "222"));
    factory.release(&v4);
    factory.release(&v6other);
    otherEngine.close();
}
