// Peers whose connections go wrong in the ways a real network lets them: the publisher gives up
// on each after its time-out and tries again, its stop never waits on the peer for longer than
// those time-outs, and once the peer behaves every spooled record is applied once, in order.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sync_test_host.h"
#include "testing/scripted_console.h"

namespace {

using nbx::testing::eventually;
using nbx::testing::ScriptedConsole;
using nbx::testing::ScriptedPeer;

enum class Fault {
    kSilent,             // accepts the connection and never sends a byte
    kTrickle,            // sends one byte a second, never ending what it sends
    kCloseAfterCommand,  // answers one command, then closes
};

// A clear-text console peer that shows `fault` on every connection until it is healed; a
// connection made after heal() is a well-behaved console that acknowledges every command.
class FaultyPeer {
public:
    explicit FaultyPeer(Fault fault) : m_fault(fault) {
        m_console.setScript([this](ScriptedPeer& peer) { _serve(peer); });
    }
    std::string target() const { return m_console.target(); }
    void heal() { m_healed = true; }
    std::size_t connections() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_connections;
    }
    // The commands of the connections made after heal(), in arrival order.
    std::vector<std::string> healedCommands() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_healedCommands;
    }

private:
    void _serve(ScriptedPeer& peer) {
        const bool healed = m_healed;
        std::size_t connection;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            connection = m_connections++;
        }
        if (!healed && m_fault == Fault::kSilent) {
            peer.peerClosed(120000);
            return;
        }
        // Every other connection trickles its greeting, the rest the answer to the first command.
        if (!healed && m_fault == Fault::kTrickle && connection % 2 == 0) {
            _trickle(peer, "raw peer\n");
            return;
        }
        if (!peer.write("raw peer\n\n")) return;
        for (;;) {
            std::string command = peer.readUntil("\n\n", 120000);
            if (command.size() < 2 || command.compare(command.size() - 2, 2, "\n\n") != 0) return;
            command.resize(command.size() - 2);
            if (!healed && m_fault == Fault::kTrickle) {
                _trickle(peer, "code=ack\nmessage=");
                return;
            }
            if (healed) {
                std::lock_guard<std::mutex> guard(m_mutex);
                m_healedCommands.push_back(command);
            }
            if (!peer.write("code=ack\n\n")) return;
            if (!healed) return;  // kCloseAfterCommand
        }
    }
    // Repeats `text` a byte a second until the client goes: the text never ends with the empty
    // line that would complete it.
    static void _trickle(ScriptedPeer& peer, const std::string& text) {
        for (std::size_t i = 0; peer.write(text.substr(i % text.size(), 1)); ++i) {
            if (peer.peerClosed(1000)) return;
        }
    }

    const Fault m_fault;
    std::atomic<bool> m_healed{false};
    mutable std::mutex m_mutex;
    std::size_t m_connections = 0;
    std::vector<std::string> m_healedCommands;
    ScriptedConsole m_console;  // last: its threads stop before the rest goes
};

class FaultyPeerTest : public nbx::testing::PublisherFixture<::testing::TestWithParam<Fault>> {
protected:
    void SetUp() override {
        // A peer a byte a second must beat a time-out of one second on each read, as it did
        // before a response was bounded as a whole.
        host.setConfig(std::string("ipv4.dhcpv4.sync.interval=1\nipv4.dhcpv4.sync.timeout=") +
                       (GetParam() == Fault::kTrickle ? "2" : "1"));
        PublisherFixture::SetUp();
        write("0000001-transactions.4.log", "sync_1\nk=1\n\nsync_2\n\n");
        write("0000002-transactions.4.log", "sync_3\n\n");
    }
    void TearDown() override {
        if (publisher) stopWatched();
        PublisherFixture::TearDown();
    }

    void start() { publisher = make(peer.target(), "password"); }
    // Stops the publisher on a thread of its own. Every wait of the publisher is bounded by its
    // time-out of a second or two, a connection attempt by a few of them: a stop still running
    // after far longer waits forever, and the watchdog ends the run rather than let it hang.
    void stopWatched() {
        std::atomic<bool> stopped{false};
        std::thread stopper([&] {
            publisher->stop();
            stopped = true;
        });
        if (!eventually([&] { return stopped.load(); }, std::chrono::seconds(60))) {
            ADD_FAILURE() << "the publisher's stop did not return";
            std::fflush(stdout);
            std::_Exit(1);
        }
        stopper.join();
    }
    bool waitConnections(std::size_t count) {
        return eventually([&] { return peer.connections() >= count; }, std::chrono::seconds(60));
    }

    FaultyPeer peer{GetParam()};
};

TEST_P(FaultyPeerTest, PublisherGivesUpRetriesStopsAndRecoversWithEveryRecordOnce) {
    // Another connection means the publisher gave up on the one before and is waiting on this
    // one; the trickling peer is given up twice, once in the greeting and once in a response.
    start();
    ASSERT_TRUE(waitConnections(GetParam() == Fault::kTrickle ? 3 : 2)) << host.errors();
    // A peer that drops the connection at the first command gets the next one only after the
    // retry delay.
    EXPECT_EQ(host.logged(nbx::SEVERITY_WARNING,
                          "Server " + peer.target() +
                              " closed the connection before it answered a command; the next "
                              "attempt is in 1 second(s)."),
              GetParam() == Fault::kCloseAfterCommand);
    stopWatched();
    EXPECT_TRUE(spooled("0000001-transactions.4.log"));
    EXPECT_TRUE(spooled("0000002-transactions.4.log"));
    EXPECT_TRUE(peer.healedCommands().empty());

    // Started again against the same faulty peer; it recovers by itself once the peer behaves.
    const std::size_t before = peer.connections();
    start();
    ASSERT_TRUE(waitConnections(before + 1)) << host.errors();
    peer.heal();
    ASSERT_TRUE(eventually([&] { return !spooled("0000002-transactions.4.log"); },
                           std::chrono::seconds(60)))
        << host.errors();
    EXPECT_FALSE(spooled("0000001-transactions.4.log"));
    EXPECT_EQ(peer.healedCommands(),
              (std::vector<std::string>{"set_context=4", "sync_1\nk=1", "sync_2", "sync_3"}));
    stopWatched();
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultyPeerTest,
                         ::testing::Values(Fault::kSilent, Fault::kTrickle,
                                           Fault::kCloseAfterCommand),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                             switch (info.param) {
                                 case Fault::kSilent:
                                     return "AcceptsAndNeverAnswers";
                                 case Fault::kTrickle:
                                     return "AnswersOneByteASecond";
                                 default:
                                     return "ClosesAfterEachCommand";
                             }
                         });

}  // namespace
