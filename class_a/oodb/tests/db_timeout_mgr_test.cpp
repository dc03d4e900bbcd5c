#include "oodb/db_timeout_mgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fake_engine.h"
#include "testing/eventually.h"
#include "testing/recording_controller.h"

namespace {

using namespace std::chrono_literals;

// Counts its interrupts; `guarded` is set by the test while a guard of this connection is open,
// so an interrupt outside any guard shows up as a stray.
class CountingConnection : public oodb_test::RecordingConnection {
public:
    void interrupt() override {
        ++interrupts;
        if (!guarded.load()) ++strays;
        thread = nbx::currentThreadId();
        if (failInterrupt) {
            NBX_THROW(nbx::CException, "test", "CountingConnection::interrupt",
                      nbx::msg("Interrupt failed."), nbx::CMessage());
        }
    }

    std::atomic<int> interrupts{0};
    std::atomic<int> strays{0};
    std::atomic<bool> guarded{false};
    std::atomic<std::uint32_t> thread{0};
    bool failInterrupt = false;
};

using nbx::testing::eventually;

class DBTimeoutMgrTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(manager->run(), 0); }

    // Opens a guard that fires at once and waits for it: the tick that fired it also looked at
    // every guard entered before.
    void waitForTicks() {
        CountingConnection sentinel;
        sentinel.guarded = true;
        CDBTimeoutMgr::Guard guard(*manager, sentinel, 1ms);
        ASSERT_TRUE(eventually([&] { return guard.expired(); }));
        EXPECT_EQ(sentinel.interrupts.load(), 1);
    }

    nbx::testing::RecordingController controller;
    std::unique_ptr<CDBTimeoutMgr> manager = std::make_unique<CDBTimeoutMgr>(&controller, 5ms);
};

TEST_F(DBTimeoutMgrTest, APassedDeadlineInterruptsOnceOnTheTasksThread) {
    CountingConnection connection;
    connection.guarded = true;
    CDBTimeoutMgr::Guard guard(*manager, connection, 20ms);
    EXPECT_EQ(manager->watching(), 1u);
    ASSERT_TRUE(eventually([&] { return guard.expired(); }));
    EXPECT_EQ(manager->watching(), 0u) << "a fired guard stayed in the table";
    waitForTicks();
    EXPECT_EQ(connection.interrupts.load(), 1);

    std::string task;
    ASSERT_TRUE(controller.taskRegistry()->find(connection.thread.load(), task));
    EXPECT_EQ(task, "db-timeout-manager");
    guard.end();
    EXPECT_TRUE(guard.expired()) << "ending a fired guard forgot that it fired";
}

TEST_F(DBTimeoutMgrTest, GuardsWithinTheirLimitOrWithoutOneAreNeverInterrupted) {
    struct Case {
        const char* name;
        std::optional<std::chrono::milliseconds> timeout;  // none: the default of 30 s
        std::size_t entered;
    };
    const Case cases[] = {{"ended early", 60s, 1},
                          {"default", std::nullopt, 1},
                          {"no limit", 0ms, 0},
                          {"negative", -5ms, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CountingConnection connection;
        {
            auto guard =
                c.timeout ? std::make_unique<CDBTimeoutMgr::Guard>(*manager, connection, *c.timeout)
                          : std::make_unique<CDBTimeoutMgr::Guard>(*manager, connection);
            EXPECT_EQ(manager->watching(), c.entered);
            waitForTicks();
            EXPECT_FALSE(guard->expired());
        }
        EXPECT_EQ(manager->watching(), 0u);
        waitForTicks();
        EXPECT_EQ(connection.interrupts.load(), 0);
    }
}

TEST_F(DBTimeoutMgrTest, GuardsFromSeveralThreadsFireExactlyWhenTheyReportExpired) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 60;
    CountingConnection connections[kThreads];
    int reported[kThreads] = {};
    int waited[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CountingConnection& connection = connections[t];
            for (int round = 0; round < kRounds; ++round) {
                connection.guarded = true;
                CDBTimeoutMgr::Guard guard(*manager, connection, round % 3 == 2 ? 60s : 1ms);
                if (round % 3 == 0) {
                    // Waits for the interrupt; the others end at once, racing the tick.
                    if (eventually([&] { return guard.expired(); })) ++waited[t];
                }
                guard.end();
                connection.guarded = false;
                if (guard.expired()) ++reported[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    waitForTicks();
    EXPECT_EQ(manager->watching(), 0u);
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(waited[t], kRounds / 3);
        EXPECT_EQ(connections[t].interrupts.load(), reported[t]);
        EXPECT_LE(reported[t], 2 * kRounds / 3) << "a guard of 60 s fired";
        EXPECT_EQ(connections[t].strays.load(), 0) << "interrupted after its guard ended";
    }
}

TEST_F(DBTimeoutMgrTest, AFailingInterruptIsLoggedAndTheOthersStillFire) {
    CountingConnection failing;
    CountingConnection fine;
    failing.failInterrupt = true;
    failing.guarded = fine.guarded = true;
    CDBTimeoutMgr::Guard first(*manager, failing, 1ms);
    CDBTimeoutMgr::Guard second(*manager, fine, 1ms);
    ASSERT_TRUE(eventually([&] { return first.expired() && second.expired(); }));
    ASSERT_TRUE(eventually([&] { return !controller.sink().entries().empty(); }));
    EXPECT_EQ(controller.sink().texts(), std::vector<std::string>{"Interrupt failed."});
    EXPECT_EQ(failing.interrupts.load(), 1);
    EXPECT_EQ(fine.interrupts.load(), 1);
}

TEST_F(DBTimeoutMgrTest, GuardsOutliveAStoppedOrDestroyedManagerAndNeverFire) {
    CountingConnection connection;
    auto before = std::make_unique<CDBTimeoutMgr::Guard>(*manager, connection, 60s);
    auto later = std::make_unique<CDBTimeoutMgr::Guard>(*manager, connection, 60s);
    EXPECT_EQ(manager->watching(), 2u);
    EXPECT_EQ(manager->stop(), 0);
    EXPECT_EQ(manager->watching(), 0u) << "a stopped manager kept its entries";
    CDBTimeoutMgr::Guard after(*manager, connection, 1ms);
    EXPECT_EQ(manager->watching(), 0u) << "a stopped manager took a guard";
    before.reset();
    manager.reset();
    later.reset();  // its table is all that is left of the manager
    EXPECT_FALSE(after.expired());
    after.end();
    EXPECT_EQ(connection.interrupts.load(), 0);

    // A manager that never ran takes no guards either.
    CDBTimeoutMgr idle(&controller, 5ms);
    CDBTimeoutMgr::Guard early(idle, connection, 1ms);
    EXPECT_EQ(idle.watching(), 0u);
    EXPECT_FALSE(early.expired());
}

}  // namespace
