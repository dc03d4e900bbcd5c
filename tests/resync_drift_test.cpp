// Resync and drift report of the real plug-in in real host objects, against a peer that is a
// whole host (console, store, apply rules) running in this process on loopback.

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/console_command_client.h"
#include "host/host_daemon.h"
#include "replicated_classes.h"
#include "standard/dir_ent.h"
#include "testing/failure.h"
#include "testing/replicating_host.h"
#include "testing/temp_folder.h"

using nbx::testing::eventually;
using nbx::testing::failure;
using nbx::testing::Peer;
using nbx::testing::ReplicatingHost;

namespace {

using Kind = CSyncDriftReport::Kind;

// Node 2 of the group with no plug-in: it only applies what it is sent and answers its console.
class PeerHost {
public:
    PeerHost() {
        host::CHostSettings settings;
        settings.nodeId = 2;
        settings.dataDir = m_folder.path();
        settings.consolePort = settings.queryPort = 0;
        settings.consolePassword = "peer-secret";
        settings.statementDirectory = NBX_HOST_DB_DIR;
        settings.logFile = m_folder.path() + "/nbxd.log";
        settings.pidFile.clear();
        settings.ipv6 = false;
        settings.config = std::make_shared<nbx::CConfig>(std::string(), "\n");
        m_daemon = std::make_unique<host::CHostDaemon>(settings);
        m_daemon->start();
        m_client.connect(target());
        std::string ignored;
        m_client.execute("set_context=4", ignored);
    }

    std::string target() const { return "127.0.0.1:" + std::to_string(m_daemon->queryPort()); }
    std::string peerRecord(const std::string& classes = "*") const {
        return "target=" + target() +
               "\nconsole_user=admin\nconsole_pass=peer-secret\nclasses=" + classes + "\n";
    }
    // One IPv4 console command, which must succeed; the response text.
    std::string command(const std::string& text) {
        std::string response;
        EXPECT_EQ(m_client.execute(text, response), 0) << text << "\n" << response;
        return response;
    }

private:
    nbx::testing::TempFolder m_folder{"nbx-peer"};
    std::unique_ptr<host::CHostDaemon> m_daemon;
    host::CConsoleCommandClient m_client{"admin", [] { return std::string("peer-secret"); }, 0, 5,
                                         60};
};

// One object of every class the IPv4 instance replicates, stored without a bus event: only a
// resync can bring them to a peer.
const std::vector<Change> kIPv4Objects = [] {
    std::vector<Change> out = kBothFamilies;
    out.push_back({"address_pool",
                   "name=a\nrangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\n"
                   "prefix=10.1.2.0\nprefix_len=24\npolicies=voip\n"});
    out.push_back({"address_binding",
                   "client_id=01-02\nipaddr=10.1.2.15\nrelay=10.1.2.1\nsource_pool=a\n"
                   "lease_duration=Thu Jan  1 01:00:00 1970\n"});
    return out;
}();

std::string describe(const CSyncDriftReport& report) {
    std::string out =
        report.complete ? "complete\n" : "incomplete: " + report.incompleteReason + "\n";
    for (const auto& d : report.differences)
        out += d.topic + " " + std::to_string(d.oid) + " " + d.name +
               " kind=" + std::to_string(static_cast<int>(d.kind)) + " " + d.fields + "\n";
    return out;
}

bool inStep(const CSyncDriftReport& report) {
    return report.complete && report.differences.empty();
}

class ResyncDrift : public ::testing::Test {
protected:
    explicit ResyncDrift(const std::string& config = ReplicatingHost::Options().config)
        : host(ReplicatingHost::Options{config}) {}

    void SetUp() override {
        for (const Change& change : kIPv4Objects)
            oids[change.topic] = host.store(4, change.topic, change.text);
        host.start();
        operations = host.loader().operations(4);
        ASSERT_NE(operations, nullptr);
    }
    // Makes the peer known to the host's IPv4 receiver.
    void addPeer(const std::string& record) {
        host.add(4, "replicate_peer", record);
        ASSERT_TRUE(host.logged("Replication peer '" + peer.target() + "' has been added."))
            << host.logText();
    }
    // Waits until the peer holds what the host holds.
    ::testing::AssertionResult eventuallyInStep() {
        CSyncDriftReport report;
        if (eventually([&] { return inStep(report = operations->drift(peer.target())); }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << describe(report) << host.logText();
    }
    // The spool of the peer is replayed to its end.
    bool drained() {
        const std::string folder = host.spool(peer.target());
        return eventually([&] {
            std::list<nbx::CDirEnt> closed;
            nbx::CStat::findFiles(folder, "*-transactions.4.log", closed);
            return closed.empty() && nbx::testing::readFile(folder + "/transactions.4.log").empty();
        });
    }

    // The drift report against `scripted`, a disabled peer of `classes` whose answers the test
    // scripts.
    CSyncDriftReport driftOfScripted(const std::string& classes) {
        host.add(4, "replicate_peer",
                 "target=" + scripted.target() +
                     "\nconsole_user=admin\nconsole_pass=peer-secret\nenabled=false\nclasses=" +
                     classes + "\n");
        return operations->drift(scripted.target());
    }

    PeerHost peer;
    Peer scripted{"admin", "peer-secret"};
    ReplicatingHost host;
    CIDHCPSyncOperations* operations = nullptr;
    std::map<std::string, std::uint32_t> oids;
};

TEST_F(ResyncDrift, ResyncBringsAnEmptyPeerInStepReferencedClassesFirst) {
    addPeer(peer.peerRecord());
    EXPECT_FALSE(inStep(operations->drift(peer.target())));

    const CSyncResyncResult result = operations->resync(peer.target());
    std::vector<std::string> order;
    for (const auto& written : result.written) {
        order.push_back(written.first);
        EXPECT_EQ(written.second, oids.count(written.first)) << written.first;
    }
    const auto at = [&](const std::string& topic) {
        return std::find(order.begin(), order.end(), topic) - order.begin();
    };
    for (const Change& change : kIPv4Objects) EXPECT_LT(at(change.topic), order.size());
    EXPECT_LT(at("user_role"), at("capability"));
    EXPECT_LT(at("policy"), at("address_pool"));
    EXPECT_LT(at("address_pool"), at("address_binding"));
    EXPECT_LT(at("domain"), at("account"));

    ASSERT_TRUE(eventuallyInStep());
    for (const auto& counts : operations->drift(peer.target()).classes)
        EXPECT_EQ(counts.peer, oids.count(counts.topic)) << counts.topic;
}

TEST_F(ResyncDrift, ClassesLargerThanAPageAreWrittenAndComparedWhole) {
    // Past two resync pages of 500 and one drift page of 1000, here and on the peer.
    constexpr int kDomains = 1201;
    std::uint32_t late = 0;  // an object of the second drift page
    for (int i = 0; i < kDomains; ++i) {
        const std::uint32_t oid = host.store(4, "domain", "name=d" + std::to_string(i) + "\n");
        if (i == 1100) late = oid;
    }
    addPeer(peer.peerRecord("domain"));
    const CSyncResyncResult result = operations->resync(peer.target());
    ASSERT_EQ(result.written.size(), 1u);
    EXPECT_EQ(result.written.front().second, kDomains + 1u);
    ASSERT_TRUE(eventuallyInStep());
    EXPECT_NE(peer.command("list domain").find("count=" + std::to_string(kDomains + 1)),
              std::string::npos);

    peer.command("modify domain\noid=" + std::to_string(late) + "\ndescription=moved\n");
    const CSyncDriftReport report = operations->drift(peer.target());
    ASSERT_TRUE(report.complete) << report.incompleteReason;
    ASSERT_EQ(report.differences.size(), 1u) << describe(report);
    EXPECT_EQ(report.differences.front().name, "d1100");
    EXPECT_EQ(report.differences.front().kind, Kind::kDiffers);
    EXPECT_EQ(report.differences.front().fields, "description");
    ASSERT_EQ(report.classes.size(), 1u);
    EXPECT_EQ(report.classes.front().peer, kDomains + 1u);
}

TEST_F(ResyncDrift, RepeatedResyncChangesNothingOnThePeer) {
    addPeer(peer.peerRecord());
    operations->resync(peer.target());
    ASSERT_TRUE(eventuallyInStep());
    ASSERT_TRUE(drained());
    std::map<std::string, std::string> before;
    for (const auto& entry : oids) before[entry.first] = peer.command("list " + entry.first);

    operations->resync(peer.target());
    ASSERT_TRUE(drained()) << host.logText();
    // The same objects with the same texts and times: every record was one with nothing to do.
    for (const auto& entry : oids) {
        EXPECT_EQ(peer.command("list " + entry.first), before[entry.first]) << entry.first;
    }
}

TEST_F(ResyncDrift, ReportsAChangedObjectOneMissingOnThePeerAndOneOnlyThere) {
    addPeer(peer.peerRecord());
    operations->resync(peer.target());
    ASSERT_TRUE(eventuallyInStep());

    peer.command("modify keyvalue\noid=" + std::to_string(oids["keyvalue"]) + "\nvalue=light\n");
    peer.command("del sql_query_group\noid=" + std::to_string(oids["sql_query_group"]) + "\n");
    peer.command("add domain\nname=peer-only\n");

    const CSyncDriftReport report = operations->drift(peer.target());
    ASSERT_TRUE(report.complete) << report.incompleteReason;
    ASSERT_EQ(report.differences.size(), 3u) << describe(report);
    std::map<std::string, CSyncDriftReport::Difference> byTopic;
    for (const auto& difference : report.differences) byTopic[difference.topic] = difference;
    EXPECT_EQ(byTopic["keyvalue"].kind, Kind::kDiffers);
    EXPECT_EQ(byTopic["keyvalue"].fields, "value");  // its newer mod_time is no difference
    EXPECT_EQ(byTopic["sql_query_group"].kind, Kind::kMissingOnPeer);
    EXPECT_EQ(byTopic["sql_query_group"].name, "reports");
    EXPECT_EQ(byTopic["domain"].kind, Kind::kMissingHere);
    EXPECT_EQ(byTopic["domain"].name, "peer-only");
    for (const auto& counts : report.classes) {
        if (counts.topic != "domain") continue;
        EXPECT_EQ(counts.local, 1u);
        EXPECT_EQ(counts.peer, 2u);
        EXPECT_EQ(counts.missingHere, 1u);
    }
}

TEST_F(ResyncDrift, UnknownTargetIsRefusedByName) {
    for (const auto& refused : {failure([&] { operations->resync("10.9.9.9:7071"); }),
                                failure([&] { operations->drift("10.9.9.9:7071"); })})
        EXPECT_NE(refused.text().find("'10.9.9.9:7071'"), std::string::npos) << refused.text();
}

TEST_F(ResyncDrift, PeerThatGoesAwayMidDriftGivesAnIncompleteReport) {
    // A peer that answers the first list and hangs up on the second.
    scripted.script->push(
        {"oid=" + std::to_string(0x02000001) + "\nname=elsewhere\n", "code=ack\ncount=1"});
    scripted.script->pushHangUp();
    const CSyncDriftReport report = driftOfScripted("domain,policy");
    EXPECT_FALSE(report.complete);
    EXPECT_NE(report.incompleteReason.find("disconnected"), std::string::npos)
        << report.incompleteReason;
    ASSERT_FALSE(report.classes.empty()) << describe(report);
    EXPECT_EQ(report.classes.front().topic, "domain");
    EXPECT_EQ(report.classes.front().missingHere, 1u);
    EXPECT_EQ(report.classes.front().missingOnPeer, 1u);  // "lab" of this host
}

TEST_F(ResyncDrift, PeerListOutOfOidOrderGivesAnIncompleteReport) {
    // Merging by oid needs the peer's order: a list that goes back cannot be compared.
    scripted.script->push({"oid=" + std::to_string(0x02000005) + "\nname=late\n",
                           "oid=" + std::to_string(0x02000003) + "\nname=early\n",
                           "code=ack\ncount=2\nmore=no"});
    const CSyncDriftReport report = driftOfScripted("domain");
    EXPECT_FALSE(report.complete);
    EXPECT_NE(report.incompleteReason.find("not in increasing oid order"), std::string::npos)
        << report.incompleteReason;
}

class AutoResync : public ResyncDrift {
protected:
    AutoResync()
        : ResyncDrift("ipv4.dhcpv4.sync.interval=1\nipv4.dhcpv4.sync.resync_new_peers=yes\n") {}
};

TEST_F(AutoResync, NewPeerRecordBringsThePeerInStep) {
    addPeer(peer.peerRecord());
    EXPECT_TRUE(eventuallyInStep());
}

}  // namespace
