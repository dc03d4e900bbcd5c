#include "extended/command_queue_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "task_support.h"
#include "testing/failure.h"

namespace {

using namespace tasktest;
using nbx::testing::Failure;

using CommandQueueTaskTest = TaskTest;

void expectQueueFull(const CExQueueFull& thrown, const std::string& command,
                     const std::string& task) {
    nbx::CException copy(thrown);
    const Failure f = nbx::testing::describe(copy);
    EXPECT_EQ(f.text(), "Failed to send command '" + command + "' to task '" + task +
                            "'. | Command queue overflow.");
    EXPECT_EQ(f.function, "CCommandQueueTask::sendCommand");
    EXPECT_EQ(f.module, "dhcp_sync");
    EXPECT_EQ(f.severity, nbx::SEVERITY_ERROR);
}

TEST_F(CommandQueueTaskTest, RunsItsThreadRegisteredUnderItsNameUntilStopped) {
    TestTask task(&controller, "v4-sync-test");
    ASSERT_EQ(task.run(), 0);
    std::uint32_t thread = threadOf(task);
    std::string name;
    ASSERT_TRUE(controller.taskRegistry()->find(thread, name));
    EXPECT_EQ(name, "v4-sync-test");
    EXPECT_EQ(ask(task, &controller, [&task] { return static_cast<long>(task.threadIndex()); }), 0);
    EXPECT_THROW(task.threadIndex(), nbx::CException);  // not the task's thread

    EXPECT_THROW(task.run(), nbx::CException);  // already running
    EXPECT_EQ(ask(task, &controller, [] { return 1L; }), 1) << "the failed run broke the queue";

    EXPECT_EQ(task.stop(), 0);
    EXPECT_EQ(task.thr_count(), 0u);
    EXPECT_FALSE(controller.taskRegistry()->find(thread, name)) << "the thread stayed registered";
    EXPECT_THROW(task.run(), nbx::CException);
}

TEST_F(CommandQueueTaskTest, TaskThatNeverRanOrFailedItsInitRunsNoCommandAndGoesQuietly) {
    {
        TestTask task(&controller, "v4-sync-failing", 5);
        try {
            task.sendCommand(makeCommand("cmd-test-early", [](std::uint32_t) {}));
            ADD_FAILURE() << "a task without a queue took a command";
        } catch (const CExQueueFull& thrown) {
            expectQueueFull(thrown, "cmd-test-early", "v4-sync-failing");
        }
        EXPECT_EQ(task.stop(), 0) << "stop before run";

        EXPECT_EQ(task.run(), 5);
        EXPECT_EQ(task.thr_count(), 0u);
        EXPECT_EQ(controller.taskRegistry()->size(), 0u) << "the failed thread stayed registered";
        // A command posted now is queued but never runs; destroying the task releases it.
        std::atomic<bool> executed{false};
        task.sendCommand(makeCommand("cmd-test-never", [&](std::uint32_t) { executed = true; }));
        EXPECT_EQ(task.run(), 5);
        EXPECT_EQ(task.inits.load(), 1);
        EXPECT_EQ(task.stop(), 5);
        EXPECT_FALSE(executed.load());
    }
    EXPECT_TRUE(controller.sink().entries().empty());
}

TEST_F(CommandQueueTaskTest, CommandsFromFourSendersRunExactlyOnceInSenderOrder) {
    constexpr int kSenders = 4;
    constexpr int kPerSender = 25000;
    TestTask task(&controller, "v4-sync-order");
    ASSERT_EQ(task.run(), 0);

    std::vector<std::vector<int>> seen(kSenders);  // written on the task's thread only
    std::vector<std::thread> senders;
    for (int sender = 0; sender < kSenders; ++sender) {
        senders.emplace_back([&, sender] {
            for (int n = 0; n < kPerSender; ++n) {
                sendPatiently(task,
                              makeCommand("cmd-test-order", [&seen, sender, n](std::uint32_t) {
                                  seen[sender].push_back(n);
                              }));
            }
        });
    }
    for (std::thread& sender : senders) sender.join();
    // The queue is first in, first out: once this answer is back, everything before it ran.
    ask(task, &controller, [] { return 0L; });

    std::vector<int> expected(kPerSender);
    std::iota(expected.begin(), expected.end(), 0);
    for (int sender = 0; sender < kSenders; ++sender) {
        SCOPED_TRACE(sender);
        EXPECT_TRUE(seen[sender] == expected)
            << "sender " << sender << ": " << seen[sender].size() << " commands ran";
    }
    EXPECT_EQ(task.stop(), 0);
}

TEST_F(CommandQueueTaskTest, FullQueueRefusesCommandsUntilTheTaskCatchesUp) {
    TestTask task(&controller, "v4-sync-fill");
    ASSERT_EQ(task.run(), 0);
    nbx::CMREvent gate;
    ASSERT_TRUE(hold(task, gate));

    std::atomic<int> executed{0};
    int posted = 0;
    bool refused = false;
    while (!refused && posted < 1000000) {
        CAsyncCommandPtr command = makeCommand("cmd-test-fill", [&](std::uint32_t) { ++executed; });
        try {
            task.sendCommand(command);
            ++posted;
        } catch (const CExQueueFull& thrown) {
            refused = true;
            expectQueueFull(thrown, "cmd-test-fill", "v4-sync-fill");
            EXPECT_EQ(command.useCount(), 1) << "the queue kept a reference to a refused command";
        }
    }
    ASSERT_TRUE(refused) << "the queue never filled";
    EXPECT_EQ(executed.load(), 0);

    gate.signal();
    ASSERT_TRUE(eventually([&] { return executed.load() == posted; }));
    task.sendCommand(makeCommand("cmd-test-fill", [&](std::uint32_t) { ++executed; }));
    ASSERT_TRUE(eventually([&] { return executed.load() == posted + 1; }));
    EXPECT_EQ(task.stop(), 0);
    EXPECT_EQ(executed.load(), posted + 1) << "a command ran twice";
}

TEST_F(CommandQueueTaskTest, ThrownFailureIsLoggedAndItsSenderStillWoken) {
    TestTask task(&controller, "v4-sync-failures");
    ASSERT_EQ(task.run(), 0);
    CExtAsyncResult<long> thrown(&controller);
    task.sendCommand(
        resultCommand<long>("cmd-test-thrown", thrown, [](CExtAsyncResult<long>&, std::uint32_t) {
            NBX_THROW_STATIC(nbx::CException, "dhcp_sync", "CTest::writeSpool",
                             nbx::msg("Failed to write spool '%1'.", "beta"),
                             nbx::msg("Disk full."));
        }));
    ASSERT_TRUE(thrown.waitFor(30s)) << "complete() was skipped after execute() threw";
    EXPECT_FALSE(thrown.succeeded());
    EXPECT_EQ(thrown.exceptions().count(), 0u);
    ASSERT_TRUE(eventually([&] {
        return logged(controller.sink(), nbx::SEVERITY_ERROR,
                      "Failed to write spool 'beta'. (Disk full.)", "dhcp_sync");
    }));
    EXPECT_EQ(ask(task, &controller, [] { return 3L; }), 3) << "the task did not go on";
}

TEST_F(CommandQueueTaskTest, TargetedCommandRunsOnlyOnItsTargetThread) {
    TestTask task(&controller, "v4-sync-target");
    ASSERT_EQ(task.run(), 0);
    const std::uint32_t taskThread = threadOf(task);
    const std::string discard =
        "Task 'v4-sync-target' is discarding targeted command 'cmd-test-targeted' because "
        "synchronous execution would cause a deadlock. Please contact technical support.";

    struct Case {
        const char* what;
        std::uint32_t target;
        bool runs;
    };
    const Case cases[] = {
        {"targeted at the task's thread", taskThread, true},
        {"targeted at the test thread", nbx::currentThreadId(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        controller.sink().clear();
        std::atomic<bool> executed{false};
        CExtAsyncResult<long> result(&controller);
        CAsyncCommandPtr command = resultCommand<long>(
            "cmd-test-targeted", result, [&](CExtAsyncResult<long>& answer, std::uint32_t) {
                executed = true;
                answer.setSucceeded(true);
            });
        command->setTarget(c.target);
        task.sendCommand(command);
        // A discarded command still wakes its sender, without success.
        ASSERT_TRUE(result.waitFor(30s));
        EXPECT_EQ(executed.load(), c.runs);
        EXPECT_EQ(result.succeeded(), c.runs);
        EXPECT_EQ(logged(controller.sink(), nbx::SEVERITY_ERROR, discard, "extended"), !c.runs);
        EXPECT_EQ(command->transitCount(), 0);
        EXPECT_EQ(command->hopBudget(),
                  c.runs ? CAsyncCommand::kHopBudget : CAsyncCommand::kHopBudget - 1);
    }
}

// Passes commands targeted at other threads on to itself until their hop budget is spent.
class ForwardingTask : public TestTask {
public:
    using TestTask::TestTask;
    bool acceptCommand(CICommandQueueTaskHandler*, CAsyncCommandPtr* command) override {
        CAsyncCommand* pointee = command->get();
        if (!pointee->isTargeted() || pointee->target() == nbx::currentThreadId() ||
            pointee->hopBudget() == 0) {
            return false;
        }
        ++forwarded;
        std::unique_ptr<CAsyncCommandPtr> reference(command);
        sendCommand(*reference);
        pointee->leaveTransit();
        return true;
    }
    std::atomic<int> forwarded{0};
};

TEST_F(CommandQueueTaskTest, CommandPassedOnRunsWhereItIsOnceItsHopsAreSpent) {
    ForwardingTask task(&controller, "v4-sync-forward");
    ASSERT_EQ(task.run(), 0);
    std::atomic<int> executed{0};
    CExtAsyncResult<long> result(&controller);
    CAsyncCommandPtr command = resultCommand<long>(
        "cmd-test-hops", result, [&](CExtAsyncResult<long>& answer, std::uint32_t) {
            ++executed;
            answer.setSucceeded(true);
        });
    command->setTarget(nbx::currentThreadId());
    task.sendCommand(command);
    ASSERT_TRUE(result.waitFor(30s));
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(executed.load(), 1);
    EXPECT_EQ(task.forwarded.load(), static_cast<int>(CAsyncCommand::kHopBudget) - 1);
    EXPECT_EQ(command->hopBudget(), 0u);
    EXPECT_TRUE(command->inTransit());
    // Signalled for its holders right after complete() woke the sender.
    EXPECT_TRUE(command->doneEvent().waitFor(30s));
    EXPECT_TRUE(controller.sink().entries().empty());
}

TEST_F(CommandQueueTaskTest, CommandRunWhileHeldLetsGoOnlyOnceItsLastHolderDoes) {
    TestTask task(&controller, "v4-sync-held");
    ASSERT_EQ(task.run(), 0);
    CExtAsyncResult<long> result(&controller);
    CAsyncCommandPtr command = resultCommand<long>(
        "cmd-test-held", result,
        [](CExtAsyncResult<long>& answer, std::uint32_t) { answer.setSucceeded(true); });
    command->enterTransit();  // this thread holds it on its way
    CCommandNotify handler(&controller, &task);
    std::atomic<bool> returned{false};
    std::thread runner([&] {
        handler.execute(new CAsyncCommandPtr(command));
        returned = true;
    });
    EXPECT_TRUE(command->doneEvent().waitFor(30s));
    EXPECT_FALSE(returned.load()) << "the queue let go while a holder still had the command";
    command->leaveTransit();
    const bool woke = eventually([&] { return returned.load(); });
    EXPECT_TRUE(woke) << "the holder's release was lost";
    if (!woke) command->releasedEvent().signal();  // lets the runner end all the same
    runner.join();
}

TEST_F(CommandQueueTaskTest, BrokenCommandPointersAreLoggedNotRun) {
    TestTask task(&controller, "v4-sync-broken");
    ASSERT_EQ(task.run(), 0);
    // A shared pointer without a command travels like any other.
    task.sendCommand(CAsyncCommandPtr());
    ask(task, &controller, [] { return 0L; });
    EXPECT_TRUE(logged(controller.sink(), nbx::SEVERITY_ERROR,
                       "Task 'v4-sync-broken' is expiring an unexecuted command in transit. "
                       "Please contact technical support.",
                       "extended"));
    // No queue reference at all.
    CCommandNotify handler(&controller, &task);
    handler.execute(nullptr);
    EXPECT_TRUE(logged(controller.sink(), nbx::SEVERITY_ERROR,
                       "Task 'v4-sync-broken' received an invalid command pointer.", "extended"));
}

TEST_F(CommandQueueTaskTest, DestroyingAStoppedTaskReleasesTheQueuedCommands) {
    auto task = std::make_unique<TestTask>(&controller, "v4-sync-drain");
    ASSERT_EQ(task->run(), 0);
    nbx::CMREvent gate;
    ASSERT_TRUE(hold(*task, gate));
    std::atomic<int> executed{0};
    constexpr int kQueued = 50;
    for (int i = 0; i < kQueued; ++i) {
        task->sendCommand(makeCommand("cmd-test-queued", [&](std::uint32_t) { ++executed; }));
    }
    EXPECT_EQ(liveCommands().load(), kQueued + 1);

    std::thread stopper([&] { EXPECT_EQ(task->stop(), 0); });
    ASSERT_TRUE(eventually([&] { return task->stopRequested(); }));
    gate.signal();
    stopper.join();
    EXPECT_LT(executed.load(), kQueued) << "the loop went on after stop";
    task.reset();
    EXPECT_EQ(liveCommands().load(), 0);
}

TEST_F(CommandQueueTaskTest, CommandMayStopItsOwnTask) {
    TestTask task(&controller, "v4-sync-self-stop");
    ASSERT_EQ(task.run(), 0);
    const std::uint32_t thread = threadOf(task);
    task.sendCommand(makeCommand("cmd-test-stop", [&](std::uint32_t) { task.stop(); }));
    ASSERT_TRUE(eventually([&] { return task.thr_count() == 0; })) << "the loop did not end";
    std::string name;
    EXPECT_FALSE(controller.taskRegistry()->find(thread, name));
    EXPECT_EQ(task.stop(), 0);
}

}  // namespace
