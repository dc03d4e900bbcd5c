#include "dhcp_sync/sync_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "testing/console_peer.h"
#include "testing/failure.h"
#include "testing/scripted_console.h"

namespace {

using nbx::testing::Failure;
using nbx::testing::Peer;

// The real console server of the host with the context handler and a scripted one.
class SyncClientTest : public ::testing::Test {
protected:
    // An IPv4 client for `server` with its credentials.
    static std::unique_ptr<CDHCPSyncClient> client(const Peer& server) {
        auto made = std::make_unique<CDHCPSyncClient>(CProtocolFamily(4), server.target(), true);
        made->setUser("replicator");
        made->setPassword("a-long-password");
        return made;
    }
    // Every failure of a command names the command and the server.
    static void expectFailure(const Failure& f, const std::string& command,
                              const std::string& target, const std::string& reason) {
        ASSERT_TRUE(f.thrown);
        EXPECT_EQ(f.message, "Failed to send command '" + command + "' to server " + target + ".");
        EXPECT_EQ(f.reason, reason);
        EXPECT_EQ(f.module, "dhcp_sync");
        EXPECT_EQ(f.function, "CDHCPSync::commandResponse");
        EXPECT_EQ(f.severity, 4u);
        EXPECT_EQ(f.code, 0u);
    }

    Peer peer{"replicator", "a-long-password"};
    std::unique_ptr<CDHCPSyncClient> sync = client(peer);
};

}  // namespace

// The IPv6 context is the publisher tests' (they run over this client).
TEST_F(SyncClientTest, EveryConnectionSetsTheContextFirst) {
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(sync->connect().get("code"), "ack");
        sync->commandResponse("sync_pool\nname=a");
        sync->disconnect();
    }
    const auto records = peer.script->records();
    ASSERT_EQ(records.size(), 2u);
    for (const auto& r : records) {
        // The second command of its connection, after "set_context=4".
        EXPECT_EQ(r.index, 2u);
        EXPECT_EQ(r.context, "4");
    }
    EXPECT_NE(records[0].connection, records[1].connection);
}

TEST_F(SyncClientTest, AcknowledgedCommandsReturnTheLastBlock) {
    sync->connect();
    const struct {
        std::vector<std::string> blocks;
        const char* fields;
    } cases[] = {
        {{"code=ack\nname=pool-a\nsize=12"}, "code=ack\nname=pool-a\nsize=12\n"},
        {{"code=ack\nname=first", "code=ack\nname=second"}, "code=ack\nname=second\n"},
        {{"name=no code"}, "name=no code\n"},
        // Keys differing only in case are two fields of the response.
        {{"code=ack\nName=upper\nname=lower"}, "Name=upper\ncode=ack\nname=lower\n"},
    };
    for (const auto& c : cases) {
        peer.script->push(c.blocks);
        EXPECT_EQ(sync->commandResponse("sync_pool").string(), c.fields);
    }
}

TEST_F(SyncClientTest, AckWithMessageIsOutdatedAndNakAServerError) {
    sync->connect();
    peer.script->push({"code=ack\nmessage=changed there", "code=ack\nname=pool-a"});
    try {
        sync->commandResponse("sync_pool");
        ADD_FAILURE() << "not outdated";
    } catch (CDHCPSyncOutdated& outdated) {
        EXPECT_EQ(outdated.message().text(), "");
        EXPECT_EQ(outdated.function(), "CDHCPSync::commandResponse");
        // A copy keeps its type and the map, as the exception stack needs.
        std::unique_ptr<nbx::CException> copy(outdated.clone());
        auto* typed = dynamic_cast<CDHCPSyncOutdated*>(copy.get());
        ASSERT_NE(typed, nullptr);
        EXPECT_EQ(typed->response().string(), "code=ack\nname=pool-a\n");
    }
    EXPECT_EQ(sync->lastMessage(), "");

    peer.script->push({"code=nak\nmessage=Pool 'a' does not exist."});
    try {
        sync->commandResponse("sync_pool\nname=a");
        ADD_FAILURE() << "not refused";
    } catch (CDHCPSyncClientServerError& error) {
        expectFailure(nbx::testing::describe(error), "sync_pool\nname=a", peer.target(),
                      "The remote server responded with error: Pool 'a' does not exist.");
        std::unique_ptr<nbx::CException> copy(error.clone());
        EXPECT_NE(dynamic_cast<CDHCPSyncClientServerError*>(copy.get()), nullptr);
    }
    // The connection goes on.
    EXPECT_EQ(sync->commandResponse("show").get("code"), "ack");
}

// A refused login is the base's failure as it is (see the peer status tests).
TEST_F(SyncClientTest, TheTargetIsWhatCountsAndAnAnonymousLoginPasses) {
    // The server-text argument of the base operation is ignored.
    EXPECT_TRUE(sync->connect(std::string("192.0.2.1:1")));
    EXPECT_EQ(sync->commandResponse("show").get("code"), "ack");
    EXPECT_EQ(peer.script->records().size(), 1u);

    Peer open{"", ""};
    CDHCPSyncClient anonymous(CProtocolFamily(4), open.target(), true);
    EXPECT_EQ(anonymous.connect().string(), "code=ack\n");
}

TEST_F(SyncClientTest, PeerClosingOrResettingDuringACommandIsAConnectFailure) {
    // A close in the middle of an answer; a reset while the client waits for the answer; a
    // reset before the command is written. Each is the peer gone, never a socket failure.
    enum class End { kCloseMidAnswer, kResetUnanswered, kResetBeforeCommand };
    for (End end : {End::kCloseMidAnswer, End::kResetUnanswered, End::kResetBeforeCommand}) {
        SCOPED_TRACE(static_cast<int>(end));
        nbx::testing::ScriptedConsole console;
        ASSERT_TRUE(console.ready());
        console.setScript([end](nbx::testing::ScriptedPeer& raw) {
            raw.write("hello\n\n");
            raw.readUntil("\n\n");
            raw.write("code=ack\n\n");
            if (end == End::kResetBeforeCommand) return raw.reset();
            raw.readUntil("\n\n");
            if (end == End::kResetUnanswered) return raw.reset();
            raw.write("code=ack\nname=a\n");  // and no end
        });
        CDHCPSyncClient sync(CProtocolFamily(4), console.target(), true);
        sync.connect();
        if (end == End::kResetBeforeCommand) {
            ASSERT_TRUE(console.waitServed(1));
        }
        expectFailure(nbx::testing::failure<CDHCPSyncClientConnectFail>(
                          [&] { sync.commandResponse("sync_pool"); }),
                      "sync_pool", console.target(), "The remote end disconnected.");
    }
}

TEST_F(SyncClientTest, UnknownResultCode) {
    // A base that reports a code outside 0..3.
    class Odd : public CDHCPSyncClient {
    public:
        Odd() : CDHCPSyncClient(CProtocolFamily(6), "[::1]:1", false) {}
        int sendCommand(const std::string&) override { return 7; }
    };
    Odd odd;
    expectFailure(nbx::testing::failure([&] { odd.commandResponse("show"); }), "show", "[::1]:1",
                  "Unknown response code.");
}
