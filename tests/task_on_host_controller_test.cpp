// A command-queue task on the general reactor, driven by the host's master controller: what a
// failing command, a timer and the task registry leave in the host's log file and registry.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "ace_ext/general_reactor.h"
#include "extended/async_result.h"
#include "extended/command_queue_task.h"
#include "host/log_sink.h"
#include "host/master_controller.h"
#include "standard/throw.h"

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

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

class TaskOnHostController : public ::testing::Test {
protected:
    TaskOnHostController() {
        char name[] = "/tmp/nbx-host-log-XXXXXX";
        int fd = mkstemp(name);
        close(fd);
        logPath = name;
        controller =
            std::make_unique<host::CMasterController>(std::make_unique<host::CLogSink>(logPath));
    }
    ~TaskOnHostController() override { unlink(logPath.c_str()); }
    std::string logPath;
    std::unique_ptr<host::CMasterController> controller;
};

}  // namespace

TEST_F(TaskOnHostController, FailingCommandIsLoggedAndTheTaskGoesOn) {
    NamedTask task(controller.get(), "v4-sync-receiver");
    ASSERT_EQ(task.run(), 0);
    nbx::CMREvent completed;
    task.sendCommand(CAsyncCommandPtr(new FailingCommand(completed)));
    ASSERT_TRUE(completed.waitFor(30s));

    // The task still answers after the failure.
    CExtAsyncResult<long> answer(controller.get());
    struct Ask : CAsyncCommand {
        explicit Ask(const CExtAsyncResult<long>& r) : CAsyncCommand("cmd-test-ask"), result(r) {}
        void execute(std::uint32_t) override { *result = 42; }
        void complete() override { result.signal(); }
        CExtAsyncResult<long> result;
    };
    task.sendCommand(CAsyncCommandPtr(new Ask(answer)));
    ASSERT_TRUE(answer.waitFor(30s));
    EXPECT_EQ(*answer, 42);
    task.stop();

    const std::string log = readAll(logPath);
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
