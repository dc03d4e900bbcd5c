#include "host/console_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console_test_support.h"
#include "rconsole_base/rconsole_login.h"
#include "testing/eventually.h"
#include "testing/failure.h"
#include "testing/recording_controller.h"

using namespace consoletest;
using nbx::testing::eventually;
using nbx::testing::failure;

namespace {

class ConsoleServerTest : public ::testing::Test {
protected:
    void start(bool clear) {
        server = serve(clear, script, [&](host::CConsoleServerConfig& config) {
            config.log = &log;
            config.loginTimeout = 2;
        });
    }
    std::string target(bool v6 = false) const {
        return (v6 ? "[::1]:" : "127.0.0.1:") + std::to_string(server->queryPort());
    }
    // A logged-in client, or a failed assertion.
    void expectServes() {
        Client good("admin", "secret");
        ASSERT_TRUE(good.connect(target()));
        EXPECT_EQ(good.greeting(), kGreeting);
        EXPECT_EQ(good.command("show"), 0);
    }
    // Logs in as admin on a raw enciphered connection; returns the greeting as it came.
    std::string rawLogin(int fd) {
        const std::string challenge = rawRead(fd, 1024);
        return rawSend(fd, CRConsoleLogin::proof(challenge, "admin", cipher)) ? rawRead(fd, 24)
                                                                              : std::string();
    }
    // A clear-text connection past its greeting.
    int greeted(std::uint16_t port) {
        const int fd = rawConnect(port);
        EXPECT_EQ(rawRead(fd, kGreeting.size()), kGreeting);
        return fd;
    }
    bool logged(const std::string& text) {
        for (const std::string& entry : log.texts()) {
            if (entry.find(text) != std::string::npos) return true;
        }
        return false;
    }

    nbx::testing::RecordingLogSink log;
    std::shared_ptr<host::CScriptedCommandHandler> script =
        std::make_shared<host::CScriptedCommandHandler>();
    std::unique_ptr<host::CConsoleServer> server;
    CBlowfish cipher = [] {
        CBlowfish keyed;
        keyed.setKey(CRConsoleLogin::key("secret"));
        return keyed;
    }();
};

}  // namespace

TEST_F(ConsoleServerTest, PortQueryAndFirstBytesOfEachMode) {
    for (bool clear : {false, true}) {
        SCOPED_TRACE(clear ? "clear" : "enciphered");
        start(clear);
        const std::string port = std::to_string(server->tcpPort());
        EXPECT_EQ(rawQuery(server->queryPort(), "config_port"), clear ? port + ",clear" : port);
        EXPECT_EQ(rawQuery(server->queryPort(), "config_port2", 200), "");  // no query

        if (clear) {  // greets at once and reads commands as they stand
            const int fd = greeted(server->tcpPort());
            ASSERT_TRUE(rawSend(fd, "set_context=4\n\nunknown\n\n"));
            EXPECT_EQ(rawRead(fd, 20), "code=ack\n\ncode=ack\n\n");
            ::close(fd);
        } else {  // a challenge first
            const int fd = rawConnect(server->tcpPort());
            std::string greeting = rawLogin(fd);  // 18 bytes in three blocks
            ASSERT_EQ(greeting.size(), 24u);
            cipher.decipherBlocks(&greeting[0], greeting.size());
            EXPECT_EQ(greeting, kGreeting + std::string(6, '\0'));
            ::close(fd);
        }
        server->stop();
    }
}

// How a password keys the cipher and how much of a user name counts is the login's own
// (rconsole_base); here: the server checks a proof against its configured pair and logs a refusal.
TEST_F(ConsoleServerTest, WrongCredentialsAreRefusedAndLogged) {
    start(false);
    const std::pair<const char*, const char*> wrong[] = {{"admin", "Secret"}, {"root", "secret"}};
    for (const auto& [user, password] : wrong) {
        SCOPED_TRACE(user);
        Client client(user, password);
        EXPECT_EQ(failure([&] { client.connect(target()); }).text(),
                  "Failed to login to remote server. | The password is incorrect.");
        client.disconnect();
    }
    EXPECT_TRUE(logged("The console login from ")) << "no refusal logged";
    expectServes();
}

TEST_F(ConsoleServerTest, CommandsReachTheHandlersWithTheirContext) {
    start(false);
    script->push({"code=ack\nmessage=outdated", "code=ack\nname=pool-a"});
    script->push({"code=nak\nmessage=no such pool"});
    Client client("admin", "secret");
    ASSERT_TRUE(client.connect(target(true)));
    EXPECT_TRUE(client.isEnciphered());
    EXPECT_EQ(client.command("set_context=6"), 0);
    EXPECT_EQ(client.response, "code=ack\n\n");
    EXPECT_EQ(client.command("sync_pool\nname=pool-a\n"), 1);
    EXPECT_EQ(client.response, "code=ack\nmessage=outdated\n-\ncode=ack\nname=pool-a\n\n");
    EXPECT_EQ(client.command("sync_pool\nname=pool-b"), 2);
    EXPECT_EQ(client.lastMessage(), "no such pool");
    EXPECT_EQ(client.command("set_context=5"), 2);
    EXPECT_EQ(client.lastMessage(), "Unknown protocol family.");

    const auto records = script->records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].command, "sync_pool\nname=pool-a");
    EXPECT_EQ(records[0].index, 2u);
    EXPECT_EQ(records[0].context, "6");
    EXPECT_EQ(records[1].connection, records[0].connection);
}

TEST_F(ConsoleServerTest, CommandNoHandlerTakesIsRejected) {
    server = serve(true, nullptr);
    Client client;
    ASSERT_TRUE(client.connect(target()));
    EXPECT_EQ(client.command("show"), 2);
    EXPECT_EQ(client.lastMessage(), "Unknown command.");
    EXPECT_EQ(client.command(""), 2);
    EXPECT_EQ(client.command("set_context=4"), 0);
    auto late = failure([&] { server->addHandler(script); });
    EXPECT_EQ(late.reason, "The console server is running.");
}

TEST_F(ConsoleServerTest, ConnectionsAreServedSideBySide) {
    start(false);
    std::atomic<int> answered{0};
    auto run = [&](const std::string& family) {
        Client client("admin", "secret");
        if (!client.connect(target(family == "6"))) return;
        if (client.command("set_context=" + family) != 0) return;
        for (int i = 0; i < 10; ++i) {
            if (client.command("sync_pool\nfamily=" + family) == 0) ++answered;
        }
    };
    std::thread four(run, "4");
    std::thread six(run, "6");
    four.join();
    six.join();
    EXPECT_EQ(answered.load(), 20);
    int fours = 0;
    for (const auto& record : script->records()) {
        // Each connection keeps its own context.
        EXPECT_EQ(record.command, "sync_pool\nfamily=" + record.context);
        fours += record.context == "4";
    }
    EXPECT_EQ(fours, 10);
}

TEST_F(ConsoleServerTest, SurvivesClientsThatMisbehave) {
    start(false);
    const struct {
        const char* name;
        std::function<void(int)> act;
        bool serverCloses;  // the server ends the connection by itself
    } cases[] = {
        {"disconnects in the middle of the proof",
         [](int fd) {
             rawRead(fd, 1024);
             rawSend(fd, std::string(300, 'p'));
         },
         false},
        {"sends a command without its empty line",
         [&](int fd) {
             rawLogin(fd);
             std::string half = "sync_pool\nname=a\n";
             half.resize(24, 'x');
             cipher.encipherBlocks(&half[0], half.size());
             rawSend(fd, half);
         },
         false},
        {"stays silent past the login time-out", [](int fd) { rawRead(fd, 1024); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int fd = rawConnect(server->tcpPort());
        ASSERT_GE(fd, 0);
        c.act(fd);
        EXPECT_TRUE(!c.serverCloses || rawClosed(fd));
        ::close(fd);
        expectServes();
    }
}

TEST_F(ConsoleServerTest, OverlongCommandIsRefusedAndTheConnectionGoesOn) {
    start(true);
    const int fd = greeted(server->tcpPort());
    const std::string line(1024 * 1024 - 1, 'a');
    for (int i = 0; i < 65; ++i) ASSERT_TRUE(rawSend(fd, line + "\n"));
    ASSERT_TRUE(rawSend(fd, "\nnext\n\n"));
    const std::string refusal = "code=nak\nmessage=The command is longer than 67108864 bytes.\n\n";
    EXPECT_EQ(rawRead(fd, refusal.size() + 10), refusal + "code=ack\n\n");
    ::close(fd);
    EXPECT_TRUE(logged("it is longer than 67108864 bytes"));
    EXPECT_EQ(script->commands().back(), "next");
}

TEST_F(ConsoleServerTest, WhyAConnectionEndedIsLogged) {
    start(true);
    const struct {
        bool hangUp;  // the handler hangs up; else the client resets while its answer is due
        std::uint32_t severity;
        std::string text;
    } cases[] = {
        {true, nbx::SEVERITY_ERROR, "The scripted console hangs up."},
        {false, nbx::SEVERITY_DEBUG, "the client went away"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        log.clear();
        if (c.hangUp) {
            script->pushHangUp();
        } else {
            script->push({"code=ack"}, std::chrono::milliseconds(1000));
        }
        const std::size_t before = script->records().size();
        const int fd = greeted(server->tcpPort());
        ASSERT_TRUE(rawSend(fd, "held\n\n"));
        ASSERT_TRUE(eventually([&] { return script->records().size() > before; }));
        const linger reset{1, 0};  // close with a reset: the answer then cannot go
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
        auto ended = [&] {
            for (const auto& entry : log.entries()) {
                if (entry.text.find("The console connection from ") == 0 &&
                    entry.text.find(c.text) != std::string::npos) {
                    return entry.severity == c.severity;
                }
            }
            return false;
        };
        EXPECT_TRUE(eventually(ended)) << ::testing::PrintToString(log.texts());
    }
}

TEST_F(ConsoleServerTest, StopClosesEveryConnection) {
    start(false);
    script->push({"code=ack"}, std::chrono::milliseconds(300));
    Client busy("admin", "secret");
    ASSERT_TRUE(busy.connect(target()));
    // One connection in the middle of a command, one in its login, one idle after its greeting.
    int result = -1;
    std::thread pending([&] { result = busy.command("slow"); });
    const int login = rawConnect(server->tcpPort());
    ASSERT_EQ(rawRead(login, 1024).size(), 1024u);
    const int idle = rawConnect(server->tcpPort());
    ASSERT_EQ(rawLogin(idle).size(), 24u);
    ASSERT_TRUE(eventually([&] { return !script->records().empty(); }));

    server->stop();
    pending.join();
    EXPECT_EQ(result, CRConsoleClient::kDisconnected);
    EXPECT_TRUE(rawClosed(login, 1000));
    EXPECT_TRUE(rawClosed(idle, 1000));
    ::close(login);
    ::close(idle);
    EXPECT_EQ(rawQuery(server->queryPort(), "config_port", 200), "");
    EXPECT_LT(rawConnect(server->tcpPort()), 0);
    server->stop();
}

TEST_F(ConsoleServerTest, ConnectionsBeyondTheLimitAreRefused) {
    server = serve(true, nullptr, [&](host::CConsoleServerConfig& config) {
        config.maxConnections = 2;
        config.log = &log;
    });
    const std::uint16_t port = server->tcpPort();
    const int first = greeted(port);
    const int second = greeted(port);
    const int third = rawConnect(port);
    EXPECT_TRUE(rawClosed(third));
    ::close(third);
    EXPECT_TRUE(logged("A console connection was refused: 2 connections are open."));

    // A place frees up once a client leaves.
    ::close(first);
    EXPECT_TRUE(eventually([&] {
        const int next = rawConnect(port);
        const bool served = rawRead(next, kGreeting.size(), 1000) == kGreeting;
        ::close(next);
        return served;
    }));
    ::close(second);
}
