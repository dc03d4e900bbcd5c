#pragma once
// Commands and a task for the command-queue tests. The tasks run over the general reactor.

#include <gtest/gtest.h>

#include "ace_ext/general_reactor.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "extended/command_queue_task.h"
#include "standard/sync.h"
#include "testing/eventually.h"
#include "testing/recording_controller.h"

namespace tasktest {

using Reactor = CSTGeneralReactor;
using namespace std::chrono_literals;

// Command objects alive right now; every test ends with none.
inline std::atomic<int>& liveCommands() {
    static std::atomic<int> count{0};
    return count;
}

class LambdaCommand : public CAsyncCommand {
public:
    using Body = std::function<void(std::uint32_t)>;
    LambdaCommand(const std::string& name, Body body, std::function<void()> onComplete = {})
        : CAsyncCommand(name), m_body(std::move(body)), m_onComplete(std::move(onComplete)) {
        ++liveCommands();
    }
    ~LambdaCommand() override { --liveCommands(); }
    void execute(std::uint32_t threadIndex) override { m_body(threadIndex); }
    void complete() override {
        if (m_onComplete) m_onComplete();
    }

private:
    Body m_body;
    std::function<void()> m_onComplete;
};

inline CAsyncCommandPtr makeCommand(const std::string& name, LambdaCommand::Body body,
                                    std::function<void()> onComplete = {}) {
    return CAsyncCommandPtr(new LambdaCommand(name, std::move(body), std::move(onComplete)));
}

// A command that answers through `result`: its body fills it, complete() wakes the sender.
template <class T>
CAsyncCommandPtr resultCommand(const std::string& name, CExtAsyncResult<T> result,
                               std::function<void(CExtAsyncResult<T>&, std::uint32_t)> body) {
    return makeCommand(
        name, [result, body](std::uint32_t index) mutable { body(result, index); },
        [result]() mutable { result.signal(); });
}

struct Expiry {
    std::uintptr_t argument;
    std::uint32_t threadId;
};

class TestTask : public CCommandQueueTask<Reactor> {
public:
    TestTask(nbx::CIMasterController* controller, const std::string& name,
             std::int32_t initResult = 0)
        : CCommandQueueTask<Reactor>(controller, name, 1), m_initResult(initResult) {}
    // The hooks below belong to this class: the loop must end before they go.
    ~TestTask() override { stop(); }

    std::int32_t init() override {
        ++inits;
        return m_initResult;
    }
    int handle_timeout(const ACE_Time_Value&, const void* argument) override {
        auto value = reinterpret_cast<std::uintptr_t>(argument);
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_expiries.push_back({value, nbx::currentThreadId()});
        }
        if (onTimeout) onTimeout(*this, value);
        return 0;
    }
    std::vector<Expiry> expiries() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_expiries;
    }

    std::atomic<int> inits{0};
    std::function<void(TestTask&, std::uintptr_t)> onTimeout;

private:
    std::int32_t m_initResult;
    mutable std::mutex m_mutex;
    std::vector<Expiry> m_expiries;
};

// Sends, retrying while the queue is full.
inline void sendPatiently(CICommandQueueTask& task, const CAsyncCommandPtr& command) {
    for (;;) {
        try {
            task.sendCommand(command);
            return;
        } catch (const CExQueueFull&) {
            std::this_thread::sleep_for(50us);
        }
    }
}

// Runs `body` on the task's thread and returns its answer. Waits for room in a full queue:
// a slow task (under a sanitizer) may still be behind its senders.
inline long ask(CICommandQueueTask& task, nbx::CIMasterController* controller,
                std::function<long()> body) {
    CExtAsyncResult<long> result(controller);
    sendPatiently(task, resultCommand<long>("cmd-test-ask", result,
                                            [body](CExtAsyncResult<long>& answer, std::uint32_t) {
                                                *answer = body();
                                                answer.setSucceeded(true);
                                            }));
    if (!result.waitFor(30s)) throw std::runtime_error("the task did not answer");
    return *result;
}

using nbx::testing::eventually;

// Holds the task's thread in a command until `gate` is signalled; true once it is held.
inline bool hold(CICommandQueueTask& task, nbx::CMREvent& gate) {
    auto held = std::make_shared<nbx::CMREvent>();
    task.sendCommand(makeCommand("cmd-test-block", [held, &gate](std::uint32_t) {
        held->signal();
        gate.wait();
    }));
    return held->waitFor(30s);
}

// Every test of a task ends with no command left alive.
class TaskTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(liveCommands().load(), 0) << "a command was leaked"; }

    std::uint32_t threadOf(TestTask& task) {
        return static_cast<std::uint32_t>(
            ask(task, &controller, [] { return static_cast<long>(nbx::currentThreadId()); }));
    }

    nbx::testing::RecordingController controller;
};

inline bool logged(const nbx::testing::RecordingLogSink& sink, std::uint32_t severity,
                   const std::string& text, const std::string& module) {
    for (const nbx::testing::LogEntry& entry : sink.entries()) {
        if (entry.severity == severity && entry.text == text && entry.module == module) {
            return true;
        }
    }
    return false;
}

}  // namespace tasktest
