#include "standard/task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "standard/task_registry.h"
#include "testing/failure.h"

namespace {

using namespace std::chrono_literals;
using nbx::testing::failure;

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

    std::atomic<int> inits{0}, loops{0};
    std::atomic<std::int32_t> indexSeenByInit{-1};
    nbx::CMREvent loopEntered, release;

private:
    std::int32_t m_initResult;
    bool m_throw;
};

// "message | reason @ function in module", of an error.
std::string failureOf(const nbx::testing::Failure& f) {
    EXPECT_EQ(f.severity, nbx::SEVERITY_ERROR);
    return f.text() + " @ " + f.function + " in " + f.module;
}

TEST(TaskTest, RunStartsTheLoopOnceAndASecondRunThrows) {
    GateTask task;
    EXPECT_EQ(task.run(), 0);
    ASSERT_TRUE(task.loopEntered.waitFor(10s));
    EXPECT_EQ(task.indexSeenByInit.load(), 0);
    EXPECT_EQ(failureOf(failure([&] { task.run(); })),
              "Failed to start task. | Task is already running. @ CTask::run in dhcp_sync");

    const std::uint32_t stranger = nbx::currentThreadId();
    EXPECT_EQ(failureOf(failure([&] { task.threadIndex(stranger); })),
              "Failed to find index for thread " + std::to_string(stranger) +
                  " in task 'gate-task'. | No such index. @ CTask::threadIndex in dhcp_sync");

    EXPECT_EQ(task.stop(), 0);
    // The running flag is never cleared: a stopped task does not start again either.
    EXPECT_THROW(task.run(), nbx::CException);
    EXPECT_EQ(task.inits.load(), 1);
    EXPECT_EQ(task.loops.load(), 1);
}

TEST(TaskTest, FailedInitEndsTheThreadAndEveryLaterRunReportsTheSameStatus) {
    GateTask never;
    EXPECT_EQ(never.stop(), 0);  // stopping a task that never ran is fine
    GateTask refused(5), thrown(0, true);
    EXPECT_EQ(refused.run(), 5);
    EXPECT_EQ(refused.thr_count(), 0u) << "run returned before the thread had ended";
    EXPECT_EQ(failureOf(failure([&] { thrown.run(); })),
              "Failed to open spool 'spool-a'. | Directory is missing. @ GateTask::init in "
              "dhcp_sync")
        << "the failure of init was lost";
    EXPECT_EQ(thrown.status(), GateTask::kStartFailed);
    for (GateTask* task : {&refused, &thrown}) {
        // A later run starts a thread that leaves at once.
        EXPECT_EQ(task->run(), task == &refused ? 5 : GateTask::kStartFailed);
        EXPECT_EQ(task->inits.load(), 1);
        EXPECT_EQ(task->loops.load(), 0);
    }
}

TEST(TaskTest, ConcurrentRunsStartOneLoop) {
    for (int round = 0; round < 5; ++round) {
        GateTask task;
        std::atomic<int> started{0}, refused{0};
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

TEST(TaskRegistryTest, RegistersTheCallingThreadOnceUnderItsName) {
    CTaskRegistryPtr registry(new CTaskRegistry);
    const std::string id = std::to_string(nbx::currentThreadId());
    registry->registerTask("v4-sync-receiver");
    EXPECT_EQ(failureOf(failure([&] { registry->registerTask("second"); })),
              "Failed to register thread " + id +
                  " with name second in the task registry. | Task already registered. @ "
                  "CTaskRegistry::registerTask in standard");
    std::string name;
    ASSERT_TRUE(registry->find(nbx::currentThreadId(), name));
    EXPECT_EQ(name, "v4-sync-receiver") << "a refused registration replaced the first";

    registry->deregisterTask();
    EXPECT_FALSE(registry->find(nbx::currentThreadId(), name));
    EXPECT_EQ(
        failure([&] { registry->deregisterTask(); }).text(),
        "Failed to de-register thread " + id + " from the task registry. | Task not registered.");
}

TEST(TaskRegistryTest, ThreadsRegisterConcurrentlyThroughTheLockingPointer) {
    CTaskRegistryPtr registry(new CTaskRegistry);
    constexpr int kThreads = 4;
    nbx::CMREvent allRegistered, allChecked;
    std::atomic<int> registered{0}, checked{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            registry->registerTask("task-" + std::to_string(i));
            if (++registered == kThreads) allRegistered.signal();
            allRegistered.wait();
            // Every other registration must be visible, and each thread keeps its own name.
            std::string name;
            EXPECT_TRUE(registry->find(nbx::currentThreadId(), name));
            EXPECT_EQ(name, "task-" + std::to_string(i));
            EXPECT_EQ(registry->size(), static_cast<std::size_t>(kThreads));
            if (++checked == kThreads) allChecked.signal();
            allChecked.wait();
            registry->deregisterTask();
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(registry->size(), 0u);
}

}  // namespace
