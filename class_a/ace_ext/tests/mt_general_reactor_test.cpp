// The reactors with two threads at once: one runs the loop, the other registers, removes,
// notifies or closes (run under ThreadSanitizer too).

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

#include "ace_ext/general_reactor.h"
#include "reactor_test_support.h"

using reactor_test::CallLog;
using reactor_test::RecordingHandler;
using reactor_test::SocketPair;

namespace {

// Starts `body` on a new thread once that thread owns `reactor`.
template <class R, class F>
std::thread ownerThread(R& reactor, F body) {
    std::promise<void> owned;
    std::future<void> ready = owned.get_future();
    std::thread thread([&reactor, body, owned = std::move(owned)]() mutable {
        reactor.owner(ACE_Thread::self());
        owned.set_value();
        body();
    });
    ready.wait();
    return thread;
}

TEST(LockingGeneralReactor, RegistrationFromAnotherThreadWakesAnUnboundedWait) {
    CallLog log;
    SocketPair p;
    RecordingHandler h("h", p.local, log);
    CMTGeneralReactor reactor;
    ASSERT_EQ(reactor.open(0), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::thread loop = ownerThread(reactor, [&] {
        while (!stop.load()) {
            if (reactor.handle_events() < 0) ++failures;  // no time limit
        }
    });
    ASSERT_EQ(reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    p.send("m");
    EXPECT_TRUE(log.waitFor("h:input:m"));
    // Once removed, the handler is never called again and may be destroyed.
    EXPECT_EQ(reactor.remove_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    EXPECT_TRUE(log.waitFor("h:close:1"));
    stop = true;
    reactor.notify();
    loop.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(LockingGeneralReactor, CloseFromAnotherThreadEndsTheLoopsWait) {
    CMTGeneralReactor reactor;
    ASSERT_EQ(reactor.open(0), 0);
    std::atomic<bool> waiting{false};
    int result = 0;
    int error = 0;
    ACE_Time_Value budget(10);
    std::thread loop = ownerThread(reactor, [&] {
        waiting = true;
        // A step may still serve the wake-up before the close takes the reactor away; the
        // next one finds it closed.
        do {
            result = reactor.handle_events(&budget);
            error = errno;
        } while (result >= 0 && budget > ACE_Time_Value::zero);
    });
    ASSERT_TRUE(nbx::testing::eventually([&] { return waiting.load(); }));
    EXPECT_EQ(reactor.close(), 0);
    loop.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, ESHUTDOWN);
    EXPECT_GT(budget, ACE_Time_Value::zero);  // woken, not timed out
}

TEST(SingleThreadedGeneralReactor, EveryNotificationFromOtherThreadsWakesTheOwner) {
    CSTGeneralReactor reactor;
    ASSERT_EQ(reactor.open(0), 0);
    std::atomic<int> taken{0};
    std::thread loop = ownerThread(reactor, [&] {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        // Each step takes one wake-up from the pipe; a lost one leaves the step waiting.
        while (taken.load() < 100 && std::chrono::steady_clock::now() < end) {
            ACE_Time_Value wait(30);
            int result = reactor.handle_events(&wait);
            if (result > 0) taken += result;
        }
    });
    std::thread other([&] {
        for (int i = 0; i < 50; ++i) reactor.notify();
    });
    for (int i = 0; i < 50; ++i) reactor.notify();
    other.join();
    loop.join();
    EXPECT_EQ(taken.load(), 100);
}

}  // namespace
