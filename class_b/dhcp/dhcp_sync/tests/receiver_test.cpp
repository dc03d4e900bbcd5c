// The receiver of one protocol instance on a real bus and a real SQLite database: what it writes
// into the peers' spools, how it follows the replicate_peer records, and what it leaves behind.
// The test thread changes objects through a session of its own on the same database file and
// publishes the bus events, as the host's console does.

#include "receiver/receiver_task.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
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

namespace {

using nbx::testing::TestContext;
using nbx::testing::TestHostServices;

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

const char* const kBusTopics[] = {
    "config",     "replicate_peer",   "sql_query",    "sql_query_group",
    "snmp_query", "snmp_query_group", "capability",   "user_role",
    "account",    "user_account",     "domain",       "domain_group",
    "keyvalue",   "address_pool",     "network_pool", "policy",
    "option",     "vendor_class",     "rule"};

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
    // The object's text as the database holds it now.
    template <class T>
    std::string textOf(const T& object) {
        return m_session->find<T>(0, object.oid())->string();
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

    bool logged(std::uint32_t severity, const std::string& text, bool prefixOnly = false) {
        for (const auto& entry : host.sink().entries()) {
            if (entry.severity != severity) continue;
            if (prefixOnly ? entry.text.rfind(text, 0) == 0 : entry.text == text) return true;
        }
        return false;
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

std::string refusal(const std::string& target, const std::string& logdir) {
    return "Replication peer '" + target + "' with log directory '" + logdir +
           "' is refused: the target must not be empty and the log directory must name one "
           "folder inside the spool base directory.";
}

}  // namespace

TEST(ReceiverStart, RegistersTheTopicsAndLetsGoOfEverythingAtStop) {
    for (bool failover : {false, true}) {
        SCOPED_TRACE(failover ? "failover present" : "no failover");
        Site site;
        int failoverManager = 0;
        if (failover) site.host.offer("CIDHCPFailoverAddrMgrFactory", &failoverManager);
        site.startWithDatabase();

        std::vector<std::string> expected(std::begin(kBusTopics), std::end(kBusTopics));
        if (!failover) {
            expected.insert(expected.end(), {"address_binding", "network_binding", "address_lease",
                                             "network_lease"});
        }
        EXPECT_EQ(site.host.bus().topics(), expected);
        EXPECT_EQ(site.host.bus().subscriberCount(), 1u);
        EXPECT_EQ(site.receiver->name(), "dhcp4-sync-receiver");
        EXPECT_TRUE(eventually([&] {
            return site.logged(nbx::SEVERITY_DEBUG, "The dhcp sync receiver is running.");
        }));
        EXPECT_EQ(site.context.closed(), 0);

        site.receiver->stop();
        EXPECT_TRUE(site.logged(nbx::SEVERITY_DEBUG, "The dhcp sync receiver has exited."));
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
        EXPECT_TRUE(site.logged(nbx::SEVERITY_ERROR, c.logged));
        EXPECT_EQ(site.host.bus().subscriberCount(), 0u);
        EXPECT_EQ(site.host.taskRegistry()->size(), 0u);
        EXPECT_EQ(site.context.closed(), 0);
    }
}

TEST_F(Receiver, RecordsReachTheClosedLogsOfAcceptingPeersByteForByte) {
    host.setConfig("ipv4.dhcpv4.sync.interval=1\n");
    storePeer("127.0.0.1:1", "values", "keyvalue");
    storePeer("127.0.0.1:2", "rules", "rule");
    auto value = store<CPrstKeyValue>("class=ui\nkey=theme\nvalue=dark\n");
    startWithDatabase();

    publish("add", "keyvalue", std::to_string(value->oid()), 365 * 86400);
    publish("del", "keyvalue", "0x1A");
    const std::string expected =
        "sync_keyvalue\n_event_operation=add\n_event_time=Fri Jan  1 00:00:00 1971\n_oid=" +
        std::to_string(value->oid()) + "\n" + textOf(*value) +
        "\n"
        "sync_keyvalue\n_event_operation=del\n_event_time=Thu Jan  1 00:00:00 1970\n_oid=26\n\n";
    EXPECT_TRUE(eventually([&] { return spool("values", true) == expected; })) << spool("values");
    EXPECT_EQ(spool("rules"), "");
}

TEST_F(Receiver, LeasesBecomeBindingsAndUnknownTopicsAreDiscarded) {
    storePeer("127.0.0.1:1", "all");
    auto binding = store<CPrstAddressBinding4>(
        "client_id=01\nipaddr=10.0.0.5\nrelay=10.0.0.1\nlease_duration=infinite\n");
    startWithDatabase();
    host.bus().registerTopic("sample");

    const std::string oid = std::to_string(binding->oid());
    publish<CLeaseEvent>("expire", "address_lease", oid);
    publish("add", "sample", "5");
    publish<CLeaseEvent>("obtain", "address_lease", oid);
    const std::string expected =
        "sync_address_binding\n_event_operation=add\n_event_time=Thu Jan  1 00:00:00 1970\n"
        "_oid=" +
        oid + "\n" + textOf(*binding) + "\n";
    EXPECT_TRUE(eventually([&] { return spool("all") == expected; })) << spool("all");
    EXPECT_TRUE(logged(nbx::SEVERITY_DEBUG,
                       "The sync module receiver is not configured to process objects of type "
                       "'sample'. This object is being discarded."));
}

TEST_F(Receiver, PeersFollowTheirRecordsAndChangesAreRelayed) {
    startWithDatabase();
    auto peer = storePeer("127.0.0.1:1", "a");
    const std::string oid = std::to_string(peer->oid());

    publish("add", "replicate_peer", oid);
    ASSERT_TRUE(eventually([&] { return notifier.calls().size() == 1; }));
    EXPECT_TRUE(logged(nbx::SEVERITY_AUDIT, "Replication peer '127.0.0.1:1' has been added."));
    EXPECT_TRUE(nbx::CStat::isDirectory(spoolDirectory("a")));
    publish("del", "rule", "7");
    const std::string record =
        "sync_rule\n_event_operation=del\n_event_time=Thu Jan  1 00:00:00 1970\n_oid=7\n\n";
    ASSERT_TRUE(eventually([&] { return spool("a") == record; }));

    peer->setLogDir("b");
    peer->commit(0, CFullAccessToken::instance());
    publish("modify", "replicate_peer", oid);
    ASSERT_TRUE(eventually([&] { return notifier.calls().size() == 2; }));
    EXPECT_FALSE(nbx::CStat::exists(spoolDirectory("a")));
    EXPECT_EQ(spool("b", true), record);  // the working log was closed and moved along
    EXPECT_TRUE(logged(nbx::SEVERITY_AUDIT, "Replication peer '127.0.0.1:1' has been removed."));

    peer->remove(0, CFullAccessToken::instance());
    publish("del", "replicate_peer", oid);
    ASSERT_TRUE(eventually([&] { return notifier.calls().size() == 3; }));
    EXPECT_FALSE(nbx::CStat::exists(spoolDirectory("b")));
    EXPECT_EQ(notifier.calls(),
              (std::vector<std::string>{"add " + oid + " from 4", "modify " + oid + " from 4",
                                        "del " + oid + " from 4"}));
}

TEST_F(Receiver, ADeletedPeerKeepsAFolderThatHoldsOtherFiles) {
    auto peer = storePeer("127.0.0.1:1", "kept");
    startWithDatabase();
    std::ofstream(spoolDirectory("kept") + "/notes.txt") << "mine";
    publish("del", "rule", "7");
    ASSERT_TRUE(eventually([&] { return !spool("kept").empty(); }));

    peer->remove(0, CFullAccessToken::instance());
    publish("del", "replicate_peer", std::to_string(peer->oid()));
    EXPECT_TRUE(eventually([&] {
        return logged(nbx::SEVERITY_ERROR, "Failed to remove spool directory '" +
                                               spoolDirectory("kept") + "' for '127.0.0.1:1'.");
    }));
    EXPECT_EQ(spool("kept"), "");
    EXPECT_EQ(readFile(spoolDirectory("kept") + "/notes.txt"), "mine");
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
    EXPECT_TRUE(logged(nbx::SEVERITY_AUDIT, "Replication peer '127.0.0.1:1' has been added."));
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
    unknown->setClasses("rule,!bogus");
    unknown->commit(0, CFullAccessToken::instance());
    storePeer("twin", "good");
    for (const auto& peer : refused) storePeer(peer.target, peer.logdir);
    startWithDatabase();

    for (const auto& peer : refused) {
        SCOPED_TRACE(peer.target);
        EXPECT_TRUE(logged(nbx::SEVERITY_ERROR, refusal(peer.target, peer.logdir)));
    }
    EXPECT_TRUE(logged(nbx::SEVERITY_ERROR,
                       "Replication peer 'twin' is refused: its log directory 'good' is already "
                       "used by replication peer '127.0.0.1:1'."));
    EXPECT_TRUE(logged(nbx::SEVERITY_ERROR,
                       "Replication peer '127.0.0.1:2' names the unknown class 'bogus' in its "
                       "class filter; it never matches."));
    EXPECT_TRUE(logged(nbx::SEVERITY_AUDIT, "Replication peer '127.0.0.1:2' has been added."));

    std::list<nbx::CDirEnt> made;
    nbx::CStat::findFiles(host.baseDirectory(), "*", made, false);
    std::vector<std::string> names;
    for (const auto& entry : made) names.push_back(entry.fileName());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"good", "odd"}));
    EXPECT_FALSE(nbx::CStat::exists(outside));
    EXPECT_FALSE(nbx::CStat::exists(host.folder() + "/transactions.4.log"));
}

TEST_F(Receiver, APeerWhoseSpoolCannotBeMadeKeepsNoPublisher) {
    std::ofstream(host.baseDirectory()) << "in the way";
    storePeer("blocked", "blocked");
    startWithDatabase();

    EXPECT_TRUE(logged(nbx::SEVERITY_ERROR,
                       "Cannot create directory '" + spoolDirectory("blocked") +
                           "' for synchronization with server blocked.",
                       true));
    EXPECT_TRUE(logged(nbx::SEVERITY_DEBUG, "The dhcp sync publisher for server blocked exited."));
    EXPECT_FALSE(logged(nbx::SEVERITY_AUDIT, "Replication peer 'blocked' has been added."));
    // The receiver runs on without the peer.
    EXPECT_EQ(host.bus().subscriberCount(), 1u);
}

TEST_F(Receiver, AConfigEventRereadsTheSyncInterval) {
    host.setConfig("ipv4.dhcpv4.sync.interval=3600\n");
    startWithDatabase();
    EXPECT_EQ(receiver->syncInterval(), 3600u);
    host.setConfig("ipv4.dhcpv4.sync.interval=2\nipv6.dhcpv6.sync.interval=9\n");
    publish("reload", "config", "0");
    EXPECT_TRUE(eventually([&] { return receiver->syncInterval() == 2u; }));
}
