// What an operator sees of the replication peers: the status that each publisher publishes of
// itself, read through the instance's operations while the publishers run against real console
// servers; the heartbeat of an idle publisher; the backlog alarm.

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <string>

#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/replicate_peer.h"
#include "host/sqlite_engine.h"
#include "oodb_persistence/prst_db_session.h"
#include "operations/peer_monitor.h"
#include "operations/spool_backlog.h"
#include "prst_generic/key_value.h"
#include "publisher/publisher_task.h"
#include "receiver/receiver_task.h"
#include "resolver/resolver_task.h"
#include "security/access_token.h"
#include "standard/stat.h"
#include "sync_test_host.h"
#include "testing/console_peer.h"

namespace {

using nbx::testing::eventually;
using nbx::testing::TestContext;
using nbx::testing::TestHostServices;

const std::string kUser = "replicator";
const std::string kPassword = "a-long-password";

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::uint64_t fileSize(const std::string& path) {
    std::uint64_t bytes = 0;
    nbx::CStat::size(path, bytes);
    return bytes;
}

std::string record(const std::string& name, const std::string& time) {
    return "sync_keyvalue\n_event_operation=add\n_event_time=" + time + "\n_oid=1\nname=" + name +
           "\n\n";
}

// One publisher of the IPv4 instance, its spool and its resolver.
class PeerStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(nbx::CStat::makeDirectory(spool, true), 0);
        ASSERT_EQ(resolver.run(), 0);
    }
    void TearDown() override {
        publisher.reset();
        resolver.stop();
    }
    void start(const std::string& target, const std::string& password = kPassword) {
        publisher = std::make_unique<CPublisherTask>(&resolver, CProtocolFamily(4), target, spool,
                                                     kUser, password, true, &host);
        ASSERT_EQ(publisher->run(), 0);
    }
    CSyncPeerStatus status() const { return publisher->monitor()->status(); }
    bool waitState(const std::string& state) {
        return eventually([&] { return status().state == state; });
    }

    TestHostServices host{"ipv4.dhcpv4.sync.interval=1\nipv4.dhcpv4.sync.timeout=2"};
    TestContext context{host, 4, "dhcp4"};
    CResolverTask resolver{context, host.resolverDirectory(), CProtocolFamily(4)};
    std::string spool = host.baseDirectory() + "/peer";
    nbx::testing::Peer peer{kUser, kPassword};
    std::unique_ptr<CPublisherTask> publisher;
};

}  // namespace

TEST(SpoolBacklog, CountsRecordsAsReplayedAndTheOldestEventTime) {
    nbx::testing::TempFolder folder("nbx-backlog");
    const std::string first = folder.path() + "/0000001-transactions.4.log";
    const std::string second = folder.path() + "/0000002-transactions.4.log";
    const std::string bare = folder.path() + "/0000003-transactions.4.log";
    // A comment is no record, nor an empty block; the last record needs no empty line.
    writeFile(first, "# note\n" + record("a", "Mon Jan  1 10:00:00 2001") + "\n\nsync_flat\na=1");
    writeFile(second, record("b", "Mon Jan  1 09:00:00 2001"));
    writeFile(bare, "sync_plain\nk=1\n\n");  // no event time: the file's own time stands in
    const auto list = [&](std::initializer_list<std::string> paths) {
        std::list<nbx::CDirEnt> out;
        for (const std::string& path : paths) out.emplace_back(path, path, false);
        return out;
    };

    CSpoolBacklog backlog;
    backlog.update(list({first, second}));
    nbx::CTimeT nine;
    nine.string("Mon Jan  1 09:00:00 2001");
    EXPECT_EQ(backlog.totals().logs, 2u);
    EXPECT_EQ(backlog.totals().records, 3u);
    EXPECT_EQ(backlog.totals().bytes, fileSize(first) + fileSize(second));
    EXPECT_EQ(backlog.totals().oldest, nine.value());
    EXPECT_EQ(backlog.oldestAge(nine.value() + 90), 90u);

    // A closed log is read once: a later look does not see a change to it.
    writeFile(first, "sync_x\n\n");
    backlog.update(list({first, bare}));
    EXPECT_EQ(backlog.totals().records, 3u);
    nbx::CTimeT ten;
    ten.string("Mon Jan  1 10:00:00 2001");
    EXPECT_EQ(backlog.totals().oldest, ten.value());  // the log at nine is gone

    backlog.remove(first);
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    EXPECT_LE(std::abs(backlog.totals().oldest - now), 60);
    backlog.remove(bare);
    EXPECT_EQ(backlog.totals().logs, 0u);
    EXPECT_EQ(backlog.totals().oldest, 0);
    EXPECT_EQ(backlog.oldestAge(now), 0u);
}

TEST_F(PeerStatusTest, ALoginRefusedShowsAsSuch) {
    start(peer.target(), "not-the-password");
    ASSERT_TRUE(waitState("login refused")) << status().state;
    const CSyncPeerStatus shown = status();
    EXPECT_EQ(shown.target, peer.target());
    EXPECT_EQ(shown.lastFailureText,
              "Failed to login to remote server. (The password is incorrect.)");
    EXPECT_GT(shown.lastFailure, 0);
    EXPECT_EQ(shown.lastSuccess, 0);
}

// Each answer counts once where it belongs; a peer's long reason is cut for the status.
TEST_F(PeerStatusTest, AnswersAreCountedByKindAndALongReasonIsCut) {
    const std::string reason(600, 'r');
    peer.script->push({"code=ack\nmessage=kept the local object"});
    peer.script->push({"code=nak\nmessage=" + reason});
    const std::string now = nbx::CTimeT::now().dateUTC();
    writeFile(spool + "/0000001-transactions.4.log",
              record("a", now) + record("b", now) + record("c", now));
    start(peer.target());
    ASSERT_TRUE(eventually([&] { return status().backlogLogs == 0 && status().state == "idle"; }))
        << host.errors();
    const CSyncPeerStatus shown = status();
    EXPECT_EQ(shown.conflicts, 1u);
    EXPECT_EQ(shown.rejected, 1u);
    EXPECT_EQ(shown.acknowledged, 1u);
    ASSERT_EQ(shown.lastFailureText.size(), 515u);
    EXPECT_EQ(shown.lastFailureText.substr(0, 24), "Failed to send command '");
    EXPECT_EQ(shown.lastFailureText.substr(512), "...");
}

// Retries are an hour apart: only the heartbeat can notice the peer's going.
TEST_F(PeerStatusTest, HeartbeatNoticesAPeerGoneWhileIdle) {
    host.setConfig(
        "ipv4.dhcpv4.sync.interval=3600\nipv4.dhcpv4.sync.timeout=2\n"
        "ipv4.dhcpv4.heartbeat.interval=1");
    start(peer.target());
    ASSERT_TRUE(waitState("idle")) << host.errors();
    peer.stop();
    ASSERT_TRUE(waitState("unreachable")) << host.errors();
    EXPECT_GT(status().lastFailure, 0);
    EXPECT_FALSE(status().lastFailureText.empty());
    EXPECT_TRUE(host.logged(nbx::SEVERITY_WARNING,
                            "Server " + peer.target() +
                                " did not answer the heartbeat; the next attempt is in 3600 "
                                "second(s)."));
}

TEST_F(PeerStatusTest, HeartbeatOffLeavesAnIdlePeerUnprobed) {
    host.setConfig(
        "ipv4.dhcpv4.sync.interval=1\nipv4.dhcpv4.sync.timeout=2\n"
        "ipv4.dhcpv4.heartbeat.interval=0");
    start(peer.target());
    ASSERT_TRUE(waitState("idle")) << host.errors();
    peer.stop();
    // Idle looks at the spool every second meanwhile; without a probe the peer stays "idle".
    const auto scans = [&] { return status().lastProgress; };
    const std::int64_t seen = scans();
    ASSERT_TRUE(eventually([&] { return scans() >= seen + 3; })) << host.errors();
    EXPECT_EQ(status().state, "idle");
}

TEST_F(PeerStatusTest, BacklogAlarmFiresOnceAndClearsOnce) {
    host.setConfig(
        "ipv4.dhcpv4.sync.interval=1\nipv4.dhcpv4.sync.timeout=2\n"
        "ipv4.dhcpv4.sync.backlog_warn_records=2");
    const std::string now = nbx::CTimeT::now().dateUTC();
    writeFile(spool + "/0000001-transactions.4.log", record("a", now) + record("b", now));
    writeFile(spool + "/0000002-transactions.4.log", record("c", now));
    peer.stop();
    start(peer.target());
    const std::string server = "The replication backlog of server " + peer.target();
    const auto entries = [&](const std::string& text) {
        std::vector<nbx::testing::LogEntry> out;
        for (const auto& entry : host.sink().entries()) {
            if (entry.text.rfind(server + text, 0) == 0) out.push_back(entry);
        }
        return out;
    };
    const std::string over = " is over its limit: 3 record(s) waiting (limit 2), the oldest ";
    const std::string under = " is back under its limits: 1 record(s) waiting, the oldest ";
    ASSERT_TRUE(eventually([&] { return entries(over).size() == 1; })) << host.errors();
    // Several failed attempts, each with a look at the spool, and still one entry.
    ASSERT_TRUE(eventually([&] { return status().lastFailure != 0; }));
    const std::int64_t firstFailure = status().lastFailure;
    ASSERT_TRUE(eventually([&] { return status().lastFailure >= firstFailure + 2; }));
    EXPECT_EQ(entries(" is over").size(), 1u);
    EXPECT_EQ(status().backlogRecords, 3u);

    // The first log replayed brings the backlog under the limit; the second changes nothing.
    peer.start();
    ASSERT_TRUE(eventually([&] { return status().acknowledged == 3; })) << host.errors();
    ASSERT_TRUE(waitState("idle"));
    EXPECT_EQ(entries(" is over").size(), 1u);
    ASSERT_EQ(entries(" is back under").size(), 1u);
    ASSERT_EQ(entries(under).size(), 1u) << entries(" is back under")[0].text;
    EXPECT_EQ(entries(over)[0].severity, nbx::SEVERITY_WARNING);
    EXPECT_EQ(entries(over)[0].module, "dhcp_sync");
    EXPECT_EQ(entries(under)[0].severity, nbx::SEVERITY_INFO);
}

namespace {

// The IPv4 instance of a host with its database and its receiver, whose peers are stored
// replicate_peer records.
class ReceiverStatusTest : public ::testing::Test {
protected:
    ReceiverStatusTest() {
        addDHCPClasses(m_catalog);
        CPrstDHCPInitializer().init({&m_registry, &m_catalog, {}, 4});
        const host::CSQLiteEngine::Settings settings{host.folder() + "/host.db", NBX_HOST_DB_DIR};
        m_receiverEngine = std::make_unique<host::CSQLiteEngine>(settings);
        m_writerEngine = std::make_unique<host::CSQLiteEngine>(settings);
        m_session = std::make_unique<CPrstDBSession>(m_registry);
        m_session->open([this](const std::string&) -> void* { return m_writerEngine.get(); });
        host.offer("CIDBFacadeFactory", m_receiverEngine.get());
    }
    ~ReceiverStatusTest() override {
        receiver.reset();
        m_session.reset();
        m_writerEngine->close();
        m_receiverEngine->close();
    }

    template <class T>
    std::unique_ptr<T> store(const std::string& text) {
        auto object = m_session->newObject<T>();
        object->string(text);
        object->commit(0, CFullAccessToken::instance());
        return object;
    }
    void storePeer(const std::string& target, const std::string& logdir) {
        store<CPrstReplicatePeer>("classes=*\nconsole_pass=" + kPassword +
                                  "\nconsole_user=" + kUser + "\nenabled=true\nlogdir=" + logdir +
                                  "\ntarget=" + target + "\n");
    }
    void publish(const std::string& topic, std::uint32_t oid) {
        host.bus().publish({CAppEventPtr(
            new CPrstDHCPObjectEvent("add", topic, std::to_string(oid), nbx::CTimeT::now()))});
    }
    CSyncStatus status() { return receiver->operations().status(); }
    const CSyncPeerStatus* find(const CSyncStatus& all, const std::string& target) {
        for (const CSyncPeerStatus& peer : all.peers) {
            if (peer.target == target) return &peer;
        }
        return nullptr;
    }

    TestHostServices host{"ipv4.dhcpv4.sync.interval=1\nipv4.dhcpv4.sync.timeout=2"};
    TestContext context{host, 4, "dhcp4"};
    std::unique_ptr<CReceiverTask> receiver;

private:
    CPrstClassCatalog m_catalog;
    CIPrstAbstractFactory m_registry;
    std::unique_ptr<host::CSQLiteEngine> m_receiverEngine;
    std::unique_ptr<host::CSQLiteEngine> m_writerEngine;
    std::unique_ptr<CPrstDBSession> m_session;
};

}  // namespace

TEST_F(ReceiverStatusTest, ShowsEachPeerInTargetOrderWithItsStateBacklogAndLastFailure) {
    nbx::testing::Peer up{kUser, kPassword};
    nbx::testing::Peer down{kUser, kPassword};
    down.stop();
    // The down peer's spool holds two closed logs from before; their records wait.
    const std::string downSpool = host.baseDirectory() + "/down";
    ASSERT_EQ(nbx::CStat::makeDirectory(downSpool, true), 0);
    const std::string old = "Mon Jan  1 09:00:00 2001";
    writeFile(downSpool + "/0000001-transactions.4.log", record("a", old) + record("b", old));
    writeFile(downSpool + "/0000002-transactions.4.log", record("c", old));
    const std::uint64_t bytes = fileSize(downSpool + "/0000001-transactions.4.log") +
                                fileSize(downSpool + "/0000002-transactions.4.log");
    storePeer(up.target(), "up");
    storePeer(down.target(), "down");
    ASSERT_EQ((receiver = std::make_unique<CReceiverTask>(context, nullptr))->run(), 0);

    ASSERT_TRUE(eventually([&] {
        const CSyncStatus all = status();
        const CSyncPeerStatus* a = find(all, up.target());
        const CSyncPeerStatus* b = find(all, down.target());
        return a && b && a->state == "idle" && b->state == "unreachable";
    })) << host.errors();
    const CSyncStatus all = status();
    ASSERT_EQ(all.peers.size(), 2u);
    EXPECT_LT(all.peers[0].target, all.peers[1].target);
    const CSyncPeerStatus& upStatus = *find(all, up.target());
    const CSyncPeerStatus& downStatus = *find(all, down.target());
    EXPECT_EQ(upStatus.family, 4);
    EXPECT_EQ(upStatus.backlogLogs, 0u);
    EXPECT_EQ(upStatus.lastFailure, 0);
    EXPECT_GT(upStatus.lastProgress, 0);

    EXPECT_EQ(downStatus.backlogLogs, 2u);
    EXPECT_EQ(downStatus.backlogRecords, 3u);
    EXPECT_EQ(downStatus.backlogBytes, bytes);
    nbx::CTimeT oldest;
    oldest.string(old);
    EXPECT_GE(static_cast<std::int64_t>(downStatus.oldestAgeSeconds),
              nbx::CTimeT::now().value() - oldest.value() - 60);
    EXPECT_GT(downStatus.lastFailure, 0);
    EXPECT_NE(downStatus.lastFailureText.find("not running on the remote server"),
              std::string::npos)
        << downStatus.lastFailureText;
    EXPECT_EQ(downStatus.lastSuccess, 0);
    EXPECT_EQ(downStatus.acknowledged, 0u);

    // One change goes into both spools and the live peer acknowledges it; an event whose
    // object cannot be read is dropped.
    auto value = store<CPrstKeyValue>("class=ui\nkey=theme\nvalue=dark\n");
    publish("keyvalue", value->oid());
    publish("keyvalue", 999999);
    ASSERT_TRUE(up.received(1)) << host.errors();
    ASSERT_TRUE(eventually([&] {
        const CSyncStatus now = status();
        return now.receiver.eventsDropped == 1 && find(now, up.target())->acknowledged == 1 &&
               find(now, down.target())->backlogRecords == 4;
    })) << host.errors();
    const CSyncStatus after = status();
    EXPECT_EQ(after.receiver.family, 4);
    EXPECT_EQ(after.receiver.recordsWritten, 2u);
    EXPECT_GT(find(after, up.target())->lastSuccess, 0);
}
