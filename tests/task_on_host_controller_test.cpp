// A command-queue task on the general reactor, driven by the host's master controller: what a
// failing command, a timer and the task registry leave in the host's log file and registry.

#include <gtest/gtest.h>

#include <chrono>

#include "ace_ext/general_reactor.h"
#include "extended/command_queue_task.h"
#include "host/log_sink.h"
#include "host/master_controller.h"
#include "standard/throw.h"
#include "testing/eventually.h"
#include "testing/temp_folder.h"

namespace {

using namespace std::chrono_literals;

class FailingCommand : public CAsyncCommand {
public:
    explicit FailingCommand(nbx::CMREvent& completed)
        : CAsyncCommand("cmd-test-failing"), m_completed(completed) {}
    void execute(std::uint32_t) override {
        NBX_THROW(nbx::CException, "dhcp_sync", "FailingCommand::execute",
                  nbx::msg("Failed to apply '%1'.", "sync_address_pool"),
                  nbx::msg("The peer is gone."));
    }
    void complete() override { m_completed.signal(); }

private:
    nbx::CMREvent& m_completed;
};

class NamedTask : public CCommandQueueTask<CSTGeneralReactor> {
public:
    NamedTask(nbx::CIMasterController* controller, const std::string& name)
        : CCommandQueueTask<CSTGeneralReactor>(controller, name, 1) {}
    ~NamedTask() override { stop(); }
    int handle_timeout(const ACE_Time_Value&, const void* argument) override {
        timerArgument = reinterpret_cast<std::uintptr_t>(argument);
        timerThread = nbx::currentThreadId();
        fired.signal();
        return 0;
    }
    std::uintptr_t timerArgument = 0;
    std::uint32_t timerThread = 0;
    nbx::CMREvent fired;
};

class TaskOnHostController : public ::testing::Test {
protected:
    nbx::testing::TempFolder folder{"nbx-host-log"};
    const std::string logPath = folder.path() + "/host.log";
    std::unique_ptr<host::CMasterController> controller =
        std::make_unique<host::CMasterController>(std::make_unique<host::CLogSink>(logPath));
};

}  // namespace

TEST_F(TaskOnHostController, FailingCommandReachesTheHostsLogFile) {
    NamedTask task(controller.get(), "v4-sync-receiver");
    ASSERT_EQ(task.run(), 0);
    nbx::CMREvent completed;
    task.sendCommand(CAsyncCommandPtr(new FailingCommand(completed)));
    ASSERT_TRUE(completed.waitFor(30s));

    task.stop();

    const std::string log = nbx::testing::readFile(logPath);
    EXPECT_NE(log.find(" error [dhcp_sync] Failed to apply 'sync_address_pool'. (The peer is "
                       "gone.)\n"),
              std::string::npos)
        << log;
}

TEST_F(TaskOnHostController, TimerFiresOnTheTasksThreadWhichIsInTheRegistry) {
    NamedTask task(controller.get(), "v6-sync-publisher");
    ASSERT_EQ(task.run(), 0);
    task.postScheduleTimer("cmd-test-timer", ACE_Time_Value(0, 1000), 77);
    ASSERT_TRUE(task.fired.waitFor(30s));
    EXPECT_EQ(task.timerArgument, 77u);
    std::string name;
    EXPECT_TRUE(controller->taskRegistry()->find(task.timerThread, name));
    EXPECT_EQ(name, "v6-sync-publisher");
    task.stop();
    EXPECT_FALSE(controller->taskRegistry()->find(task.timerThread, name));
}
