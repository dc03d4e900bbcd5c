#include <gtest/gtest.h>

#include <future>
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
Blocks blocksOf(std::string text) {
    Blocks blocks;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find("\n-\n", start);
        blocks.emplace_back(text.substr(start, end - start), "\n");
        if (end == std::string::npos) return blocks;
        start = end + 3;
    }
}

// The values of `keys` in one block, joined by '/'.
std::string fields(const nbx::CStringMap& block, std::initializer_list<const char*> keys) {
    std::string out;
    for (const char* key : keys) {
        std::string text;
        out += (out.empty() ? "" : "/") + (block.get(key, text) ? text : "<none>");
    }
    return out;
}

class OperationsCommands : public ::testing::Test, protected opstest::FakePlugin {
protected:
    void SetUp() override {
        server = consoletest::serve(true,
                                    std::make_shared<host::COperationsCommandHandler>(access));
        ASSERT_TRUE(client.connect("127.0.0.1:" + std::to_string(server->queryPort())));
    }
    Blocks ask(const std::string& command, int expected = CRConsoleClient::kAcknowledged) {
        EXPECT_EQ(client.command(command), expected) << client.response;
        return blocksOf(client.response);
    }

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
    EXPECT_EQ(fields(blocks[0], {"peer", "state", "backlog_logs", "backlog_records",
                                 "backlog_bytes", "oldest_age", "last_failure", "last_failure_text",
                                 "last_success", "reconnects"}),
              "127.0.0.1:7171/unreachable/2/120/4096/42/2025-12-31T12:00:00Z/"
              "Connection refused./never/7");
    EXPECT_EQ(fields(blocks[1], {"state", "last_success", "acknowledged", "conflicts", "rejected"}),
              "idle/2025-12-31T12:00:00Z/31/1/2");
    EXPECT_EQ(fields(blocks[2], {"family", "state"}), "6/login refused");
    EXPECT_EQ(fields(blocks[3], {"receiver", "records_written"}), "4/151");
    EXPECT_EQ(fields(blocks[4], {"receiver", "events_dropped"}), "6/3");
    EXPECT_EQ(fields(blocks[5], {"code", "peers"}), "ack/3");
}

TEST_F(OperationsCommands, ResyncAndDriftActInTheSessionsFamily) {
    ops4.peer("127.0.0.1:7171", "idle");
    ops6.peer("[::1]:7171", "idle");
    ops6.set(CSyncResyncResult{{{"domain", 2}, {"policy", 5}, {"address_pool", 1}}});
    ops6.set(twoDifferences());

    ask("set_context=6");
    Blocks blocks = ask("resync [::1]:7171");
    EXPECT_EQ(ops6.resynced, std::vector<std::string>{"[::1]:7171"});
    EXPECT_TRUE(ops4.resynced.empty());
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(fields(blocks[0], {"topic", "written"}), "domain/2");
    EXPECT_EQ(fields(blocks[2], {"topic", "written"}), "address_pool/1");
    EXPECT_EQ(fields(blocks[3], {"written"}), "8");

    blocks = ask("drift [::1]:7171");
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(fields(blocks[0],
                     {"topic", "local", "peer", "missing_on_peer", "missing_here", "differing"}),
              "policy/3/2/1/0/1");
    EXPECT_EQ(fields(blocks[1], {"difference", "oid", "name", "fields"}),
              "differs/1048577/gold/description,lease");
    EXPECT_EQ(fields(blocks[2], {"difference"}), "missing on peer");
    EXPECT_EQ(fields(blocks[3], {"differences", "complete"}), "2/yes");

    CSyncDriftReport cut;
    cut.complete = false;
    cut.incompleteReason = "The peer closed the connection.";
    ops6.set(cut);
    blocks = ask("drift [::1]:7171", CRConsoleClient::kOutdated);
    EXPECT_EQ(fields(blocks.back(), {"complete", "message"}), "no/The peer closed the connection.");
}

TEST_F(OperationsCommands, RefusesUnknownTargetsBadArgumentsAndAHostWithoutThePlugin) {
    ops4.peer("127.0.0.1:7171", "idle");
    const auto refused = [&](const std::string& command, const std::string& text) {
        ask(command, CRConsoleClient::kRejected);
        EXPECT_NE(client.lastMessage().find(text), std::string::npos)
            << command << ": " << client.lastMessage();
    };
    refused("resync 127.0.0.2:7171", "No peer '127.0.0.2:7171'.");
    refused("drift 127.0.0.2:7171", "No peer");
    refused("drift", "names no target");
    refused("status policy", "");
    EXPECT_TRUE(ops4.resynced.empty());

    access.withdraw();
    refused("status", "No sync plug-in is loaded.");
    refused("resync 127.0.0.1:7171", "No sync plug-in is loaded for IPv4.");
}

TEST_F(OperationsCommands, ConsoleExitsOneWhenDriftFindsDifferencesOrStopsEarly) {
    ops4.peer("127.0.0.1:7171", "idle");
    const host::CConsoleCommandLine options(
        {"-s", "127.0.0.1:" + std::to_string(server->queryPort()), "drift", "127.0.0.1:7171"});
    ASSERT_EQ(options.command(), "drift 127.0.0.1:7171");
    std::ostringstream out, err;
    using Runner = host::CConsoleCommandRunner;
    Runner runner(options, nullptr, out, err);
    ASSERT_TRUE(runner.open()) << err.str();

    CSyncDriftReport inStep;
    inStep.classes.push_back({"policy", 3, 3, 0, 0, 0});
    ops4.set(inStep);
    EXPECT_EQ(runner.run(options.command()), Runner::kAck);
    ops4.set(twoDifferences());
    EXPECT_EQ(runner.run(options.command()), Runner::kNak);
    inStep.complete = false;
    ops4.set(inStep);
    EXPECT_EQ(runner.run(options.command()), Runner::kNak);
    // Only drift reports are judged by their content.
    EXPECT_EQ(runner.run("status"), Runner::kAck);
    EXPECT_EQ(runner.run("drift 127.0.0.9:1"), Runner::kNak);
    EXPECT_NE(out.str().find("differences=2"), std::string::npos);
}

TEST(SyncOperationsAccess, WithdrawWaitsForTheCallsUnderWay) {
    opstest::FakeOperations ops{4};
    host::CSyncOperationsAccess access;
    access.offer(4, &ops);
    std::promise<void> inside, release;
    std::thread caller([&] {
        access.use(4, [&](CIDHCPSyncOperations* operations) {
            EXPECT_EQ(operations, &ops);
            inside.set_value();
            release.get_future().wait();
        });
    });
    inside.get_future().wait();
    auto withdrawn = std::async(std::launch::async, [&] { access.withdraw(); });
    // The withdrawal cannot end while the call holds the operations.
    EXPECT_EQ(withdrawn.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    release.set_value();
    caller.join();
    EXPECT_EQ(withdrawn.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    access.use(4, [](CIDHCPSyncOperations* operations) { EXPECT_EQ(operations, nullptr); });
    EXPECT_TRUE(access.families().empty());
}
