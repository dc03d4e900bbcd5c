#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <sstream>
#include <thread>

#include "console_test_support.h"
#include "host/console_command_line.h"
#include "host/console_command_runner.h"
#include "host/operations_command_handler.h"
#include "operations_test_support.h"
#include "testing/eventually.h"

namespace {

using Blocks = std::vector<nbx::CStringMap>;

// The blocks of a response text as the console server framed them.
Blocks blocksOf(const std::string& response) {
    Blocks blocks;
    std::string text = response;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find("\n-\n", start);
        blocks.emplace_back(text.substr(start, end - start), "\n");
        if (end == std::string::npos) return blocks;
        start = end + 3;
    }
}

std::string value(const nbx::CStringMap& block, const std::string& key) {
    std::string text;
    return block.get(key, text) ? text : "<none>";
}

class OperationsCommands : public ::testing::Test {
protected:
    void SetUp() override {
        access.offer(4, &ops4);
        access.offer(6, &ops6);
        host::CConsoleServerConfig config;
        config.listenAddress = "127.0.0.1";
        config.clear = true;
        server = std::make_unique<host::CConsoleServer>(config);
        server->addHandler(std::make_shared<host::CContextCommandHandler>());
        server->addHandler(std::make_shared<host::COperationsCommandHandler>(access));
        server->start();
        ASSERT_TRUE(client.connect("127.0.0.1:" + std::to_string(server->queryPort())));
    }
    Blocks ask(const std::string& command, int expected = CRConsoleClient::kAcknowledged) {
        EXPECT_EQ(client.command(command), expected) << client.response;
        return blocksOf(client.response);
    }

    opstest::FakeOperations ops4{4};
    opstest::FakeOperations ops6{6};
    host::CSyncOperationsAccess access;
    std::unique_ptr<host::CConsoleServer> server;
    consoletest::Client client;
};

CSyncDriftReport twoDifferences() {
    CSyncDriftReport report;
    report.classes.push_back({"policy", 3, 2, 1, 0, 1});
    report.differences.push_back(
        {"policy", 1048577, "gold", CSyncDriftReport::Kind::kDiffers, "description,lease"});
    report.differences.push_back(
        {"policy", 1048578, "silver", CSyncDriftReport::Kind::kMissingOnPeer, ""});
    return report;
}

}  // namespace

TEST_F(OperationsCommands, StatusShowsEveryPeerOfBothFamiliesAndTheReceivers) {
    ops4.peer("127.0.0.1:7171", "unreachable", [](CSyncPeerStatus& p) {
        p.backlogLogs = 2;
        p.backlogRecords = 120;
        p.backlogBytes = 4096;
        p.oldestAgeSeconds = 42;
        p.lastFailure = 1767182400;  // 2025-12-31T12:00:00Z
        p.lastFailureText = "Connection refused.";
        p.reconnects = 7;
    });
    ops4.peer("127.0.0.1:7272", "idle", [](CSyncPeerStatus& p) {
        p.lastSuccess = 1767182400;
        p.acknowledged = 31;
        p.conflicts = 1;
        p.rejected = 2;
    });
    ops6.peer("[::1]:7171", "login refused");
    ops4.receiver([](CSyncReceiverStatus& r) { r.recordsWritten = 151; });
    ops6.receiver([](CSyncReceiverStatus& r) { r.eventsDropped = 3; });

    const Blocks blocks = ask("status");
    ASSERT_EQ(blocks.size(), 6u);
    const nbx::CStringMap& down = blocks[0];
    EXPECT_EQ(value(down, "peer"), "127.0.0.1:7171");
    EXPECT_EQ(value(down, "state"), "unreachable");
    EXPECT_EQ(value(down, "backlog_logs") + "/" + value(down, "backlog_records") + "/" +
                  value(down, "backlog_bytes") + "/" + value(down, "oldest_age"),
              "2/120/4096/42");
    EXPECT_EQ(value(down, "last_failure"), "2025-12-31T12:00:00Z");
    EXPECT_EQ(value(down, "last_failure_text"), "Connection refused.");
    EXPECT_EQ(value(down, "last_success"), "never");
    EXPECT_EQ(value(down, "reconnects"), "7");
    const nbx::CStringMap& up = blocks[1];
    EXPECT_EQ(value(up, "state"), "idle");
    EXPECT_EQ(value(up, "last_success"), "2025-12-31T12:00:00Z");
    EXPECT_EQ(
        value(up, "acknowledged") + "/" + value(up, "conflicts") + "/" + value(up, "rejected"),
        "31/1/2");
    EXPECT_EQ(value(blocks[2], "family"), "6");
    EXPECT_EQ(value(blocks[2], "state"), "login refused");
    EXPECT_EQ(value(blocks[3], "receiver"), "4");
    EXPECT_EQ(value(blocks[3], "records_written"), "151");
    EXPECT_EQ(value(blocks[4], "receiver"), "6");
    EXPECT_EQ(value(blocks[4], "events_dropped"), "3");
    EXPECT_EQ(value(blocks[5], "code"), "ack");
    EXPECT_EQ(value(blocks[5], "peers"), "3");
}

TEST_F(OperationsCommands, ResyncAndDriftActInTheSessionsFamily) {
    ops4.peer("127.0.0.1:7171", "idle");
    ops6.peer("[::1]:7171", "idle");
    ops6.setResync({{{"domain", 2}, {"policy", 5}, {"address_pool", 1}}});
    ops6.setDrift(twoDifferences());

    ask("set_context=6");
    Blocks blocks = ask("resync [::1]:7171");
    EXPECT_EQ(ops6.resynced, std::vector<std::string>{"[::1]:7171"});
    EXPECT_TRUE(ops4.resynced.empty());
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(value(blocks[0], "topic") + "=" + value(blocks[0], "written"), "domain=2");
    EXPECT_EQ(value(blocks[2], "topic") + "=" + value(blocks[2], "written"), "address_pool=1");
    EXPECT_EQ(value(blocks[3], "written"), "8");

    blocks = ask("drift [::1]:7171");
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(value(blocks[0], "topic"), "policy");
    EXPECT_EQ(value(blocks[0], "local") + "/" + value(blocks[0], "peer") + "/" +
                  value(blocks[0], "missing_on_peer") + "/" + value(blocks[0], "missing_here") +
                  "/" + value(blocks[0], "differing"),
              "3/2/1/0/1");
    EXPECT_EQ(value(blocks[1], "difference"), "differs");
    EXPECT_EQ(value(blocks[1], "oid") + " " + value(blocks[1], "name"), "1048577 gold");
    EXPECT_EQ(value(blocks[1], "fields"), "description,lease");
    EXPECT_EQ(value(blocks[2], "difference"), "missing on peer");
    EXPECT_EQ(value(blocks[3], "differences"), "2");
    EXPECT_EQ(value(blocks[3], "complete"), "yes");

    CSyncDriftReport cut;
    cut.complete = false;
    cut.incompleteReason = "The peer closed the connection.";
    ops6.setDrift(cut);
    blocks = ask("drift [::1]:7171", CRConsoleClient::kOutdated);
    EXPECT_EQ(value(blocks.back(), "complete"), "no");
    EXPECT_EQ(value(blocks.back(), "message"), "The peer closed the connection.");
}

TEST_F(OperationsCommands, RefusesUnknownTargetsBadArgumentsAndAHostWithoutThePlugin) {
    ops4.peer("127.0.0.1:7171", "idle");
    ask("resync 127.0.0.2:7171", CRConsoleClient::kRejected);
    EXPECT_NE(client.lastMessage().find("No peer '127.0.0.2:7171'."), std::string::npos)
        << client.lastMessage();
    ask("drift 127.0.0.2:7171", CRConsoleClient::kRejected);
    EXPECT_NE(client.lastMessage().find("No peer"), std::string::npos);
    ask("drift", CRConsoleClient::kRejected);
    EXPECT_NE(client.lastMessage().find("names no target"), std::string::npos);
    ask("status policy", CRConsoleClient::kRejected);
    EXPECT_TRUE(ops4.resynced.empty());

    access.withdraw();
    ask("status", CRConsoleClient::kRejected);
    EXPECT_NE(client.lastMessage().find("No sync plug-in is loaded."), std::string::npos)
        << client.lastMessage();
    ask("resync 127.0.0.1:7171", CRConsoleClient::kRejected);
    EXPECT_NE(client.lastMessage().find("No sync plug-in is loaded for IPv4."), std::string::npos);
}

TEST_F(OperationsCommands, ConsoleExitsOneWhenDriftFindsDifferencesOrStopsEarly) {
    ops4.peer("127.0.0.1:7171", "idle");
    const host::CConsoleCommandLine options(
        {"-s", "127.0.0.1:" + std::to_string(server->queryPort()), "drift", "127.0.0.1:7171"});
    ASSERT_EQ(options.command(), "drift 127.0.0.1:7171");
    std::ostringstream out, err;
    host::CConsoleCommandRunner runner(options, nullptr, out, err);
    ASSERT_TRUE(runner.open()) << err.str();
    using Runner = host::CConsoleCommandRunner;

    CSyncDriftReport inStep;
    inStep.classes.push_back({"policy", 3, 3, 0, 0, 0});
    ops4.setDrift(inStep);
    EXPECT_EQ(runner.run(options.command()), Runner::kAck);
    ops4.setDrift(twoDifferences());
    EXPECT_EQ(runner.run(options.command()), Runner::kNak);
    CSyncDriftReport cut = inStep;
    cut.complete = false;
    ops4.setDrift(cut);
    EXPECT_EQ(runner.run("drift 127.0.0.1:7171"), Runner::kNak);
    // Only drift reports are judged by their content.
    EXPECT_EQ(runner.run("status"), Runner::kAck);
    EXPECT_EQ(runner.run("drift 127.0.0.9:1"), Runner::kNak);
    EXPECT_NE(out.str().find("differences=2"), std::string::npos);
}

TEST(SyncOperationsAccess, WithdrawWaitsForTheCallsUnderWay) {
    opstest::FakeOperations ops{4};
    host::CSyncOperationsAccess access;
    access.offer(4, &ops);
    std::mutex mutex;
    std::condition_variable wake;
    bool release = false;
    std::atomic<bool> inside{false}, withdrawn{false};
    std::thread caller([&] {
        access.use(4, [&](CIDHCPSyncOperations* operations) {
            EXPECT_EQ(operations, &ops);
            inside = true;
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [&] { return release; });
        });
    });
    ASSERT_TRUE(nbx::testing::eventually([&] { return inside.load(); }));
    std::thread withdrawer([&] {
        access.withdraw();
        withdrawn = true;
    });
    // The withdrawal cannot end while the call holds the operations.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(withdrawn);
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    wake.notify_all();
    caller.join();
    withdrawer.join();
    EXPECT_TRUE(withdrawn);
    access.use(4, [](CIDHCPSyncOperations* operations) { EXPECT_EQ(operations, nullptr); });
    EXPECT_TRUE(access.families().empty());
}
