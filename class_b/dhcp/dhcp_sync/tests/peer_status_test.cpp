// What an operator sees of a replication peer: the spool's backlog, the status that a publisher
// publishes of itself while it runs against a real console server, the heartbeat of an idle
// publisher and the backlog alarm.

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <list>
#include <memory>
#include <string>

#include "operations/peer_monitor.h"
#include "operations/spool_backlog.h"
#include "sync_test_host.h"
#include "testing/console_peer.h"

namespace {

using nbx::testing::eventually;
using nbx::testing::readFile;
using nbx::testing::spooledRecord;

const std::string kPassword = "a-long-password";

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// One publisher of the IPv4 instance against a live console server.
class PeerStatusTest : public nbx::testing::PublisherFixture<> {
protected:
    void start(const std::string& target, const std::string& password = kPassword) {
        publisher = make(target, password);
    }
    CSyncPeerStatus status() const { return publisher->monitor()->status(); }
    bool waitState(const std::string& state) {
        return eventually([&] { return status().state == state; });
    }
    // A publisher idle with the peer, then the peer stops.
    void idleThenPeerGone(const std::string& config) {
        host.setConfig(config + "\nipv4.dhcpv4.sync.timeout=2");
        start(peer.target());
        ASSERT_TRUE(waitState("idle")) << host.errors();
        peer.stop();
    }

    nbx::testing::Peer peer{"replicator", kPassword};
};

}  // namespace

TEST(SpoolBacklog, CountsRecordsAsReplayedAndTheOldestEventTime) {
    nbx::testing::TempFolder folder("nbx-backlog");
    const auto log = [&](int n) {
        return folder.path() + "/000000" + std::to_string(n) + "-transactions.4.log";
    };
    const auto at = [](const char* text) {
        nbx::CTimeT time;
        time.string(text);
        return time.value();
    };
    const auto list = [&](std::initializer_list<std::string> paths) {
        std::list<nbx::CDirEnt> out;
        for (const std::string& path : paths) out.emplace_back(path, path, false);
        return out;
    };
    // A comment is no record, nor an empty block; the last record needs no empty line.
    writeFile(log(1),
              "# note\n" + spooledRecord("a", "Mon Jan  1 10:00:00 2001") + "\n\nsync_flat\na=1");
    writeFile(log(2), spooledRecord("b", "Mon Jan  1 09:00:00 2001"));
    writeFile(log(3), "sync_plain\nk=1\n\n");  // no event time: the file's own time stands in

    CSpoolBacklog backlog;
    backlog.update(list({log(1), log(2)}));
    const auto& totals = backlog.totals();
    EXPECT_EQ(totals.logs, 2u);
    EXPECT_EQ(totals.records, 3u);
    EXPECT_EQ(totals.bytes, readFile(log(1)).size() + readFile(log(2)).size());
    EXPECT_EQ(totals.oldest, at("Mon Jan  1 09:00:00 2001"));
    EXPECT_EQ(backlog.oldestAge(at("Mon Jan  1 09:01:30 2001")), 90u);

    // A closed log is read once: a later look does not see a change to it.
    writeFile(log(1), "sync_x\n\n");
    backlog.update(list({log(1), log(3)}));
    EXPECT_EQ(backlog.totals().records, 3u);
    EXPECT_EQ(backlog.totals().oldest, at("Mon Jan  1 10:00:00 2001"));  // the log at nine is gone

    backlog.remove(log(1));
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    EXPECT_LE(std::abs(backlog.totals().oldest - now), 60);
    backlog.remove(log(3));
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
    peer.script->push({"code=ack\nmessage=kept the local object"});
    peer.script->push({"code=nak\nmessage=" + std::string(600, 'r')});
    const std::string now = nbx::CTimeT::now().dateUTC();
    write("0000001-transactions.4.log",
          spooledRecord("a", now) + spooledRecord("b", now) + spooledRecord("c", now));
    start(peer.target());
    ASSERT_TRUE(eventually([&] { return status().backlogLogs == 0 && status().state == "idle"; }))
        << host.errors();
    const CSyncPeerStatus shown = status();
    EXPECT_EQ(std::to_string(shown.acknowledged) + "/" + std::to_string(shown.conflicts) + "/" +
                  std::to_string(shown.rejected),
              "1/1/1");
    ASSERT_EQ(shown.lastFailureText.size(), 515u);
    EXPECT_EQ(shown.lastFailureText.substr(0, 24), "Failed to send command '");
    EXPECT_EQ(shown.lastFailureText.substr(512), "...");
}

// Retries are an hour apart: only the heartbeat can notice the peer's going.
TEST_F(PeerStatusTest, HeartbeatNoticesAPeerGoneWhileIdle) {
    idleThenPeerGone("ipv4.dhcpv4.sync.interval=3600\nipv4.dhcpv4.heartbeat.interval=1");
    ASSERT_TRUE(waitState("unreachable")) << host.errors();
    EXPECT_GT(status().lastFailure, 0);
    EXPECT_FALSE(status().lastFailureText.empty());
    // The state is shown before the warning is written.
    EXPECT_TRUE(eventually([&] {
        return host.logged(nbx::SEVERITY_WARNING,
                           "Server " + peer.target() +
                               " did not answer the heartbeat; the next attempt is in 3600 "
                               "second(s).");
    })) << host.errors();
}

TEST_F(PeerStatusTest, HeartbeatOffLeavesAnIdlePeerUnprobed) {
    idleThenPeerGone("ipv4.dhcpv4.sync.interval=1\nipv4.dhcpv4.heartbeat.interval=0");
    // Idle looks at the spool every second meanwhile; without a probe the peer stays "idle".
    const std::int64_t seen = status().lastProgress;
    ASSERT_TRUE(eventually([&] { return status().lastProgress >= seen + 3; })) << host.errors();
    EXPECT_EQ(status().state, "idle");
}

TEST_F(PeerStatusTest, BacklogAlarmFiresOnceAndClearsOnce) {
    host.setConfig(
        "ipv4.dhcpv4.sync.interval=1\nipv4.dhcpv4.sync.timeout=2\n"
        "ipv4.dhcpv4.sync.backlog_warn_records=2");
    const std::string now = nbx::CTimeT::now().dateUTC();
    write("0000001-transactions.4.log", spooledRecord("a", now) + spooledRecord("b", now));
    write("0000002-transactions.4.log", spooledRecord("c", now));
    peer.stop();
    start(peer.target());
    const auto entries = [&](const std::string& text) {
        std::vector<nbx::testing::LogEntry> out;
        for (const auto& entry : host.sink().entries())
            if (entry.text.rfind("The replication backlog of server " + peer.target() + text, 0) ==
                0)
                out.push_back(entry);
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
