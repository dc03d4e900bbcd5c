#include "dhcp_sync/sync_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/console_server.h"
#include "host/context_command_handler.h"
#include "host/scripted_command_handler.h"
#include "testing/failure.h"
#include "testing/scripted_console.h"

namespace {

using nbx::testing::Failure;

// Runs `call`; records the exception of type E (others pass on, failing the test) and keeps a
// copy of it when asked.
template <class E, class F>
Failure failure(F&& call, E* copy = nullptr) {
    try {
        call();
    } catch (E& e) {
        if (copy) *copy = e;
        return nbx::testing::describe(e);
    }
    return Failure();
}

// The real console server of the host: the context handler, then a scripted one.
class SyncClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::CConsoleServerConfig config;
        config.user = "replicator";
        config.password = "a-long-password";
        server = std::make_unique<host::CConsoleServer>(config);
        server->addHandler(std::make_shared<host::CContextCommandHandler>());
        server->addHandler(script);
        server->start();
    }

    std::string target(bool v6 = false) const {
        return (v6 ? "[::1]:" : "127.0.0.1:") + std::to_string(server->queryPort());
    }
    // A client of `family` with the server's credentials.
    std::unique_ptr<CDHCPSyncClient> client(int family = 4) {
        auto made =
            std::make_unique<CDHCPSyncClient>(CProtocolFamily(family), target(family == 6), true);
        made->setUser("replicator");
        made->setPassword("a-long-password");
        return made;
    }

    std::shared_ptr<host::CScriptedCommandHandler> script =
        std::make_shared<host::CScriptedCommandHandler>();
    std::unique_ptr<host::CConsoleServer> server;
};

}  // namespace

TEST_F(SyncClientTest, EveryConnectionSetsTheContextFirst) {
    for (int family : {4, 6}) {
        SCOPED_TRACE(family);
        script = std::make_shared<host::CScriptedCommandHandler>();
        SetUp();
        auto sync = client(family);
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(sync->connect().get("code"), "ack");
            sync->commandResponse("sync_pool\nname=a");
            sync->disconnect();
        }
        const auto records = script->records();
        ASSERT_EQ(records.size(), 2u);
        for (const auto& r : records) {
            // The second command of its connection, after "set_context=<family>".
            EXPECT_EQ(r.index, 2u);
            EXPECT_EQ(r.context, std::to_string(family));
        }
        EXPECT_NE(records[0].connection, records[1].connection);
    }
}

TEST_F(SyncClientTest, AcknowledgedCommandsReturnTheLastBlock) {
    auto sync = client();
    sync->connect();
    script->push({"code=ack\nname=pool-a\nsize=12"});
    nbx::CStringMap fields = sync->commandResponse("sync_pool\nname=pool-a");
    EXPECT_EQ(fields.string(), "code=ack\nname=pool-a\nsize=12\n");

    script->push({"code=ack\nname=first", "code=ack\nname=second"});
    fields = sync->commandResponse("sync_pool\nname=pool-b");
    EXPECT_EQ(fields.string(), "code=ack\nname=second\n");

    script->push({"name=no code"});
    EXPECT_EQ(sync->commandResponse("show").string(), "name=no code\n");

    // Keys differing only in case are two fields of the response.
    script->push({"code=ack\nName=upper\nname=lower"});
    EXPECT_EQ(sync->commandResponse("show").string(), "Name=upper\ncode=ack\nname=lower\n");
}

TEST_F(SyncClientTest, AckWithMessageIsOutdated) {
    auto sync = client();
    sync->connect();
    script->push({"code=ack\nmessage=changed there", "code=ack\nname=pool-a"});
    CDHCPSyncOutdated outdated;
    auto f = failure<CDHCPSyncOutdated>([&] { sync->commandResponse("sync_pool"); }, &outdated);
    ASSERT_TRUE(f.thrown);
    EXPECT_EQ(outdated.response().string(), "code=ack\nname=pool-a\n");
    EXPECT_EQ(sync->lastMessage(), "");
    EXPECT_EQ(f.message, "");
    EXPECT_EQ(f.module, "dhcp_sync");
    EXPECT_EQ(f.function, "CDHCPSync::commandResponse");
    // A copy keeps its type and the map, as the exception stack needs.
    std::unique_ptr<nbx::CException> copy(outdated.clone());
    auto* typed = dynamic_cast<CDHCPSyncOutdated*>(copy.get());
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->response().string(), "code=ack\nname=pool-a\n");
}

TEST_F(SyncClientTest, NakIsAServerError) {
    auto sync = client();
    sync->connect();
    script->push({"code=nak\nmessage=Pool 'a' does not exist."});
    CDHCPSyncClientServerError error;
    auto f = failure<CDHCPSyncClientServerError>(
        [&] { sync->commandResponse("sync_pool\nname=a"); }, &error);
    ASSERT_TRUE(f.thrown);
    EXPECT_EQ(f.message, "Failed to send command 'sync_pool\nname=a' to server " + target() + ".");
    EXPECT_EQ(f.reason, "The remote server responded with error: Pool 'a' does not exist.");
    EXPECT_EQ(f.module, "dhcp_sync");
    EXPECT_EQ(f.function, "CDHCPSync::commandResponse");
    EXPECT_EQ(f.code, 0u);
    EXPECT_EQ(f.severity, 4u);
    std::unique_ptr<nbx::CException> copy(error.clone());
    ASSERT_NE(dynamic_cast<CDHCPSyncClientServerError*>(copy.get()), nullptr);

    // The connection goes on.
    EXPECT_EQ(sync->commandResponse("show").get("code"), "ack");
}

TEST_F(SyncClientTest, FailuresOfTheBasePassThrough) {
    CDHCPSyncClient wrong(CProtocolFamily(4), target(), true);
    wrong.setUser("replicator");
    wrong.setPassword("A-long-password");
    auto f = failure<nbx::CException>([&] { wrong.connect(); });
    EXPECT_EQ(f.message, "Failed to login to remote server.");
    EXPECT_EQ(f.reason, "The password is incorrect.");
    EXPECT_EQ(f.module, "rconsole_base");

    // The server-text argument of the base operation is ignored: the target is what counts.
    auto sync = client();
    EXPECT_TRUE(sync->connect(std::string("192.0.2.1:1")));
    EXPECT_EQ(sync->commandResponse("show").get("code"), "ack");
    EXPECT_EQ(script->records().size(), 1u);
}

TEST_F(SyncClientTest, EmptyCredentialsLogIn) {
    host::CConsoleServerConfig config;
    host::CConsoleServer open(config);
    open.addHandler(std::make_shared<host::CContextCommandHandler>());
    open.start();
    CDHCPSyncClient sync(CProtocolFamily(4), "127.0.0.1:" + std::to_string(open.queryPort()), true);
    EXPECT_EQ(sync.connect().string(), "code=ack\n");
    EXPECT_TRUE(sync.isEnciphered());
}

TEST(SyncClientFaultTest, PeerClosingDuringACommandIsAConnectFailure) {
    nbx::testing::ScriptedConsole console;
    ASSERT_TRUE(console.ready());
    console.setScript([](nbx::testing::ScriptedPeer& peer) {
        peer.write("hello\n\n");
        peer.readUntil("\n\n");
        peer.write("code=ack\n\n");
        peer.readUntil("\n\n");
        peer.write("code=ack\nname=a\n");  // and no end
    });
    CDHCPSyncClient sync(CProtocolFamily(4), console.target(), true);
    sync.connect();
    auto f = failure<CDHCPSyncClientConnectFail>([&] { sync.commandResponse("sync_pool"); });
    ASSERT_TRUE(f.thrown);
    EXPECT_EQ(f.message, "Failed to send command 'sync_pool' to server " + console.target() + ".");
    EXPECT_EQ(f.reason, "The remote end disconnected.");
    EXPECT_EQ(f.module, "dhcp_sync");
    EXPECT_EQ(f.function, "CDHCPSync::commandResponse");
    EXPECT_EQ(f.severity, 4u);
    EXPECT_EQ(f.code, 0u);
}

TEST(SyncClientFaultTest, UnknownResultCode) {
    // A base that reports a code outside 0..3.
    class Odd : public CDHCPSyncClient {
    public:
        Odd() : CDHCPSyncClient(CProtocolFamily(6), "[::1]:1", false) {}
        int sendCommand(const std::string&) override { return 7; }
    };
    Odd odd;
    auto f = failure<nbx::CException>([&] { odd.commandResponse("show"); });
    ASSERT_TRUE(f.thrown);
    EXPECT_EQ(f.message, "Failed to send command 'show' to server [::1]:1.");
    EXPECT_EQ(f.reason, "Unknown response code.");
    EXPECT_EQ(f.function, "CDHCPSync::commandResponse");
}
