#include "host/console_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console_test_support.h"
#include "host/context_command_handler.h"
#include "host/scripted_command_handler.h"
#include "rconsole_base/rconsole_framing.h"
#include "rconsole_base/rconsole_login.h"
#include "testing/eventually.h"
#include "testing/recording_controller.h"

using consoletest::Client;
using consoletest::failure;
using consoletest::rawClosed;
using consoletest::rawConnect;
using consoletest::rawQuery;
using consoletest::rawRead;
using consoletest::rawSend;

namespace {

class ConsoleServerTest : public ::testing::Test {
protected:
    // Starts a server with the context handler and the scripted one behind it.
    void start(bool clear, const std::string& user = "admin",
               const std::string& password = "secret") {
        host::CConsoleServerConfig config;
        config.clear = clear;
        config.user = user;
        config.password = password;
        config.log = &log;
        config.loginTimeout = 2;
        server = std::make_unique<host::CConsoleServer>(config);
        server->addHandler(std::make_shared<host::CContextCommandHandler>());
        server->addHandler(script);
        server->start();
    }
    std::string target(bool v6 = false) const {
        return (v6 ? "[::1]:" : "127.0.0.1:") + std::to_string(server->queryPort());
    }
    // A logged-in client, or a failed assertion.
    void expectServes(const std::string& user = "admin", const std::string& password = "secret") {
        Client good(user, password);
        ASSERT_TRUE(good.connect(target()));
        EXPECT_EQ(good.greeting, "NBX host console\n\n");
        EXPECT_EQ(good.command("show"), 0);
    }
    // Logs in as admin on a raw enciphered connection; returns the greeting as it came.
    std::string rawLogin(int fd) {
        const std::string challenge = rawRead(fd, 1024);
        return rawSend(fd, CRConsoleLogin::proof(challenge, "admin", cipher)) ? rawRead(fd, 24)
                                                                              : std::string();
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

        const int fd = rawConnect(server->tcpPort());
        ASSERT_GE(fd, 0);
        if (clear) {  // greets at once and reads commands as they stand
            EXPECT_EQ(rawRead(fd, 18), "NBX host console\n\n");
            ASSERT_TRUE(rawSend(fd, "set_context=4\n\nunknown\n\n"));
            EXPECT_EQ(rawRead(fd, 20), "code=ack\n\ncode=ack\n\n");
        } else {                                  // a challenge first
            std::string greeting = rawLogin(fd);  // 18 bytes in three blocks
            ASSERT_EQ(greeting.size(), 24u);
            cipher.decipherBlocks(&greeting[0], greeting.size());
            EXPECT_EQ(greeting, "NBX host console\n\n" + std::string(6, '\0'));
        }
        ::close(fd);
        server->stop();
    }
}

TEST_F(ConsoleServerTest, CredentialsTheServerTakes) {
    const std::string longUser(300, 'u');
    const struct {
        const char* name;
        std::string serverUser, serverPassword, clientUser, clientPassword;
        bool accepted;
    } cases[] = {
        {"12-character password keys with its first 7", "admin", "abcdefgXYZ", "admin",
         "abcdefghijkl", true},
        {"user names alike in their first 256 bytes", longUser, "pw", longUser.substr(0, 256) + "x",
         "pw", true},
        {"wrong password", "admin", "secret", "admin", "Secret", false},
        {"wrong user", "admin", "secret", "root", "secret", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(false, c.serverUser, c.serverPassword);
        Client client(c.clientUser, c.clientPassword);
        auto f = failure([&] { client.connect(target()); });
        if (c.accepted) {
            EXPECT_FALSE(f.thrown) << f.message << " " << f.reason;
            EXPECT_EQ(client.greeting, "NBX host console\n\n");
            EXPECT_EQ(client.command("set_context=4"), 0);
        } else {
            ASSERT_TRUE(f.thrown);
            EXPECT_EQ(f.message, "Failed to login to remote server.");
            EXPECT_EQ(f.reason, "The password is incorrect.");
            EXPECT_TRUE(logged("The console login from ")) << "no refusal logged";
        }
        client.disconnect();
        server->stop();
        log.clear();
    }
}

TEST_F(ConsoleServerTest, CommandsReachTheHandlersWithTheirContext) {
    start(false);
    script->push({"code=ack\nmessage=outdated", "code=ack\nname=pool-a"});
    script->push({"code=nak\nmessage=no such pool"});
    Client client("admin", "secret");
    ASSERT_TRUE(client.connect(target(true)));
    EXPECT_TRUE(client.isEnciphered());
    std::vector<std::string> blocks;
    EXPECT_EQ(client.command("set_context=6", &blocks), 0);
    EXPECT_EQ(blocks, std::vector<std::string>{"code=ack\n"});
    EXPECT_EQ(client.command("sync_pool\nname=pool-a\n", &blocks), 1);
    EXPECT_EQ(blocks, (std::vector<std::string>{"code=ack\nmessage=outdated\n",
                                                "\ncode=ack\nname=pool-a\n"}));
    EXPECT_EQ(client.command("sync_pool\nname=pool-b", &blocks), 2);
    EXPECT_EQ(client.lastMessage(), "no such pool");
    EXPECT_EQ(client.command("set_context=5", &blocks), 2);
    EXPECT_EQ(client.lastMessage(), "Unknown protocol family.");

    const auto records = script->records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].command, "sync_pool\nname=pool-a");
    EXPECT_EQ(records[0].index, 2u);
    EXPECT_EQ(records[0].context, "6");
    EXPECT_EQ(records[1].connection, records[0].connection);
}

TEST_F(ConsoleServerTest, CommandNoHandlerTakesIsRejected) {
    host::CConsoleServerConfig config;
    config.clear = true;
    host::CConsoleServer bare(config);
    bare.addHandler(std::make_shared<host::CContextCommandHandler>());
    bare.start();
    Client client;
    ASSERT_TRUE(client.connect("127.0.0.1:" + std::to_string(bare.queryPort())));
    EXPECT_EQ(client.command("show"), 2);
    EXPECT_EQ(client.lastMessage(), "Unknown command.");
    EXPECT_EQ(client.command(""), 2);
    EXPECT_EQ(client.command("set_context=4"), 0);
    auto late = failure([&] { bare.addHandler(std::make_shared<host::CContextCommandHandler>()); });
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
    int sixes = 0;
    for (const auto& record : script->records()) {
        // Each connection keeps its own context.
        EXPECT_EQ(record.command, "sync_pool\nfamily=" + record.context);
        (record.context == "4" ? fours : sixes)++;
    }
    EXPECT_EQ(fours, 10);
    EXPECT_EQ(sixes, 10);
}

TEST_F(ConsoleServerTest, SurvivesClientsThatMisbehave) {
    start(false);
    const std::uint16_t port = server->tcpPort();
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
        const int fd = rawConnect(port);
        ASSERT_GE(fd, 0);
        c.act(fd);
        if (c.serverCloses) {
            EXPECT_TRUE(rawClosed(fd, 5000));
        }
        ::close(fd);
        expectServes();
    }
}

TEST_F(ConsoleServerTest, OverlongCommandIsRefusedAndTheConnectionGoesOn) {
    start(true);
    const int fd = rawConnect(server->tcpPort());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(rawRead(fd, 18), "NBX host console\n\n");
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
        const char* name;
        bool hangUp;  // the handler hangs up; else the client resets while its answer is due
        std::uint32_t severity;
        std::string text;
    } cases[] = {
        {"a handler hangs up", true, nbx::SEVERITY_ERROR, "The scripted console hangs up."},
        {"the client went away", false, nbx::SEVERITY_DEBUG, "the client went away"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        if (c.hangUp) {
            script->pushHangUp();
        } else {
            script->push({"code=ack"}, std::chrono::milliseconds(1000));
        }
        const std::size_t before = script->records().size();
        const int fd = rawConnect(server->tcpPort());
        ASSERT_GE(fd, 0);
        ASSERT_EQ(rawRead(fd, 18), "NBX host console\n\n");
        ASSERT_TRUE(rawSend(fd, "held\n\n"));
        ASSERT_TRUE(nbx::testing::eventually([&] { return script->records().size() > before; }));
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
        EXPECT_TRUE(nbx::testing::eventually(ended)) << ::testing::PrintToString(log.texts());
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
    ASSERT_GE(login, 0);
    ASSERT_EQ(rawRead(login, 1024).size(), 1024u);
    const int idle = rawConnect(server->tcpPort());
    ASSERT_GE(idle, 0);
    ASSERT_EQ(rawLogin(idle).size(), 24u);
    while (script->records().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));

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
    host::CConsoleServerConfig config;
    config.clear = true;
    config.maxConnections = 2;
    config.log = &log;
    host::CConsoleServer small(config);
    small.start();
    const int first = rawConnect(small.tcpPort());
    const int second = rawConnect(small.tcpPort());
    ASSERT_EQ(rawRead(first, 18), "NBX host console\n\n");
    ASSERT_EQ(rawRead(second, 18), "NBX host console\n\n");
    const int third = rawConnect(small.tcpPort());
    EXPECT_TRUE(rawClosed(third));
    ::close(third);
    EXPECT_TRUE(logged("A console connection was refused: 2 connections are open."));

    // A place frees up once a client leaves.
    ::close(first);
    std::string greeting;
    for (int attempt = 0; attempt < 100 && greeting.empty(); ++attempt) {
        const int next = rawConnect(small.tcpPort());
        greeting = rawRead(next, 18, 1000);
        ::close(next);
        if (greeting.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(greeting, "NBX host console\n\n");
    ::close(second);
}
