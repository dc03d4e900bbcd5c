// The receiver of one protocol instance on a real bus and a real SQLite database: what it writes
// into the peers' spools, how it follows the replicate_peer records, what it leaves behind and
// the status it gives of its peers.
// The test thread changes objects through a session of its own on the same database file and
// publishes the bus events, as the host's console does.

#include "receiver/receiver_task.h"

#include <gtest/gtest.h>

#include <fstream>
#include <list>
#include <mutex>
#include <vector>

#include "dhcp_database/address_binding.h"
#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/replicate_peer.h"
#include "host/sqlite_engine.h"
#include "oodb_persistence/prst_db_session.h"
#include "plugin/replication_notifier.h"
#include "prst_generic/key_value.h"
#include "security/access_token.h"
#include "standard/stat.h"
#include "sync_test_host.h"
#include "testing/console_peer.h"

namespace {

using nbx::testing::eventually;
using nbx::testing::readFile;
using nbx::testing::spooledRecord;
using nbx::testing::TestContext;
using nbx::testing::TestHostServices;

class RecordingNotifier : public CIReplicationNotifier {
public:
    void notify(const CAppEventPtr& event, const CProtocolFamily& family) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_calls.push_back(event.get()->type() + " " + event.get()->oid() + " from " +
                          family.string());
    }
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_calls;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

// The IPv4 instance of one host: its database (the receiver and the test thread each on an
// engine of their own over the one file), its bus and its receiver.
class Receiver : public ::testing::Test {
public:
    explicit Receiver(const std::string& config = std::string()) : host(config) {
        addDHCPClasses(m_catalog);
        CPrstDHCPInitializer().init({&m_registry, &m_catalog, {}, 4});
        const host::CSQLiteEngine::Settings settings{host.folder() + "/host.db", NBX_HOST_DB_DIR};
        m_receiverEngine = std::make_unique<host::CSQLiteEngine>(settings);
        m_writerEngine = std::make_unique<host::CSQLiteEngine>(settings);
        m_session = std::make_unique<CPrstDBSession>(m_registry);
        m_session->open([this](const std::string&) -> void* { return m_writerEngine.get(); });
    }
    ~Receiver() override {
        receiver.reset();
        m_session.reset();
        m_writerEngine->close();
        m_receiverEngine->close();
    }

    void offerDatabase() { host.offer("CIDBFacadeFactory", m_receiverEngine.get()); }
    std::int32_t start() {
        receiver = std::make_unique<CReceiverTask>(context, &notifier);
        return receiver->run();
    }
    void startWithDatabase() {
        offerDatabase();
        ASSERT_EQ(start(), 0);
    }

    template <class T>
    std::unique_ptr<T> store(const std::string& text) {
        auto object = m_session->newObject<T>();
        object->string(text);
        object->commit(0, CFullAccessToken::instance());
        return object;
    }
    std::unique_ptr<CPrstReplicatePeer> storePeer(const std::string& target,
                                                  const std::string& logdir,
                                                  const std::string& classes = "*") {
        return store<CPrstReplicatePeer>("classes=" + classes +
                                         "\nconsole_pass=\nconsole_user=\nenabled=false\n"
                                         "logdir=" +
                                         logdir + "\ntarget=" + target + "\n");
    }
    // The record of an event, as the database holds the object now.
    template <class T>
    std::string record(const std::string& topic, const std::string& operation, const T* object,
                       std::int32_t oid, const std::string& time = "Thu Jan  1 00:00:00 1970") {
        return "sync_" + topic + "\n_event_operation=" + operation + "\n_event_time=" + time +
               "\n_oid=" + std::to_string(oid) + "\n" +
               (object ? m_session->find<T>(0, object->oid())->string() : std::string()) + "\n";
    }

    template <class E = CPrstDHCPObjectEvent>
    void publish(const std::string& type, const std::string& topic, const std::string& oid,
                 std::int64_t time = 0) {
        host.bus().publish({CAppEventPtr(new E(type, topic, oid, nbx::CTimeT(time)))});
    }

    std::string spoolDirectory(const std::string& logdir) {
        return host.baseDirectory() + "/" + logdir;
    }
    // The closed logs in their order, then (unless left out) the working log.
    std::string spool(const std::string& logdir, bool closedOnly = false) {
        std::list<nbx::CDirEnt> closed;
        if (nbx::CStat::isDirectory(spoolDirectory(logdir))) {
            nbx::CStat::findFiles(spoolDirectory(logdir), "*-transactions.4.log", closed);
        }
        closed.sort();
        std::string text;
        for (const nbx::CDirEnt& file : closed) text += readFile(file.fullPath());
        if (!closedOnly) text += readFile(spoolDirectory(logdir) + "/transactions.4.log");
        return text;
    }

    TestHostServices host;
    TestContext context{host, 4, "dhcp4"};
    RecordingNotifier notifier;
    std::unique_ptr<CReceiverTask> receiver;

private:
    CPrstClassCatalog m_catalog;
    CIPrstAbstractFactory m_registry;
    std::unique_ptr<host::CSQLiteEngine> m_receiverEngine;
    std::unique_ptr<host::CSQLiteEngine> m_writerEngine;
    std::unique_ptr<CPrstDBSession> m_session;
};

// A host of its own inside one test.
struct Site : Receiver {
    using Receiver::Receiver;
    void TestBody() override {}
};

}  // namespace

TEST(ReceiverStart, RegistersTheTopicsAndLetsGoOfEverythingAtStop) {
    for (bool failover : {false, true}) {
        SCOPED_TRACE(failover ? "failover present" : "no failover");
        Site site;
        int failoverManager = 0;
        if (failover) site.host.offer("CIDHCPFailoverAddrMgrFactory", &failoverManager);
        site.startWithDatabase();

        std::vector<std::string> expected{
            "config",     "replicate_peer",   "sql_query",    "sql_query_group",
            "snmp_query", "snmp_query_group", "capability",   "user_role",
            "account",    "user_account",     "domain",       "domain_group",
            "keyvalue",   "address_pool",     "network_pool", "policy",
            "option",     "vendor_class",     "rule"};
        if (!failover) {
            expected.insert(expected.end(), {"address_binding", "network_binding", "address_lease",
                                             "network_lease"});
        }
        EXPECT_EQ(site.host.bus().topics(), expected);
        EXPECT_EQ(site.host.bus().subscriberCount(), 1u);
        EXPECT_EQ(site.receiver->name(), "dhcp4-sync-receiver");
        EXPECT_TRUE(eventually([&] {
            return site.host.logged(nbx::SEVERITY_DEBUG, "The dhcp sync receiver is running.");
        }));
        EXPECT_EQ(site.context.closed(), 0);

        site.receiver->stop();
        EXPECT_TRUE(site.host.logged(nbx::SEVERITY_DEBUG, "The dhcp sync receiver has exited."));
        EXPECT_EQ(site.host.bus().subscriberCount(), 0u);
        EXPECT_EQ(site.context.closed(), 1);
        EXPECT_EQ(site.host.taskRegistry()->size(), 0u);
        EXPECT_GE(site.host.releasedThreads(), 2);  // the receiver's thread and the resolver's
    }
}

TEST(ReceiverStart, AFailedStartLeavesNothingRunning) {
    const struct {
        const char* config;
        bool database;
        const char* logged;
    } cases[] = {
        {"ipv4.dhcpv4.sync.interval=soon\n", true,
         "Failed to start the sync module conflict resolver. (The task failed to run.)"},
        {"", false, "Unable to find a database plugin to support primary storage."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        Site site(c.config);
        if (c.database) site.offerDatabase();
        EXPECT_EQ(site.start(), 10);
        EXPECT_TRUE(site.host.logged(nbx::SEVERITY_ERROR, c.logged));
        EXPECT_EQ(site.host.bus().subscriberCount(), 0u);
        EXPECT_EQ(site.host.taskRegistry()->size(), 0u);
        EXPECT_EQ(site.context.closed(), 0);
    }
}

TEST_F(Receiver, RecordsReachTheClosedLogsOfAcceptingPeersByteForByte) {
    host.setConfig("ipv4.dhcpv4.sync.interval=1\n");
    storePeer("127.0.0.1:1", "values", "keyvalue,address_binding");
    storePeer("127.0.0.1:2", "rules", "rule");
    auto value = store<CPrstKeyValue>("class=ui\nkey=theme\nvalue=dark\n");
    auto binding = store<CPrstAddressBinding4>(
        "client_id=01\nipaddr=10.0.0.5\nrelay=10.0.0.1\nlease_duration=infinite\n");
    startWithDatabase();
    host.bus().registerTopic("sample");

    const std::int32_t oid = binding->oid();
    publish("add", "keyvalue", "424242");  // no such object: reported, and the next goes on
    publish("add", "keyvalue", std::to_string(value->oid()), 365 * 86400);
    publish<CLeaseEvent>("expire", "address_lease", std::to_string(oid));
    publish("add", "sample", "5");
    publish<CLeaseEvent>("obtain", "address_lease", std::to_string(oid));
    publish<CLeaseEvent>("renew", "address_lease", std::to_string(oid));
    publish("del", "keyvalue", "0x1A");
    const std::string expected =
        record("keyvalue", "add", value.get(), value->oid(), "Fri Jan  1 00:00:00 1971") +
        record("address_binding", "add", binding.get(), oid) +
        record("address_binding", "modify", binding.get(), oid) +
        record<CPrstKeyValue>("keyvalue", "del", nullptr, 26);
    EXPECT_TRUE(eventually([&] { return spool("values", true) == expected; })) << spool("values");
    EXPECT_EQ(spool("rules"), "");
    EXPECT_NE(host.errors().find("Cannot read object 424242 of type 'keyvalue'."),
              std::string::npos)
        << host.errors();
    EXPECT_TRUE(host.logged(nbx::SEVERITY_DEBUG,
                            "The sync module receiver is not configured to process objects of "
                            "type 'sample'. This object is being discarded."));
}

TEST_F(Receiver, PeersFollowTheirRecordsAndChangesAreRelayed) {
    // The timer never closes the working log here: records are seen there as they are written.
    host.setConfig("ipv4.dhcpv4.sync.interval=3600\n");
    startWithDatabase();
    auto peer = storePeer("127.0.0.1:1", "a");
    const std::string oid = std::to_string(peer->oid());

    publish("add", "replicate_peer", oid);
    ASSERT_TRUE(eventually([&] { return notifier.calls().size() == 1; }));
    EXPECT_TRUE(host.logged(nbx::SEVERITY_AUDIT, "Replication peer '127.0.0.1:1' has been added."));
    publish("del", "rule", "7");
    const std::string rule = record<CPrstKeyValue>("rule", "del", nullptr, 7);
    ASSERT_TRUE(eventually([&] { return spool("a") == rule; }));

    peer->setLogDir("b");
    peer->commit(0, CFullAccessToken::instance());
    publish("modify", "replicate_peer", oid);
    ASSERT_TRUE(eventually([&] { return notifier.calls().size() == 2; }));
    EXPECT_FALSE(nbx::CStat::exists(spoolDirectory("a")));
    EXPECT_EQ(spool("b", true), rule);  // the working log was closed and moved along
    EXPECT_TRUE(
        host.logged(nbx::SEVERITY_AUDIT, "Replication peer '127.0.0.1:1' has been removed."));

    // A deleted peer's spool goes, but not a folder that holds files of someone else's.
    std::ofstream(spoolDirectory("b") + "/notes.txt") << "mine";
    peer->remove(0, CFullAccessToken::instance());
    publish("del", "replicate_peer", oid);
    ASSERT_TRUE(eventually([&] { return notifier.calls().size() == 3; }));
    EXPECT_EQ(spool("b"), "");
    EXPECT_EQ(readFile(spoolDirectory("b") + "/notes.txt"), "mine");
    EXPECT_TRUE(host.logged(nbx::SEVERITY_ERROR, "Failed to remove spool directory '" +
                                                     spoolDirectory("b") + "' for '127.0.0.1:1'."));
    EXPECT_EQ(notifier.calls(),
              (std::vector<std::string>{"add " + oid + " from 4", "modify " + oid + " from 4",
                                        "del " + oid + " from 4"}));
}

TEST_F(Receiver, RelayedChangesAreAppliedWithoutRelayingThemBack) {
    auto peer = storePeer("127.0.0.1:1", "relayed");
    startWithDatabase();
    receiver->postReplicationPeer(CAppEventPtr(new CPrstDHCPObjectEvent(
        "add", "replicate_peer", std::to_string(peer->oid()), nbx::CTimeT(0))));
    // The bus delivers through the same queue, after the command.
    publish("add", "replicate_peer", "999");
    ASSERT_TRUE(eventually([&] { return !notifier.calls().empty(); }));
    EXPECT_EQ(notifier.calls(), std::vector<std::string>{"add 999 from 4"});
    EXPECT_TRUE(host.logged(nbx::SEVERITY_AUDIT, "Replication peer '127.0.0.1:1' has been added."));
    EXPECT_TRUE(nbx::CStat::isDirectory(spoolDirectory("relayed")));
}

TEST_F(Receiver, PeersWhoseSpoolWouldLeaveTheBaseDirectoryAreRefused) {
    const std::string outside = host.folder() + "/outside";
    const struct {
        const char* target;
        std::string logdir;
    } refused[] = {{"dot", "."},          {"dots", ".."},        {"nested", "a/b"},
                   {"backslash", "a\\b"}, {"absolute", outside}, {"", "no-target"},
                   {"empty", ""}};
    storePeer("127.0.0.1:1", "good", "rule,!option");
    auto unknown = storePeer("127.0.0.1:2", "odd", "rule");
    unknown->setClasses("rule,!bogus");  // the text form refuses it; an older record may have it
    unknown->commit(0, CFullAccessToken::instance());
    storePeer("twin", "good");
    for (const auto& peer : refused) storePeer(peer.target, peer.logdir);
    startWithDatabase();

    for (const auto& peer : refused) {
        SCOPED_TRACE(peer.target);
        EXPECT_TRUE(host.logged(nbx::SEVERITY_ERROR,
                                "Replication peer '" + std::string(peer.target) +
                                    "' with log directory '" + peer.logdir +
                                    "' is refused: the target must not be empty and the log "
                                    "directory must name one folder inside the spool base "
                                    "directory."));
    }
    EXPECT_TRUE(host.logged(nbx::SEVERITY_ERROR,
                            "Replication peer 'twin' is refused: its log directory 'good' is "
                            "already used by replication peer '127.0.0.1:1'."));
    EXPECT_TRUE(host.logged(nbx::SEVERITY_ERROR,
                            "Replication peer '127.0.0.1:2' names the unknown class 'bogus' in "
                            "its class filter; it never matches."));
    EXPECT_TRUE(host.logged(nbx::SEVERITY_AUDIT, "Replication peer '127.0.0.1:2' has been added."));

    EXPECT_FALSE(nbx::CStat::exists(spoolDirectory("no-target")));
    EXPECT_FALSE(nbx::CStat::exists(outside));
    EXPECT_FALSE(nbx::CStat::exists(host.folder() + "/transactions.4.log"));
}

TEST_F(Receiver, APeerWhoseSpoolCannotBeMadeKeepsNoPublisher) {
    std::ofstream(host.baseDirectory()) << "in the way";
    storePeer("blocked", "blocked");
    startWithDatabase();

    const std::string cannot = "Cannot create directory '" + spoolDirectory("blocked") +
                               "' for synchronization with "
                               "server blocked.";
    EXPECT_NE(host.errors().find(cannot), std::string::npos) << host.errors();
    EXPECT_TRUE(
        host.logged(nbx::SEVERITY_DEBUG, "The dhcp sync publisher for server blocked exited."));
    EXPECT_FALSE(host.logged(nbx::SEVERITY_AUDIT, "Replication peer 'blocked' has been added."));
    // The receiver runs on without the peer.
    EXPECT_EQ(host.bus().subscriberCount(), 1u);
}

TEST_F(Receiver, AConfigEventRereadsTheSyncInterval) {
    host.setConfig("ipv4.dhcpv4.sync.interval=3600\n");
    startWithDatabase();
    EXPECT_EQ(receiver->syncInterval(), 3600u);
    const struct {
        const char* config;
        std::uint32_t interval;
    } cases[] = {{"ipv4.dhcpv4.sync.interval=2\nipv6.dhcpv6.sync.interval=9\n", 2},
                 {"ipv4.dhcpv4.sync.interval=0\n", 1}};  // zero would re-arm without pause
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        host.setConfig(c.config);
        publish("reload", "config", "0");
        EXPECT_TRUE(eventually([&] { return receiver->syncInterval() == c.interval; }));
    }
}

namespace {

// A receiver whose peers are live console servers, for what the operator sees of them.
struct ReceiverStatus : Receiver {
    ReceiverStatus() : Receiver("ipv4.dhcpv4.sync.interval=1\nipv4.dhcpv4.sync.timeout=2") {}
    void storeLivePeer(const nbx::testing::Peer& peer, const std::string& logdir) {
        store<CPrstReplicatePeer>(
            "classes=*\nconsole_pass=peer-password\nconsole_user=replicator\n"
            "enabled=true\nlogdir=" +
            logdir + "\ntarget=" + peer.target() + "\n");
    }
    CSyncStatus status() { return receiver->operations().status(); }
    static const CSyncPeerStatus* find(const CSyncStatus& all, const std::string& target) {
        for (const CSyncPeerStatus& peer : all.peers)
            if (peer.target == target) return &peer;
        return nullptr;
    }
};

}  // namespace

TEST_F(ReceiverStatus, ShowsEachPeerInTargetOrderWithItsStateBacklogAndLastFailure) {
    nbx::testing::Peer up, down;
    down.stop();
    // The down peer's spool holds two closed logs from before; their records wait.
    const std::string downLog = host.baseDirectory() + "/down/000000";
    ASSERT_EQ(nbx::CStat::makeDirectory(host.baseDirectory() + "/down", true), 0);
    const std::string old = "Mon Jan  1 09:00:00 2001";
    std::ofstream(downLog + "1-transactions.4.log")
        << spooledRecord("a", old) << spooledRecord("b", old);
    std::ofstream(downLog + "2-transactions.4.log") << spooledRecord("c", old);
    storeLivePeer(up, "up");
    storeLivePeer(down, "down");
    startWithDatabase();

    ASSERT_TRUE(eventually([&] {
        const CSyncStatus all = status();
        const CSyncPeerStatus* a = find(all, up.target());
        const CSyncPeerStatus* b = find(all, down.target());
        return a && b && a->state == "idle" && b->state == "unreachable";
    })) << host.errors();
    const CSyncStatus all = status();
    ASSERT_EQ(all.peers.size(), 2u);
    EXPECT_LT(all.peers[0].target, all.peers[1].target);
    const CSyncPeerStatus& downStatus = *find(all, down.target());
    EXPECT_EQ(downStatus.backlogLogs, 2u);
    EXPECT_EQ(downStatus.backlogRecords, 3u);
    EXPECT_EQ(downStatus.backlogBytes, readFile(downLog + "1-transactions.4.log").size() +
                                           readFile(downLog + "2-transactions.4.log").size());
    nbx::CTimeT oldest;
    oldest.string(old);
    EXPECT_GE(static_cast<std::int64_t>(downStatus.oldestAgeSeconds),
              nbx::CTimeT::now().value() - oldest.value() - 60);
    EXPECT_NE(downStatus.lastFailureText.find("not running on the remote server"),
              std::string::npos)
        << downStatus.lastFailureText;

    // One change goes into both spools and the live peer acknowledges it; an event whose
    // object cannot be read is dropped.
    auto value = store<CPrstKeyValue>("class=ui\nkey=theme\nvalue=dark\n");
    publish("add", "keyvalue", std::to_string(value->oid()), nbx::CTimeT::now().value());
    publish("add", "keyvalue", "999999", nbx::CTimeT::now().value());
    ASSERT_TRUE(up.received(1)) << host.errors();
    ASSERT_TRUE(eventually([&] {
        const CSyncStatus now = status();
        return now.receiver.eventsDropped == 1 && find(now, up.target())->acknowledged == 1 &&
               find(now, down.target())->backlogRecords == 4;
    })) << host.errors();
    const CSyncStatus after = status();
    EXPECT_EQ(after.receiver.recordsWritten, 2u);
    EXPECT_GT(find(after, up.target())->lastSuccess, 0);
}
