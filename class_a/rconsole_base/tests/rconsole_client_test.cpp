#include "rconsole_base/rconsole_client.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "rconsole_base/rconsole_login.h"
#include "testing/failure.h"
#include "testing/scripted_console.h"

using nbx::testing::failure;
using nbx::testing::ScriptedConsole;
using nbx::testing::ScriptedPeer;

namespace {

// A console client that records what its hooks see.
class RecordingClient : public CRConsoleClient {
public:
    explicit RecordingClient(std::uint16_t ipv4QueryPort = 0, std::uint16_t ipv6QueryPort = 0)
        : CRConsoleClient("Test", ipv4QueryPort, ipv6QueryPort, 5, 5) {}

    void onGreeting(const std::string& text) override { greeting = text; }
    bool getPassword(std::string& out) override {
        out = password;
        return !cancelPassword;
    }
    bool getUser(std::string& out) override {
        out = user;
        return true;
    }
    void onReceive(const char* data, std::size_t count) override { received.append(data, count); }
    void onResponseBlock(const std::string& block) override { blocks.push_back(block); }
    bool canReconnect() override { return reconnect; }

    std::string user;
    std::string password;
    bool cancelPassword = false;
    bool reconnect = false;
    std::string greeting;
    std::string received;
    std::vector<std::string> blocks;
};

// The server's half of a connection in either mode, with the password that keys it.
class ServerHalf {
public:
    ServerHalf(nbx::testing::ScriptedPeer& peer, bool enciphered, const std::string& password)
        : m_peer(peer), m_enciphered(enciphered) {
        m_cipher.setKey(CRConsoleLogin::key(password));
    }

    // Sends a challenge and reads the proof: "none" when none came, else whether it proves
    // `user` with this half's password.
    std::string challenge(const std::string& user = std::string()) {
        const std::string challenge = CRConsoleLogin::challenge();
        m_peer.write(challenge);
        const std::string proof = m_peer.read(1024);
        if (proof.empty()) return "none";
        return CRConsoleLogin::check(challenge, proof, user, m_cipher) ? "valid" : "invalid";
    }
    // One transmission: enciphered (padded) or as it is.
    bool send(const std::string& text) { return m_peer.write(wire(text)); }
    std::string wire(std::string text) const {
        if (!m_enciphered) return text;
        text.resize(std::max<std::size_t>(8, (text.size() + 7) / 8 * 8), '\0');
        m_cipher.encipherBlocks(&text[0], text.size());
        return text;
    }
    // Reads one command up to its empty line; returns the plain text with the padding removed
    // ("" when the client went away).
    std::string command() {
        if (!m_enciphered) return m_peer.readUntil("\n\n");
        std::string plain;
        while (plain.find("\n\n") == std::string::npos) {
            std::string block = m_peer.read(8);
            if (block.size() != 8) return std::string();
            m_cipher.decipherBlocks(&block[0], 8);
            plain += block;
        }
        return plain.substr(0, plain.find_last_not_of('\0') + 1);
    }

private:
    nbx::testing::ScriptedPeer& m_peer;
    bool m_enciphered;
    CBlowfish m_cipher;
};

const ACE_Time_Value kBrief(0, 200 * 1000);

std::string loopback(std::uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

// A loopback port of `type` that nobody serves: bound (UDP: so that nothing else takes it and
// nothing answers) or released again (TCP: so that connecting is refused).
class DeadPort {
public:
    explicit DeadPort(int type) {
        m_fd = ::socket(AF_INET, type, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
        socklen_t size = sizeof local;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &size);
        m_port = ntohs(local.sin_port);
        if (type == SOCK_STREAM) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~DeadPort() {
        if (m_fd >= 0) ::close(m_fd);
    }
    std::uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

}  // namespace

TEST(RConsolePortAnswerTest, PortAndModeOfTheAnswer) {
    const struct {
        const char* name;
        std::string answer;
        std::uint16_t port;
        bool enciphered;
    } cases[] = {
        {"digits only", "2345", 2345, true},
        {"clear", "2345,clear", 2345, false},
        {"no digits", "port,clear", 0, false},
        {"leading blanks and plus", " \t+80,clear", 80, false},
        {"negative", "-80,clear", 0, false},
        {"beyond 16 bits", "65536,clear", 0, false},
        {"199 digits", std::string(199, '7'), 0, true},
        {"cut at the zero byte", std::string("2345\0,clear", 11), 2345, true},
        {"199 bytes end with the word", std::string(191, ' ') + "80,clear", 80, false},
        {"200th byte is not read", std::string(192, ' ') + "80,clear", 80, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint16_t port = 1;
        bool enciphered = !c.enciphered;
        // A copy on the heap of exactly the answer's size: any read beyond it is caught.
        std::vector<char> bytes(c.answer.begin(), c.answer.end());
        CRConsoleClient::parsePortAnswer(bytes.data(), bytes.size(), port, enciphered);
        EXPECT_EQ(port, c.port);
        EXPECT_EQ(enciphered, c.enciphered);
    }
}

class RConsoleConnectTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(console.ready()); }

    void record(const std::string& what) {
        std::lock_guard<std::mutex> guard(mutex);
        seen.push_back(what);
    }
    std::vector<std::string> recorded() {
        std::lock_guard<std::mutex> guard(mutex);
        return seen;
    }

    std::mutex mutex;
    std::vector<std::string> seen;
    RecordingClient client;
    // Last, so that it goes first: its scripts use the members above.
    ScriptedConsole console;
};

TEST_F(RConsoleConnectTest, TargetWithoutPortQueriesThePortOfItsFamily) {
    for (const char* host : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(host);
        const bool v6 = std::string(host) == "::1";
        ScriptedConsole served(host);
        ASSERT_TRUE(served.ready());
        served.setScript([](ScriptedPeer& peer) {
            peer.write("hello\n\n");
            peer.peerClosed();
        });
        // The other family's query port leads nowhere.
        DeadPort nowhere(SOCK_DGRAM);
        RecordingClient family(v6 ? nowhere.port() : served.queryPort(),
                               v6 ? served.queryPort() : nowhere.port());
        family.setHandshakeTimeout(ACE_Time_Value(2));
        ASSERT_TRUE(family.connect(host));
        EXPECT_EQ(family.greeting, "hello\n\n");
        EXPECT_EQ(served.queries().size(), 1u);
    }
}

TEST_F(RConsoleConnectTest, ConnectFailures) {
    DeadPort silent(SOCK_DGRAM);
    DeadPort closed(SOCK_STREAM);
    client.setHandshakeTimeout(kBrief);
    const std::string invalid = "Cannot connect to server '" + console.target() + "'.";
    const struct {
        const char* answer;  // of the scripted console; null: the query goes to a silent port
        std::string message;
        std::string reason;  // "": the system's text of the code
        const char* function;
        std::uint32_t code;
    } cases[] = {
        {"70000,clear", invalid, "Invalid port.", "CRConsoleClient::connect", 0},
        {nullptr, "Cannot connect.", "The Test service is not running on the remote server.",
         "CRConsoleClient::_queryPort", 0},
        {"", "Cannot connect to server " + loopback(closed.port()) + ".", "",
         "CRConsoleClient::_connectServer", static_cast<std::uint32_t>(ECONNREFUSED)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer ? c.answer : "silent");
        console.setAnswer(c.answer && *c.answer ? c.answer
                                                : std::to_string(closed.port()) + ",clear");
        auto f = c.answer ? failure([&] { client.connect(console.target()); })
                          : failure<CExNoResponse>([&] { client.connect(loopback(silent.port())); });
        ASSERT_TRUE(f.thrown);
        EXPECT_EQ(f.message, c.message);
        if (!c.reason.empty()) {
            EXPECT_EQ(f.reason, c.reason);
        }
        EXPECT_EQ(f.function, c.function);
        EXPECT_EQ(f.module, "rconsole_base");
        EXPECT_EQ(f.code, c.code);
    }
    EXPECT_FALSE(console.waitServed(1, 100));
}

TEST_F(RConsoleConnectTest, ACancelledPasswordEndsTheLoginBeforeAProof) {
    console.setAnswer(std::to_string(console.tcpPort()));
    console.setScript(
        [this](ScriptedPeer& peer) { record(ServerHalf(peer, true, "").challenge()); });
    client.cancelPassword = true;
    EXPECT_FALSE(client.connect(console.target()));
    EXPECT_TRUE(client.isEnciphered());
    EXPECT_EQ(client.greeting, "");
    client.disconnect();
    ASSERT_TRUE(console.waitServed(1));
    EXPECT_EQ(recorded(), std::vector<std::string>{"none"});
}

TEST_F(RConsoleConnectTest, LoginFailures) {
    const std::string refused =
        "Failed to login to remote server. | The password is incorrect. | CRConsoleClient::connect";
    const std::string broken =
        "Can't communicate with the server. | CRConsoleClient::_authenticate";
    const struct {
        std::function<void(ScriptedPeer&)> script;
        std::string expected;  // message | reason (when given by the site) | function
        std::uint32_t code;
    } cases[] = {
        {[](ScriptedPeer& peer) { ServerHalf(peer, true, "other").challenge(); }, refused, 0},
        {[](ScriptedPeer& peer) { peer.write(std::string(100, 'c')); }, broken, 0},  // cut short
        {[](ScriptedPeer& peer) { peer.peerClosed(); }, broken, ETIME},              // no challenge
        {[](ScriptedPeer& peer) {  // the greeting never ends
             ServerHalf half(peer, true, "secret");
             half.challenge();
             half.send("Hello\n");
         },
         refused, 0},
    };
    console.setAnswer(std::to_string(console.tcpPort()) + ",x");
    client.password = "secret";
    client.setHandshakeTimeout(kBrief);
    std::size_t served = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(served);
        console.setScript(c.script);
        auto f = failure([&] { client.connect(console.target()); });
        client.disconnect();
        ASSERT_TRUE(console.waitServed(++served));
        const bool withReason = c.expected == refused;
        EXPECT_EQ(f.message + (withReason ? " | " + f.reason : "") + " | " + f.function,
                  c.expected);
        EXPECT_EQ(f.module, "rconsole_base");
        EXPECT_EQ(f.code, c.code);
    }
}

TEST_F(RConsoleConnectTest, GreetingInPiecesAndDisconnect) {
    console.setScript([this](ScriptedPeer& peer) {
        peer.write("Wel");
        peer.pause(50);
        peer.write("come\n");
        peer.pause(50);
        peer.write("\n");
        record(peer.peerClosed() ? "closed" : "open");
    });
    ASSERT_TRUE(client.connect(console.target()));
    EXPECT_EQ(client.greeting, "Welcome\n\n");
    EXPECT_EQ(client.disconnect(), 0);
    EXPECT_EQ(client.disconnect(), 0);
    ASSERT_TRUE(console.waitServed(1));
    EXPECT_EQ(recorded(), std::vector<std::string>{"closed"});
    // Without a connection the stream's own failure passes through.
    auto f = failure([&] { client.sendCommand("show"); });
    EXPECT_EQ(f.text() + " | " + f.function,
              "Cannot transmit buffer. | Invalid handle. | CSockStream::send_blocked");
}

// The exchange of commands, in clear-text and in enciphered mode.
class RConsoleExchangeTest : public ::testing::TestWithParam<bool> {
protected:
    // Serves the connection; false ends it.
    using Answer = std::function<bool(ServerHalf&, ScriptedPeer&)>;

    void SetUp() override {
        ASSERT_TRUE(console.ready());
        const bool enciphered = GetParam();
        console.setAnswer(std::to_string(console.tcpPort()) + (enciphered ? "" : ",clear"));
        console.setScript([this, enciphered](ScriptedPeer& peer) {
            // Only the first 7 characters of the password key the cipher.
            ServerHalf half(peer, enciphered, "secret-0");
            if (enciphered) {
                const std::string login = half.challenge("admin");
                std::lock_guard<std::mutex> guard(mutex);
                proof = login;
            }
            half.send("Welcome\n\n");
            for (;;) {
                const std::string command = half.command();
                if (command.empty()) return;
                Answer answer;
                {
                    std::lock_guard<std::mutex> guard(mutex);
                    commands.push_back(command);
                    if (!answers.empty()) {
                        answer = answers.front();
                        answers.pop_front();
                    }
                }
                if (!answer || !answer(half, peer)) return;
            }
        });
        client.user = "admin";
        client.password = "secret-1";
        ASSERT_TRUE(client.connect(console.target()));
        ASSERT_EQ(client.isEnciphered(), enciphered);
        std::lock_guard<std::mutex> guard(mutex);
        EXPECT_EQ(proof, enciphered ? "valid" : "");
    }

    void answer(Answer answer) {
        std::lock_guard<std::mutex> guard(mutex);
        answers.push_back(std::move(answer));
    }
    void answer(const std::string& response) {
        answer([response](ServerHalf& half, ScriptedPeer&) { return half.send(response); });
    }
    std::vector<std::string> sentCommands() {
        std::lock_guard<std::mutex> guard(mutex);
        return commands;
    }

    std::mutex mutex;
    std::string proof;  // the server's judgement of the login proof
    std::deque<Answer> answers;
    std::vector<std::string> commands;
    RecordingClient client;
    // Last, so that it goes first: its scripts use the members above.
    ScriptedConsole console;
};

INSTANTIATE_TEST_SUITE_P(Modes, RConsoleExchangeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Enciphered" : "Clear";
                         });

TEST_P(RConsoleExchangeTest, ResultCodesAndLastMessage) {
    const struct {
        const char* response;
        int result;
        const char* lastMessage;
    } cases[] = {
        {"code=ack\nname=pool\n\n", 0, ""},
        {"code=ack\nmessage=outdated\n-\ncode=ack\n\n", 1, ""},
        {"code=nak\nmessage=no such pool\n\n", 2, "no such pool"},
        {"code=ACK\nmessage=later\n\n", 1, "later"},  // codes in any letter case
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.response);
        client.received.clear();
        answer(c.response);
        // Sent with exactly two newlines at its end.
        EXPECT_EQ(client.sendCommand("sync_pool\nname=a\n\n\n"), c.result);
        EXPECT_EQ(client.lastMessage(), c.lastMessage);
        // Every received byte reaches the hook (enciphered: with the padding).
        EXPECT_EQ(client.received.substr(0, std::strlen(c.response)), c.response);
    }
    // The commands arrive as sent: in clear text no login proof goes ahead of the first.
    EXPECT_EQ(sentCommands(), std::vector<std::string>(std::size(cases), "sync_pool\nname=a\n\n"));
    EXPECT_EQ(console.queries(), std::vector<std::string>{"config_port"});
}

TEST_P(RConsoleExchangeTest, ResponseInPiecesGivesTheSameBlocks) {
    const std::string response = "code=ack\nmessage=outdated\n-\ncode=ack\nname=x\n\n";
    const std::size_t boundary = response.find("\n-");
    answer([&](ServerHalf& half, ScriptedPeer& peer) {
        const std::string wire = half.wire(response);
        // The block boundary falls between two pieces.
        const std::size_t cuts[] = {0, 5, boundary + 1, boundary + 2, wire.size()};
        for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
            if (!peer.write(wire.substr(cuts[i], cuts[i + 1] - cuts[i]))) return false;
            peer.pause(30);
        }
        return true;
    });
    EXPECT_EQ(client.sendCommand("show"), 1);
    EXPECT_EQ(client.blocks,
              (std::vector<std::string>{"code=ack\nmessage=outdated\n", "\ncode=ack\nname=x\n"}));
}

TEST_P(RConsoleExchangeTest, ResponseSlowerThanTheTimeOut) {
    client.setIoTimeout(kBrief);
    answer([](ServerHalf& half, ScriptedPeer& peer) {
        peer.pause(1500);
        return half.send("code=ack\n\n");
    });
    auto f = failure([&] { client.sendCommand("show"); });
    EXPECT_EQ(f.message, "Failed to read from a socket.");
    EXPECT_EQ(f.code, static_cast<std::uint32_t>(ETIME));
    EXPECT_EQ(f.function, "CRConsoleClient::sendCommand");
    EXPECT_EQ(f.module, "rconsole_base");
}

TEST_P(RConsoleExchangeTest, PeerClosingBeforeTheEndReconnectsOnceWhenTheHookAllows) {
    answer([](ServerHalf& half, ScriptedPeer&) {
        half.send("code=ack\n");
        return false;
    });
    EXPECT_EQ(client.sendCommand("show"), CRConsoleClient::kDisconnected);
    EXPECT_EQ(client.blocks, std::vector<std::string>{});

    // The hook allows it: the next command finds the connection gone, connects again and goes
    // once more.
    client.reconnect = true;
    answer("code=ack\nmessage=again\n\n");
    EXPECT_EQ(client.sendCommand("show"), 1);
    EXPECT_EQ(client.lastMessage(), "again");
    EXPECT_EQ(sentCommands(), std::vector<std::string>(2, "show\n\n"));
    EXPECT_EQ(console.queries().size(), 2u);

    // Only once per command: a second drop is the end.
    answer([](ServerHalf&, ScriptedPeer&) { return false; });
    answer([](ServerHalf&, ScriptedPeer&) { return false; });
    EXPECT_EQ(client.sendCommand("show"), CRConsoleClient::kDisconnected);
    EXPECT_EQ(console.queries().size(), 3u);
}

TEST_P(RConsoleExchangeTest, EndlessResponseHitsTheCap) {
    answer([](ServerHalf& half, ScriptedPeer& peer) {
        std::string lines;
        for (int i = 0; i < 4096; ++i) lines += "key=value value value\n";
        const std::string wire = half.wire(lines);
        while (peer.write(wire)) {
        }
        return false;
    });
    auto f = failure([&] { client.sendCommand("show"); });
    client.disconnect();
    EXPECT_EQ(f.text(), "Failed to read from a socket. | Response too large.");
    EXPECT_EQ(f.function, "CRConsoleClient::sendCommand");
    EXPECT_GT(client.received.size(), 64u * 1024 * 1024);
    EXPECT_LE(client.received.size(), 64u * 1024 * 1024 + 16384);
}
