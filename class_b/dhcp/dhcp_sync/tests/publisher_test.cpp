#include "publisher/publisher_task.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sync_test_host.h"
#include "testing/console_peer.h"
#include "testing/scripted_console.h"

namespace {

using nbx::testing::eventually;
using nbx::testing::readFile;
using nbx::testing::ScriptedConsole;
using nbx::testing::ScriptedPeer;

const std::string kUser = "replicator";
const std::string kPassword = "a-long-password";

// A clear-text peer for faults the real console server cannot show. Every connection is greeted
// and its commands recorded; `answer(connection, index, command)` gives the bytes to send back
// (index 0 is the context command): an empty answer is silence, one that does not end with an
// empty line is sent and the connection closed after it.
class RawPeer {
public:
    using Answer = std::function<std::string(std::size_t, std::size_t, const std::string&)>;

    explicit RawPeer(Answer answer) : m_answer(std::move(answer)) {
        m_console.setScript([this](ScriptedPeer& peer) { _serve(peer); });
    }
    std::string target() const { return m_console.target(); }
    std::vector<std::vector<std::string>> connections() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_connections;
    }

private:
    void _serve(ScriptedPeer& peer) {
        std::size_t connection;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            connection = m_connections.size();
            m_connections.emplace_back();
        }
        if (!peer.write("raw peer\n\n")) return;
        for (std::size_t index = 0;; ++index) {
            std::string command = peer.readUntil("\n\n", 60000);
            if (command.size() < 2 || command.compare(command.size() - 2, 2, "\n\n") != 0) return;
            command.resize(command.size() - 2);
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                m_connections[connection].push_back(command);
            }
            const std::string answer = m_answer(connection, index, command);
            if (answer.empty()) continue;
            if (!peer.write(answer)) return;
            if (answer.size() < 2 || answer.compare(answer.size() - 2, 2, "\n\n") != 0) return;
        }
    }

    Answer m_answer;
    mutable std::mutex m_mutex;
    std::vector<std::vector<std::string>> m_connections;
    ScriptedConsole m_console;  // last: its thread stops before the rest goes
};

class PublisherTest : public nbx::testing::PublisherFixture<> {
protected:
    CPublisherTask& start(const std::string& target, bool enabled = true) {
        publisher = make(target, kPassword, enabled);
        return *publisher;
    }
    static std::string processed(const std::string& target, const std::string& name) {
        return "The dhcp sync publisher for server " + target + " has processed file '" + name +
               "'.";
    }
    bool waitProcessed(const std::string& target, const std::string& name) {
        return eventually([&] { return !host.logged(processed(target, name)).empty(); });
    }

    nbx::testing::Peer peer{kUser, kPassword};
    std::shared_ptr<host::CScriptedCommandHandler>& script = peer.script;
    // The fault peer of a case; it outlives the publisher, which must not lose its peer while it
    // is being stopped.
    std::unique_ptr<RawPeer> raw;
};

}  // namespace

TEST_F(PublisherTest, ReplaysClosedLogsInPathOrderAndDeletesThem) {
    // Records go as they stand: bytes of any value, a megabyte, no empty line at the end.
    const std::string binary = std::string("blob=\x01\x02\xfe\xff", 9) + std::string(1, '\0') +
                               "mid\x7f" + std::string("\x80\x90", 2);
    const std::string huge = "value=" + std::string(1024 * 1024, 'v');
    write("0000002-transactions.4.log", "sync_two\n" + huge + "\n\n");
    write("0000001-transactions.4.log", "sync_one\n" + binary + "\n\nsync_flat\na=1");
    write("0000003-transactions.4.log", "# comments only\n");
    // Byte order, not number order: the 8-digit version goes before the 7-digit "9...".
    write("9000000-transactions.4.log", "sync_nine\n\n");
    write("10000000-transactions.4.log", "sync_ten\n\n");
    write("transactions.4.log", "sync_working\n\n");
    write("0000004-transactions.6.log", "sync_six\n\n");

    const std::string target = peer.target();
    CPublisherTask& task = start(target);
    EXPECT_EQ(task.name(), "dhcp4-sync-publisher");
    ASSERT_TRUE(waitProcessed(target, "9000000-transactions.4.log")) << host.errors();
    EXPECT_EQ(script->commands(),
              (std::vector<std::string>{"sync_one\n" + binary, "sync_flat\na=1",
                                        "sync_two\n" + huge, "sync_ten", "sync_nine"}));
    for (const auto& record : script->records()) EXPECT_EQ(record.context, "4");
    for (const char* name :
         {"0000001-transactions.4.log", "0000002-transactions.4.log", "0000003-transactions.4.log",
          "10000000-transactions.4.log", "9000000-transactions.4.log"}) {
        EXPECT_FALSE(spooled(name)) << name;
        EXPECT_EQ(host.logged(processed(target, name)).size(), 1u) << name;
    }
    const auto entry = host.logged(processed(target, "9000000-transactions.4.log")).at(0);
    EXPECT_EQ(entry.severity, nbx::SEVERITY_DEBUG);
    EXPECT_EQ(entry.module, "dhcp_sync");
    EXPECT_EQ(readFile(spool + "/transactions.4.log"), "sync_working\n\n");
    EXPECT_TRUE(spooled("0000004-transactions.6.log"));
    EXPECT_TRUE(host.logged(nbx::SEVERITY_AUDIT,
                            "Synchronization initiated with server '" + target + "'."));
}

// Three peers that close every connection at once: one retried every second (IPv6), one every
// hour, one disabled. The first tells when the others have had longer than the built-in delay
// of five seconds; then it comes back and gets the logs of its family, in order.
TEST_F(PublisherTest, PeersAreRetriedAtTheConfiguredDelayAndADisabledOneNever) {
    host.setConfig("ipv4.dhcpv4.sync.interval=3600\nipv6.dhcpv6.sync.interval=1");
    ScriptedConsole clock, slow, disabled;
    for (ScriptedConsole* peer : {&clock, &slow, &disabled}) {
        peer->setAnswer(std::to_string(peer->tcpPort()));
    }
    write("0000001-transactions.4.log", "sync_four\n\n");
    write("0000001-transactions.6.log", "sync_one\n\n");
    write("0000002-transactions.6.log", "sync_two\n\n");
    auto clockTask = make(clock.target(), kPassword, true, 6);
    auto slowTask = make(slow.target(), kPassword);
    auto disabledTask = make(disabled.target(), kPassword, false);

    const std::string failed = "Failed to initiate synchronization with server '" + clock.target() +
                               "'. (Cannot connect to server.)";
    ASSERT_TRUE(eventually([&] { return host.logged(failed).size() >= 8; })) << host.errors();
    EXPECT_EQ(host.logged(failed)[0].severity, nbx::SEVERITY_ERROR);
    EXPECT_EQ(slow.queries().size(), 1u);
    write("0000003-transactions.6.log", "sync_three\n\n");
    clock.setAnswer(std::to_string(peer.tcpPort()));  // the peer is back
    ASSERT_TRUE(waitProcessed(clock.target(), "0000003-transactions.6.log")) << host.errors();
    EXPECT_EQ(script->commands(), (std::vector<std::string>{"sync_one", "sync_two", "sync_three"}));
    for (const auto& record : script->records()) EXPECT_EQ(record.context, "6");

    EXPECT_TRUE(disabled.queries().empty());
    const auto entries = host.logged("The dhcp sync publisher for server " + disabled.target() +
                                     " is disabled and will not start.");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].severity, nbx::SEVERITY_AUDIT);
    EXPECT_EQ(readFile(spool + "/0000001-transactions.4.log"), "sync_four\n\n");
}

// A rejected record is logged with its place, an outdated one goes to the conflict log; neither
// holds back the rest of the file.
TEST_F(PublisherTest, RejectedAndOutdatedRecordsNeverStopTheFile) {
    script->push({"code=ack"});
    script->push({"code=nak\nmessage=Unknown pool 'b'."});
    script->push({"code=ack\nmessage=Kept the newer local object.\noid=7"});
    write("0000001-transactions.4.log",
          "sync_a\nk=1\n\n# why\nsync_b\nk=2\n\nsync_c\n\nsync_d\n\n");
    const std::string target = start(peer.target()).target();
    ASSERT_TRUE(waitProcessed(target, "0000001-transactions.4.log")) << host.errors();
    EXPECT_EQ(script->commands(),
              (std::vector<std::string>{"sync_a\nk=1", "sync_b\nk=2", "sync_c", "sync_d"}));

    const auto semantic = host.logged(
        "The dhcp sync publisher for server " + target +
        " encountered a semantic error when issuing the command ending at line number 7 from "
        "transaction log '0000001-transactions.4.log'. Please review this command and fix the "
        "problem on the remote server. Synchronization will continue automatically when the "
        "remote server is capable of accepting the transaction.");
    ASSERT_EQ(semantic.size(), 1u) << host.errors();
    EXPECT_EQ(semantic[0].severity, nbx::SEVERITY_ERROR);
    EXPECT_EQ(semantic[0].module, "dhcp_sync");
    // The peer's own reason is in the log too.
    EXPECT_TRUE(host.logged(nbx::SEVERITY_ERROR,
                            "Failed to send command 'sync_b\nk=2\n' to server " + target +
                                ". (The remote server responded with error: Unknown pool 'b'.)"))
        << host.errors();
    EXPECT_EQ(
        readFile(resolver.logPath()),
        "_target=" + target + "\ncode=ack\nmessage=Kept the newer local object.\noid=7\n\n\n");
}

TEST_F(PublisherTest, StopInTheMiddleOfAFileLeavesTheFileWhole) {
    std::string text;
    for (int i = 0; i < 40; ++i) {
        text += "sync_" + std::to_string(i) + "\n\n";
        script->push({"code=ack"}, std::chrono::milliseconds(200));
    }
    write("0000001-transactions.4.log", text);
    CPublisherTask& task = start(peer.target());
    ASSERT_TRUE(eventually([&] { return script->commands().size() >= 3; })) << host.errors();
    task.stop();
    EXPECT_EQ(task.thr_count(), 0u);
    EXPECT_LT(script->commands().size(), 40u);
    EXPECT_EQ(readFile(spool + "/0000001-transactions.4.log"), text);
    EXPECT_EQ(host.errors(), "");
}

// The one case that waits out the client's ten-second read time-out.
TEST_F(PublisherTest, AFailedExchangeDropsTheConnectionAndResumesAtTheUnansweredRecord) {
    const struct {
        const char* answer;  // to the second record, on the first connection
        const char* logged;
    } cases[] = {
        {"code=ack\nname=hal", "(The remote end disconnected.)"},
        {"\x01\xfe\xff garbage \x7f\n\n", "(The remote server answered without a result code.)"},
        {"", "Failed to read from a socket."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        publisher.reset();
        const std::string answer = c.answer;
        raw = std::make_unique<RawPeer>(
            [answer](std::size_t connection, std::size_t index, const std::string&) {
                return connection == 0 && index == 2 ? answer : std::string("code=ack\n\n");
            });
        write("0000001-transactions.4.log", "sync_a\n\nsync_b\n\n");
        start(raw->target());
        ASSERT_TRUE(waitProcessed(raw->target(), "0000001-transactions.4.log")) << host.errors();
        // A late answer must not be taken for the answer to the next command: a fresh connection
        // sends the unanswered record again, and only that one.
        EXPECT_EQ(raw->connections(),
                  (std::vector<std::vector<std::string>>{{"set_context=4", "sync_a", "sync_b"},
                                                         {"set_context=4", "sync_b"}}));
        EXPECT_NE(host.errors().find(c.logged), std::string::npos) << host.errors();
    }
}
