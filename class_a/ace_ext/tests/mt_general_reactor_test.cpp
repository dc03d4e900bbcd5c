// The locking reactor with two threads at once: one runs the loop, the other registers,
// removes, schedules and notifies (run under ThreadSanitizer too).

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "ace_ext/general_reactor.h"
#include "reactor_test_support.h"

using reactor_test::CallLog;
using reactor_test::RecordingHandler;
using reactor_test::SocketPair;

namespace {

class LoopThread {
public:
    explicit LoopThread(CMTGeneralReactor& reactor) : m_reactor(reactor) {
        std::promise<void> owned;
        std::future<void> ready = owned.get_future();
        m_thread = std::thread([this, &owned] {
            m_reactor.owner(ACE_Thread::self());
            owned.set_value();
            while (!m_stop.load()) {
                if (m_reactor.handle_events() < 0) ++m_failures;  // no time limit
            }
        });
        ready.wait();
    }
    ~LoopThread() { stop(); }
    void stop() {
        if (!m_thread.joinable()) return;
        m_stop = true;
        m_reactor.notify();
        m_thread.join();
    }
    int failures() const { return m_failures.load(); }

private:
    CMTGeneralReactor& m_reactor;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_failures{0};
    std::thread m_thread;
};

TEST(LockingGeneralReactor, AnotherThreadRegistersRemovesSchedulesAndNotifies) {
    CallLog log;
    RecordingHandler timer("t", ACE_INVALID_HANDLE, log);
    CMTGeneralReactor reactor;
    ASSERT_EQ(reactor.open(0), 0);
    LoopThread loop(reactor);

    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        SocketPair p;
        const std::string name = "h" + std::to_string(i);
        RecordingHandler h(name, p.local, log);
        // Registered while the loop waits without a time limit: the registration wakes it.
        ASSERT_EQ(reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
        p.send("m" + std::to_string(i));
        ASSERT_TRUE(log.waitFor(name + ":input:m" + std::to_string(i)));
        // Once removed, the handler is never called again and may be destroyed.
        ASSERT_EQ(reactor.remove_handler(&h, ACE_Event_Handler::READ_MASK), 0);
        ASSERT_TRUE(log.waitFor(name + ":close:1"));
    }

    // A timer scheduled from here shortens the loop's unbounded wait.
    ASSERT_NE(reactor.schedule_timer(&timer, "mt", ACE_Time_Value(0, 10000)), -1);
    EXPECT_TRUE(log.waitFor("t:timeout:mt"));
    long id =
        reactor.schedule_timer(&timer, "tick", ACE_Time_Value(0, 1000), ACE_Time_Value(0, 2000));
    ASSERT_NE(id, -1);
    EXPECT_TRUE(log.waitFor("t:timeout:tick", 3));
    EXPECT_EQ(reactor.cancel_timer(id), 1);

    // Notifications from two threads while the loop takes them.
    auto notifyMany = [&] {
        for (int i = 0; i < 100; ++i) reactor.notify();
    };
    std::thread second(notifyMany);
    notifyMany();
    second.join();

    loop.stop();
    EXPECT_EQ(loop.failures(), 0);
}

TEST(LockingGeneralReactor, CloseFromAnotherThreadEndsTheLoopsWait) {
    CMTGeneralReactor reactor;
    ASSERT_EQ(reactor.open(0), 0);
    std::promise<void> owned;
    int result = 0;
    int error = 0;
    ACE_Time_Value budget(10);
    std::thread loop([&] {
        reactor.owner(ACE_Thread::self());
        owned.set_value();
        // A step may still serve the wake-up before the close takes the reactor away; the
        // next one finds it closed.
        do {
            result = reactor.handle_events(&budget);
            error = errno;
        } while (result >= 0 && budget > ACE_Time_Value::zero);
    });
    owned.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(reactor.close(), 0);
    loop.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, ESHUTDOWN);
    EXPECT_GT(budget, ACE_Time_Value::zero);  // woken, not timed out
}

TEST(SingleThreadedGeneralReactor, EveryNotificationFromOtherThreadsReachesTheOwner) {
    CSTGeneralReactor reactor;
    ASSERT_EQ(reactor.open(0), 0);
    std::atomic<int> taken{0};
    std::promise<void> owned;
    std::thread loop([&] {
        reactor.owner(ACE_Thread::self());
        owned.set_value();
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        // Each step takes one wake-up from the pipe.
        while (taken.load() < 100 && std::chrono::steady_clock::now() < end) {
            ACE_Time_Value wait(0, 100000);
            int result = reactor.handle_events(&wait);
            if (result > 0) taken += result;
        }
    });
    owned.get_future().wait();
    std::thread other([&] {
        for (int i = 0; i < 50; ++i) reactor.notify();
    });
    for (int i = 0; i < 50; ++i) reactor.notify();
    other.join();
    loop.join();
    EXPECT_EQ(taken.load(), 100);
}

}  // namespace
