#include "publisher/publisher_task.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/console_server.h"
#include "host/context_command_handler.h"
#include "host/scripted_command_handler.h"
#include "resolver/resolver_task.h"
#include "standard/stat.h"
#include "sync_test_host.h"
#include "testing/scripted_console.h"

namespace {

using nbx::testing::LogEntry;
using nbx::testing::ScriptedConsole;
using nbx::testing::ScriptedPeer;
using nbx::testing::TestContext;
using nbx::testing::TestHostServices;
using Clock = std::chrono::steady_clock;

const std::string kUser = "replicator";
const std::string kPassword = "a-long-password";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool waitFor(const std::function<bool()>& done, int timeoutMs = 20000) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A loopback TCP port with nothing listening: connecting to it is refused at once.
std::uint16_t closedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t size = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
    ::close(fd);
    return ntohs(local.sin_port);
}

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

class PublisherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::system(("mkdir -p '" + spool + "'").c_str()), 0);
        host::CConsoleServerConfig config;
        config.listenAddress = "127.0.0.1";
        config.user = kUser;
        config.password = kPassword;
        server = std::make_unique<host::CConsoleServer>(config);
        server->addHandler(std::make_shared<host::CContextCommandHandler>());
        server->addHandler(script);
        server->start();
        ASSERT_EQ(resolver.run(), 0);
    }
    void TearDown() override {
        if (publisher) {
            publisher->stop();
            EXPECT_EQ(publisher->thr_count(), 0u);
            publisher.reset();
        }
        resolver.stop();
    }

    std::string serverTarget() const { return "127.0.0.1:" + std::to_string(server->queryPort()); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(spool + "/" + name, std::ios::binary) << text;
    }
    bool exists(const std::string& name) const { return nbx::CStat::exists(spool + "/" + name); }
    CPublisherTask& start(const std::string& target, bool enabled = true) {
        publisher = std::make_unique<CPublisherTask>(&resolver, CProtocolFamily(4), target, spool,
                                                     kUser, kPassword, enabled, &host);
        EXPECT_EQ(publisher->run(), 0);
        return *publisher;
    }

    std::vector<LogEntry> logged(const std::string& text) {
        std::vector<LogEntry> out;
        for (const LogEntry& entry : host.sink().entries()) {
            if (entry.text == text) out.push_back(entry);
        }
        return out;
    }
    static std::string processed(const std::string& target, const std::string& name) {
        return "The dhcp sync publisher for server " + target + " has processed file '" + name +
               "'.";
    }
    bool waitProcessed(const std::string& target, const std::string& name, int timeoutMs = 20000) {
        return waitFor([&] { return !logged(processed(target, name)).empty(); }, timeoutMs);
    }
    // Texts of the error entries, for the failure messages of the assertions.
    std::string errors() {
        std::string out;
        for (const LogEntry& entry : host.sink().entries()) {
            if (entry.severity == 4) out += entry.text + "\n";
        }
        return out;
    }

    // Cut to whole seconds by the key's reader: every retry waits a second.
    TestHostServices host{"ipv4.dhcpv4.sync.interval=1"};
    TestContext context{host, 4, "dhcp4"};
    CResolverTask resolver{context, host.resolverDirectory(), CProtocolFamily(4)};
    std::string spool = host.baseDirectory() + "/peer";
    std::shared_ptr<host::CScriptedCommandHandler> script =
        std::make_shared<host::CScriptedCommandHandler>();
    std::unique_ptr<host::CConsoleServer> server;
    // Fault peers of a case; they outlive the publisher, which must not lose its peer while it
    // is being stopped.
    std::unique_ptr<ScriptedConsole> console;
    std::unique_ptr<RawPeer> raw;
    std::unique_ptr<CPublisherTask> publisher;
};

}  // namespace

TEST_F(PublisherTest, ReplaysClosedLogsInPathOrderAndDeletesThem) {
    write("0000002-transactions.4.log", "sync_two\n_oid=2\n\n");
    write("0000001-transactions.4.log", "sync_one\n_oid=1\n\n");
    // Byte order, not number order: the 8-digit version goes before the 7-digit "9...".
    write("9000000-transactions.4.log", "sync_nine\n\n");
    write("10000000-transactions.4.log", "sync_ten\n\n");
    write("transactions.4.log", "sync_working\n\n");
    write("0000003-transactions.6.log", "sync_six\n\n");

    const std::string target = serverTarget();
    CPublisherTask& task = start(target);
    EXPECT_EQ(task.name(), "dhcp4-sync-publisher");
    ASSERT_TRUE(waitProcessed(target, "9000000-transactions.4.log")) << errors();

    EXPECT_EQ(script->commands(), (std::vector<std::string>{"sync_one\n_oid=1", "sync_two\n_oid=2",
                                                            "sync_ten", "sync_nine"}));
    for (const auto& record : script->records()) EXPECT_EQ(record.context, "4");
    for (const char* name : {"0000001-transactions.4.log", "0000002-transactions.4.log",
                             "10000000-transactions.4.log", "9000000-transactions.4.log"}) {
        EXPECT_FALSE(exists(name)) << name;
        const auto entries = logged(processed(target, name));
        ASSERT_EQ(entries.size(), 1u) << name;
        EXPECT_EQ(entries[0].severity, 8u);
        EXPECT_EQ(entries[0].module, "dhcp_sync");
    }
    EXPECT_EQ(readFile(spool + "/transactions.4.log"), "sync_working\n\n");
    EXPECT_TRUE(exists("0000003-transactions.6.log"));

    const auto initiated = logged("Synchronization initiated with server '" + target + "'.");
    ASSERT_EQ(initiated.size(), 1u);
    EXPECT_EQ(initiated[0].severity, 16u);
    task.stop();
    EXPECT_EQ(task.thr_count(), 0u);
    for (const char* text : {"The dhcp sync publisher for server %1 is running.",
                             "The dhcp sync publisher for server %1 exited."}) {
        std::string filled = text;
        filled.replace(filled.find("%1"), 2, target);
        const auto entries = logged(filled);
        ASSERT_EQ(entries.size(), 1u) << filled;
        EXPECT_EQ(entries[0].severity, 8u);
    }
}

TEST_F(PublisherTest, ReaderRulesHoldOnTheWire) {
    write("0000001-transactions.4.log",
          "# written by hand\n"
          "   \t# an indented comment\n"
          "sync_a\n"
          "  key=value \t\r\n"
          " \t \n"  // blanks only: ends the record
          "sync_b\n"
          "# a comment inside a record\n"
          "k=v\n"
          "\n"
          "   \n"
          "\n"
          "sync_c\n"
          "last=no empty line after me");
    ASSERT_TRUE(waitProcessed(start(serverTarget()).target(), "0000001-transactions.4.log"))
        << errors();
    EXPECT_EQ(script->commands(),
              (std::vector<std::string>{"sync_a\nkey=value", "sync_b\nk=v",
                                        "sync_c\nlast=no empty line after me"}));
}

TEST_F(PublisherTest, UnusualFilesAreSentAsTheyStandAndNeverStopThePeer) {
    const std::string binary = std::string("blob=\x01\x02\xfe\xff", 9) + std::string(1, '\0') +
                               "mid\x7f" + std::string("\x80\x90", 2);
    write("0000001-transactions.4.log", "sync_bin\n" + binary + "\n\nsync_after\n\n");
    const std::string huge(1024 * 1024, 'v');
    write("0000002-transactions.4.log", "sync_big\nvalue=" + huge + "\n\n");
    write("0000003-transactions.4.log", "sync_flat\na=1\nb=2\nc=3");
    write("0000004-transactions.4.log", "# only\n   # comments\n#here");
    write("0000005-transactions.4.log", "sync_end\n\n");

    const std::string target = start(serverTarget()).target();
    ASSERT_TRUE(waitProcessed(target, "0000005-transactions.4.log")) << errors();
    EXPECT_EQ(
        script->commands(),
        (std::vector<std::string>{"sync_bin\n" + binary, "sync_after", "sync_big\nvalue=" + huge,
                                  "sync_flat\na=1\nb=2\nc=3", "sync_end"}));
    for (int version = 1; version <= 5; ++version) {
        const std::string name = "000000" + std::to_string(version) + "-transactions.4.log";
        EXPECT_FALSE(exists(name)) << name;
        EXPECT_EQ(logged(processed(target, name)).size(), 1u) << name;
    }
    EXPECT_EQ(errors(), "");
}

TEST_F(PublisherTest, RetriesWhileThePeerIsDownAndKeepsTheOrder) {
    // The port query answers, but the console port it names refuses connections.
    console = std::make_unique<ScriptedConsole>();
    ScriptedConsole& query = *console;
    query.setAnswer(std::to_string(closedPort()));
    write("0000001-transactions.4.log", "sync_one\n\n");
    write("0000002-transactions.4.log", "sync_two\n\n");
    const std::string target = query.target();
    start(target);

    const std::string failed = "Failed to initiate synchronization with server '" + target +
                               "'. (Cannot connect to server.)";
    ASSERT_TRUE(waitFor([&] { return logged(failed).size() >= 2; })) << errors();
    EXPECT_EQ(logged(failed)[0].severity, 4u);
    EXPECT_GE(query.queries().size(), 2u);
    EXPECT_TRUE(exists("0000001-transactions.4.log"));
    write("0000003-transactions.4.log", "sync_three\n\n");

    query.setAnswer(std::to_string(server->tcpPort()));  // the peer is back
    ASSERT_TRUE(waitProcessed(target, "0000003-transactions.4.log")) << errors();
    EXPECT_EQ(script->commands(), (std::vector<std::string>{"sync_one", "sync_two", "sync_three"}));
}

TEST_F(PublisherTest, ConnectionLostMidFileReplaysTheFileFromItsFirstRecord) {
    // The first connection breaks off in the middle of its answer to the third record.
    raw = std::make_unique<RawPeer>([](std::size_t connection, std::size_t index,
                                       const std::string&) {
        return std::string(connection == 0 && index == 3 ? "code=ack\nname=hal" : "code=ack\n\n");
    });
    RawPeer& peer = *raw;
    write("0000001-transactions.4.log", "sync_a\n\nsync_b\n\nsync_c\n\nsync_d\n\n");
    start(peer.target());
    ASSERT_TRUE(waitProcessed(peer.target(), "0000001-transactions.4.log")) << errors();
    const auto connections = peer.connections();
    ASSERT_GE(connections.size(), 2u);
    EXPECT_EQ(connections[0],
              (std::vector<std::string>{"set_context=4", "sync_a", "sync_b", "sync_c"}));
    EXPECT_EQ(connections[1],
              (std::vector<std::string>{"set_context=4", "sync_a", "sync_b", "sync_c", "sync_d"}));
    EXPECT_NE(errors().find("(The remote end disconnected.)"), std::string::npos) << errors();
}

TEST_F(PublisherTest, RejectedRecordIsLoggedWithItsPlaceAndTheFileGoesOn) {
    script->push({"code=ack"});
    script->push({"code=nak\nmessage=Unknown pool 'b'."});
    write("0000001-transactions.4.log", "sync_a\nk=1\n\n# why\nsync_b\nk=2\n\nsync_c\nk=3\n\n");
    const std::string target = start(serverTarget()).target();
    ASSERT_TRUE(waitProcessed(target, "0000001-transactions.4.log")) << errors();
    EXPECT_EQ(script->commands(),
              (std::vector<std::string>{"sync_a\nk=1", "sync_b\nk=2", "sync_c\nk=3"}));

    const auto semantic = logged(
        "The dhcp sync publisher for server " + target +
        " encountered a semantic error when issuing the command ending at line number 7 from "
        "transaction log '0000001-transactions.4.log'. Please review this command and fix the "
        "problem on the remote server. Synchronization will continue automatically when the "
        "remote server is capable of accepting the transaction.");
    ASSERT_EQ(semantic.size(), 1u) << errors();
    EXPECT_EQ(semantic[0].severity, 4u);
    EXPECT_EQ(semantic[0].module, "dhcp_sync");
    // The peer's own reason is in the log too.
    EXPECT_EQ(logged("Failed to send command 'sync_b\nk=2\n' to server " + target +
                     ". (The remote server responded with error: Unknown pool 'b'.)")
                  .size(),
              1u)
        << errors();
}

TEST_F(PublisherTest, OutdatedRecordGoesToTheConflictLogAndTheFileGoesOn) {
    script->push({"code=ack\nmessage=Kept the newer local object.\noid=7"});
    write("0000001-transactions.4.log", "sync_a\n\nsync_b\n\n");
    const std::string target = start(serverTarget()).target();
    ASSERT_TRUE(waitProcessed(target, "0000001-transactions.4.log")) << errors();
    EXPECT_EQ(script->commands(), (std::vector<std::string>{"sync_a", "sync_b"}));
    EXPECT_EQ(
        readFile(resolver.logPath()),
        "_target=" + target + "\ncode=ack\nmessage=Kept the newer local object.\noid=7\n\n\n");
    EXPECT_EQ(logged("Conflict on server " + target +
                     " with object code=ack\nmessage=Kept the newer local object.\noid=7\n.")
                  .size(),
              1u);
}

TEST_F(PublisherTest, DisabledPeerStaysQuiet) {
    console = std::make_unique<ScriptedConsole>();
    ScriptedConsole& peer = *console;
    write("0000001-transactions.4.log", "sync_a\n\n");
    const std::string disabled =
        "The dhcp sync publisher for server " + peer.target() + " is disabled and will not start.";
    start(peer.target(), false);
    ASSERT_TRUE(waitFor([&] { return !logged(disabled).empty(); }));
    // Two rounds of the one-second dispatch timer.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    publisher->stop();

    const auto entries = logged(disabled);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].severity, 16u);
    EXPECT_TRUE(peer.queries().empty());
    EXPECT_EQ(readFile(spool + "/0000001-transactions.4.log"), "sync_a\n\n");
    EXPECT_EQ(errors(), "");
}

TEST_F(PublisherTest, StopWhileWaitingToReconnectEndsAtOnce) {
    host.setConfig("ipv4.dhcpv4.sync.interval=60");
    console = std::make_unique<ScriptedConsole>();
    ScriptedConsole& query = *console;
    query.setAnswer(std::to_string(closedPort()));
    const std::string target = query.target();
    CPublisherTask& task = start(target);
    ASSERT_TRUE(waitFor([&] {
        return !logged("Failed to initiate synchronization with server '" + target +
                       "'. (Cannot connect to server.)")
                    .empty();
    }));
    const auto began = Clock::now();
    task.stop();
    EXPECT_LT(Clock::now() - began, std::chrono::seconds(1));
    EXPECT_EQ(task.thr_count(), 0u);
    EXPECT_EQ(query.queries().size(), 1u);
}

TEST_F(PublisherTest, StopInTheMiddleOfAFileEndsAfterTheCommandUnderWay) {
    std::string text;
    for (int i = 0; i < 40; ++i) {
        text += "sync_" + std::to_string(i) + "\n\n";
        script->push({"code=ack"}, std::chrono::milliseconds(200));
    }
    write("0000001-transactions.4.log", text);
    CPublisherTask& task = start(serverTarget());
    ASSERT_TRUE(waitFor([&] { return script->commands().size() >= 3; })) << errors();
    const auto began = Clock::now();
    task.stop();
    EXPECT_LT(Clock::now() - began, std::chrono::seconds(2));
    EXPECT_EQ(task.thr_count(), 0u);
    EXPECT_LT(script->commands().size(), 10u);
    EXPECT_EQ(readFile(spool + "/0000001-transactions.4.log"), text);
    EXPECT_EQ(errors(), "");
}

TEST_F(PublisherTest, GarbageAnswerIsRetriedOnAFreshConnection) {
    const std::string garbage = std::string("\x01\xfe\xff garbage \x7f", 14) + "\n\n";
    raw = std::make_unique<RawPeer>(
        [garbage, garbled = 0](std::size_t, std::size_t, const std::string& command) mutable {
            return command == "sync_a" && garbled++ == 0 ? garbage : std::string("code=ack\n\n");
        });
    RawPeer& peer = *raw;
    write("0000001-transactions.4.log", "sync_a\n\nsync_b\n\n");
    start(peer.target());
    ASSERT_TRUE(waitProcessed(peer.target(), "0000001-transactions.4.log")) << errors();
    // A connection whose answers make no sense is not trusted with the next record.
    EXPECT_EQ(peer.connections(),
              (std::vector<std::vector<std::string>>{{"set_context=4", "sync_a"},
                                                     {"set_context=4", "sync_a", "sync_b"}}));
    EXPECT_EQ(logged("Failed to send command 'sync_a\n' to server " + peer.target() +
                     ". (The remote server answered without a result code.)")
                  .size(),
              1u)
        << errors();
}

TEST_F(PublisherTest, OversizedAnswerIsRefusedAndTheFileReplayed) {
    // One megabyte past the client's cap, without an end.
    const std::string flood(65u * 1024u * 1024u, 'x');
    raw = std::make_unique<RawPeer>(
        [flood](std::size_t connection, std::size_t index, const std::string&) {
            return connection == 0 && index == 1 ? flood : std::string("code=ack\n\n");
        });
    RawPeer& peer = *raw;
    write("0000001-transactions.4.log", "sync_a\n\n");
    start(peer.target());
    ASSERT_TRUE(waitProcessed(peer.target(), "0000001-transactions.4.log", 60000)) << errors();
    EXPECT_NE(errors().find("(Response too large.)"), std::string::npos) << errors();
    EXPECT_EQ(peer.connections(), (std::vector<std::vector<std::string>>{
                                      {"set_context=4", "sync_a"}, {"set_context=4", "sync_a"}}));
}

// The one case that waits out the client's ten-second read time-out.
TEST_F(PublisherTest, SilentPeerTimesOutAndTheRecordGoesAgainOnAFreshConnection) {
    raw = std::make_unique<RawPeer>(
        [](std::size_t connection, std::size_t index, const std::string&) {
            // No answer to the first record on the first connection.
            return std::string(connection == 0 && index == 1 ? "" : "code=ack\n\n");
        });
    RawPeer& peer = *raw;
    write("0000001-transactions.4.log", "sync_a\n\n");
    start(peer.target());
    ASSERT_TRUE(waitProcessed(peer.target(), "0000001-transactions.4.log", 40000)) << errors();
    EXPECT_NE(errors().find("Failed to read from a socket."), std::string::npos) << errors();
    // A late answer to the first attempt must not be taken for the second's: a fresh connection.
    EXPECT_EQ(peer.connections(), (std::vector<std::vector<std::string>>{
                                      {"set_context=4", "sync_a"}, {"set_context=4", "sync_a"}}));
}
