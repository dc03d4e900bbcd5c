#include "standard/task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A task whose loop waits until stop() releases it.
class GateTask : public CTask<ACE_NULL_SYNCH> {
public:
    explicit GateTask(std::int32_t initResult = 0, bool throwInInit = false)
        : CTask<ACE_NULL_SYNCH>("gate-task", 1), m_initResult(initResult), m_throw(throwInInit) {}
    ~GateTask() override { stop(); }

    std::int32_t init() override {
        ++inits;
        indexSeenByInit = static_cast<std::int32_t>(threadIndex(nbx::currentThreadId()));
        if (m_throw) {
            NBX_THROW(nbx::CException, "dhcp_sync", "GateTask::init",
                      nbx::msg("Failed to open spool '%1'.", "spool-a"),
                      nbx::msg("Directory is missing."));
        }
        return m_initResult;
    }
    std::int32_t svcLoop() override {
        ++loops;
        loopEntered.signal();
        release.wait();
        return status();
    }
    std::int32_t stop() override {
        release.signal();
        wait();
        return status();
    }

    std::atomic<int> inits{0};
    std::atomic<int> loops{0};
    std::atomic<std::int32_t> indexSeenByInit{-1};
    nbx::CMREvent loopEntered;
    nbx::CMREvent release;

private:
    std::int32_t m_initResult;
    bool m_throw;
};

void expectFailure(const nbx::CException& thrown, const std::string& message,
                   const std::string& reason, const std::string& function,
                   const std::string& module) {
    nbx::CException copy(thrown);
    EXPECT_EQ(copy.message().text(), message);
    EXPECT_EQ(copy.reason().text(), reason);
    EXPECT_EQ(copy.function(), function);
    EXPECT_EQ(copy.module(), module);
    EXPECT_EQ(copy.severity(), nbx::SEVERITY_ERROR);
}

TEST(TaskTest, RunStartsTheLoopOnceAndASecondRunThrows) {
    GateTask task;
    EXPECT_EQ(task.run(), 0);
    ASSERT_TRUE(task.loopEntered.waitFor(10s));
    EXPECT_EQ(task.indexSeenByInit.load(), 0);
    try {
        task.run();
        FAIL() << "a running task started again";
    } catch (const nbx::CException& thrown) {
        expectFailure(thrown, "Failed to start task.", "Task is already running.", "CTask::run",
                      "dhcp_sync");
    }
    EXPECT_EQ(task.stop(), 0);
    // The running flag is never cleared: a stopped task does not start again either.
    EXPECT_THROW(task.run(), nbx::CException);
    EXPECT_EQ(task.inits.load(), 1);
    EXPECT_EQ(task.loops.load(), 1);
}

TEST(TaskTest, InitFailureEndsTheThreadAndTheTaskStaysFailed) {
    GateTask task(5);
    EXPECT_EQ(task.run(), 5);
    EXPECT_EQ(task.thr_count(), 0u) << "run returned before the thread had ended";
    EXPECT_EQ(task.loops.load(), 0);
    // A later run starts a thread that leaves at once and reports the same status.
    EXPECT_EQ(task.run(), 5);
    EXPECT_EQ(task.inits.load(), 1);
    EXPECT_EQ(task.loops.load(), 0);
    EXPECT_EQ(task.status(), 5);
}

TEST(TaskTest, ExceptionOfInitIsThrownByRun) {
    GateTask task(0, true);
    try {
        task.run();
        FAIL() << "the failure of init was lost";
    } catch (const nbx::CException& thrown) {
        expectFailure(thrown, "Failed to open spool 'spool-a'.", "Directory is missing.",
                      "GateTask::init", "dhcp_sync");
    }
    EXPECT_EQ(task.status(), GateTask::kStartFailed);
    EXPECT_EQ(task.loops.load(), 0);
    EXPECT_EQ(task.run(), GateTask::kStartFailed);
    EXPECT_EQ(task.inits.load(), 1);
}

TEST(TaskTest, ThreadIndexOfAThreadOutsideTheTaskThrows) {
    GateTask task;
    ASSERT_EQ(task.run(), 0);
    std::uint32_t stranger = nbx::currentThreadId();
    try {
        task.threadIndex(stranger);
        FAIL() << "a stranger got an index";
    } catch (const nbx::CException& thrown) {
        expectFailure(
            thrown,
            "Failed to find index for thread " + std::to_string(stranger) + " in task 'gate-task'.",
            "No such index.", "CTask::threadIndex", "dhcp_sync");
    }
    task.stop();
}

TEST(TaskTest, ConcurrentRunsStartOneLoop) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        GateTask task;
        std::atomic<int> started{0};
        std::atomic<int> refused{0};
        std::vector<std::thread> callers;
        for (int i = 0; i < 3; ++i) {
            callers.emplace_back([&] {
                try {
                    if (task.run() == 0) ++started;
                } catch (const nbx::CException&) {
                    ++refused;
                }
            });
        }
        for (std::thread& caller : callers) caller.join();
        ASSERT_TRUE(task.loopEntered.waitFor(10s));
        EXPECT_EQ(started + refused, 3);
        EXPECT_GE(started.load(), 1);
        task.stop();
        EXPECT_EQ(task.loops.load(), 1);
        EXPECT_EQ(task.inits.load(), 1);
    }
}

TEST(TaskTest, DestroyingATaskThatNeverRanIsFine) {
    GateTask task;
    EXPECT_EQ(task.status(), 0);
    EXPECT_EQ(task.stop(), 0);
}

TEST(ManualResetEventTest, ReleasesEveryWaiterUntilReset) {
    nbx::CMREvent event;
    EXPECT_FALSE(event.waitFor(1ms));
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            event.wait();
            ++released;
        });
    }
    event.signal();
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(released.load(), 4);
    EXPECT_TRUE(event.waitFor(0ms)) << "a manual-reset event stays signalled";
    event.reset();
    EXPECT_FALSE(event.waitFor(1ms));
}

TEST(AtomicLongTest, CountsFromManyThreadsWithoutLoss) {
    nbx::CAtomicLong counter(-1);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int n = 0; n < 10000; ++n) counter.increment();
            for (int n = 0; n < 5000; ++n) counter.decrement();
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(counter.value(), 4 * 5000 - 1);
    EXPECT_EQ(counter.exchange(7), 4 * 5000 - 1);
    EXPECT_EQ(counter.increment(), 8);
}

}  // namespace
