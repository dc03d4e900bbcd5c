#include "ace_ext/general_reactor.h"

#include <ace/Reactor.h>
#include <ace/Select_Reactor_Base.h>
#include <ace/Signal.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "reactor_test_support.h"

using reactor_test::CallLog;
using reactor_test::failure;
using reactor_test::RecordingHandler;
using reactor_test::SocketPair;

namespace {

const std::string kAllEvents = std::to_string(ACE_Event_Handler::ALL_EVENTS_MASK);

template <class R>
class GeneralReactorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(reactor.open(0), 0); }

    SocketPair& pair() {
        pairs.push_back(std::make_unique<SocketPair>());
        return *pairs.back();
    }
    RecordingHandler& handler(const std::string& name, ACE_HANDLE handle = ACE_INVALID_HANDLE) {
        handlers.push_back(std::make_unique<RecordingHandler>(name, handle, log));
        return *handlers.back();
    }
    int step(int milliseconds) {
        ACE_Time_Value wait(0, milliseconds * 1000);
        return reactor.handle_events(&wait);
    }
    // Runs steps until `done` holds (10 s at most); false when a step failed or time ran out.
    bool runUntil(const std::function<bool()>& done) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < end) {
            if (step(20) < 0) return false;
        }
        return done();
    }

    // Declared before the reactor: its close (in its destructor) still reaches them.
    CallLog log;
    std::deque<std::unique_ptr<SocketPair>> pairs;
    std::deque<std::unique_ptr<RecordingHandler>> handlers;
    R reactor;
};

using Reactors = ::testing::Types<CSTGeneralReactor, CMTGeneralReactor>;
TYPED_TEST_SUITE(GeneralReactorTest, Reactors);

// ------------------------------------------------------------------------------------ opening

TYPED_TEST(GeneralReactorTest, OpenChecksItsArgumentsAndOpensOnce) {
    TypeParam fresh;
    ACE_Select_Reactor_Notify foreign;
    struct Case {
        const char* name;
        int disablePipe;
        ACE_Reactor_Notify* notifyHandler;
        const char* reason;
    } const cases[] = {
        {"notify handler", 0, &foreign, "Notify handler must be null."},
        {"pipe disabled", 1, nullptr, "Notify pipe must be zero."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto e = failure(
            [&] { fresh.open(0, false, nullptr, nullptr, c.disablePipe, c.notifyHandler); });
        EXPECT_EQ(e.message, "Failed to open reactor.");
        EXPECT_EQ(e.reason, c.reason);
        EXPECT_EQ(e.function, "CGeneralReactor::open");
        EXPECT_EQ(e.module, "ace_ext");
        // Still closed: there is no pipe to notify.
        EXPECT_EQ(failure([&] { fresh.notify(); }).reason, "The reactor does not exist.");
    }
    EXPECT_EQ(fresh.open(0), 0);
    EXPECT_EQ(fresh.notify(), 0);
    EXPECT_EQ(fresh.open(0), -1);
    // Closed, it can be opened again (ACE's meaning).
    EXPECT_EQ(fresh.close(), 0);
    EXPECT_EQ(failure([&] { fresh.notify(); }).reason, "The reactor does not exist.");
    EXPECT_EQ(fresh.open(0), 0);
    ACE_Time_Value wait(5);
    EXPECT_EQ(fresh.notify(), 0);
    EXPECT_EQ(fresh.handle_events(&wait), 1);
}

TYPED_TEST(GeneralReactorTest, UnsupportedOperationsThrow) {
    ACE_Reactor_Impl& impl = this->reactor;
    RecordingHandler& h = this->handler("h", this->pair().local);
    const ACE_HANDLE handle = h.get_handle();
    ACE_Event_Handler* found = nullptr;
    ACE_Sig_Set signals;
    size_t size = 0;
    const std::string unsupported = " | Operation not supported. | CGeneralReactor::";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { impl.current_info(handle, size); },
         "Failed to query reactor." + unsupported + "current_info"},
        {[&] { impl.dump(); }, "Failed to dump reactor." + unsupported + "dump"},
        {[&] { impl.handler(handle, ACE_Event_Handler::READ_MASK, &found); },
         "Failed to find handler." + unsupported + "handler"},
        {[&] { impl.register_handler(SIGUSR1, &h); },
         "Failed to register reactor signal handler." + unsupported + "register_handler"},
        {[&] { impl.register_handler(signals, &h); },
         "Failed to register reactor handler." + unsupported + "register_handler"},
        {[&] { impl.resumable_handler(); },
         "Failed to query reactor suspension state." + unsupported + "notify"},
        {[&] { impl.notify(&h, ACE_Event_Handler::READ_MASK); },
         "Failed to notify reactor handler." + unsupported + "notify"},
        {[&] { impl.lock(); },
         "Invalid reactor lock call. | Method is deprecated. | CGeneralReactor::lock"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        const auto e = failure(c.first);
        EXPECT_EQ(e.text() + " | " + e.function, c.second);
        EXPECT_EQ(e.module, "ace_ext");
        EXPECT_EQ(e.severity, nbx::SEVERITY_ERROR);
    }
    // No signal handler can have been registered, so removing one fails.
    EXPECT_EQ(impl.remove_handler(SIGUSR1, nullptr), -1);
    EXPECT_EQ(impl.remove_handler(signals), -1);
}

// ------------------------------------------------------------------------------ input, output

TYPED_TEST(GeneralReactorTest, ReadyHandlesAreServedInRegistrationOrder) {
    SocketPair& first = this->pair();
    SocketPair& second = this->pair();
    SocketPair& third = this->pair();
    // Registered against descriptor order.
    RecordingHandler& c = this->handler("c", third.local);
    RecordingHandler& a = this->handler("a", first.local);
    RecordingHandler& b = this->handler("b", second.local);
    for (RecordingHandler* h : {&c, &a, &b}) {
        ASSERT_EQ(this->reactor.register_handler(h, ACE_Event_Handler::READ_MASK), 0);
    }
    first.send("1");
    second.send("2");
    third.send("3");
    EXPECT_EQ(this->step(5000), 3);
    EXPECT_EQ(this->log.entries(),
              std::vector<std::string>({"c:input:3", "a:input:1", "b:input:2"}));

    // Registered anew, a handle goes to the end.
    this->log.clear();
    ASSERT_EQ(this->reactor.remove_handler(
                  &c, ACE_Event_Handler::READ_MASK | ACE_Event_Handler::DONT_CALL),
              0);
    ASSERT_EQ(this->reactor.register_handler(&c, ACE_Event_Handler::READ_MASK), 0);
    third.send("3");
    first.send("1");
    second.send("2");
    EXPECT_EQ(this->step(5000), 3);
    EXPECT_EQ(this->log.entries(),
              std::vector<std::string>({"a:input:1", "b:input:2", "c:input:3"}));

    // A handler removed by an earlier callback of the same step is not called.
    this->log.clear();
    a.onInput = [&] { return this->reactor.remove_handler(&b, ACE_Event_Handler::READ_MASK); };
    first.send("1");
    second.send("2");
    EXPECT_EQ(this->step(5000), 1);
    EXPECT_EQ(this->log.entries(), std::vector<std::string>({"a:input:1", "b:close:1"}));
}

TYPED_TEST(GeneralReactorTest, NegativeReturnRemovesOnlyTheMaskOfItsCallback) {
    SocketPair& p = this->pair();
    SocketPair& q = this->pair();
    RecordingHandler& w = this->handler("w", p.local);
    RecordingHandler& r = this->handler("r", q.local);
    w.onOutput = [] { return -1; };
    r.onInput = [] { return -1; };
    ASSERT_EQ(this->reactor.register_handler(&w, ACE_Event_Handler::WRITE_MASK), 0);
    ASSERT_EQ(this->reactor.register_handler(
                  &r, ACE_Event_Handler::READ_MASK | ACE_Event_Handler::EXCEPT_MASK),
              0);
    q.send("x");
    EXPECT_EQ(this->step(5000), 2);
    // Removed with handle_close (ACE's way).
    EXPECT_EQ(this->log.entries(),
              std::vector<std::string>({"w:output", "w:close:2", "r:input:x", "r:close:1"}));
    EXPECT_EQ(
        failure([&] { this->reactor.remove_handler(&w, ACE_Event_Handler::WRITE_MASK); }).reason,
        "No such handle.");
    // Still registered for exceptions only: new data is not dispatched.
    EXPECT_EQ(this->reactor.mask_ops(&r, 0, ACE_Reactor::GET_MASK),
              static_cast<int>(ACE_Event_Handler::EXCEPT_MASK));
    q.send("y");
    EXPECT_EQ(this->step(50), 0);
}

TYPED_TEST(GeneralReactorTest, RegistrationTakesOnlyWaitableMasks) {
    SocketPair& p = this->pair();
    RecordingHandler& h = this->handler("h", p.local);
    const auto e =
        failure([&] { this->reactor.register_handler(&h, ACE_Event_Handler::ALL_EVENTS_MASK); });
    EXPECT_EQ(e.text(), "Failed to apply reactor mask. | Invalid mask.");
    EXPECT_EQ(this->reactor.find_handler(p.local), nullptr);  // nothing was registered
    EXPECT_EQ(this->reactor.register_handler(nullptr, ACE_Event_Handler::READ_MASK), -1);
    RecordingHandler& invalidHandle = this->handler("bad");
    EXPECT_EQ(this->reactor.register_handler(&invalidHandle, ACE_Event_Handler::READ_MASK), -1);
    // ACE's accept mask waits for input.
    ASSERT_EQ(this->reactor.register_handler(&h, ACE_Event_Handler::ACCEPT_MASK), 0);
    // The same handle cannot serve a second handler.
    RecordingHandler& other = this->handler("other", p.local);
    EXPECT_EQ(this->reactor.register_handler(&other, ACE_Event_Handler::READ_MASK), -1);
    p.send("a");
    EXPECT_EQ(this->step(5000), 1);
    EXPECT_EQ(this->log.entries(), std::vector<std::string>({"h:input:a"}));
    ASSERT_EQ(this->reactor.remove_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    const auto absent =
        failure([&] { this->reactor.remove_handler(&h, ACE_Event_Handler::READ_MASK); });
    EXPECT_EQ(absent.text(), "Failed to delete reactor event handle. | No such handle.");
    EXPECT_EQ(absent.function, "CReactorHandleSet::_deleteEventHandle");
    EXPECT_EQ(this->log.entries(), std::vector<std::string>({"h:input:a", "h:close:1"}));
}

TYPED_TEST(GeneralReactorTest, SizeCapsTheRegistrations) {
    TypeParam small;
    ASSERT_EQ(small.open(2), 0);  // its own pipe and one more
    EXPECT_EQ(small.size(), 2u);
    SocketPair& first = this->pair();
    SocketPair& second = this->pair();
    RecordingHandler& a = this->handler("a", first.local);
    RecordingHandler& b = this->handler("b", second.local);
    EXPECT_EQ(small.register_handler(&a, ACE_Event_Handler::READ_MASK), 0);
    EXPECT_EQ(small.register_handler(&b, ACE_Event_Handler::READ_MASK), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(small.remove_handler(&a, ACE_Event_Handler::READ_MASK), 0);
    EXPECT_EQ(small.register_handler(&b, ACE_Event_Handler::READ_MASK), 0);
    EXPECT_EQ(this->log.entries(), std::vector<std::string>({"a:close:1"}));
    small.remove_handler(&b, ACE_Event_Handler::READ_MASK | ACE_Event_Handler::DONT_CALL);
}

TYPED_TEST(GeneralReactorTest, SuspendedHandlerWaitsUntilResumed) {
    SocketPair& p = this->pair();
    RecordingHandler& h = this->handler("h", p.local);
    ASSERT_EQ(this->reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    // Suspending all handlers keeps the reactor's own pipe.
    ASSERT_EQ(this->reactor.suspend_handlers(), 0);
    p.send("s");
    EXPECT_EQ(this->reactor.notify(), 0);
    EXPECT_EQ(this->step(5000), 1);  // the wake-up, not the suspended handler
    EXPECT_TRUE(this->log.entries().empty());
    ASSERT_EQ(this->reactor.resume_handlers(), 0);
    ASSERT_EQ(this->reactor.suspend_handler(&h), 0);
    EXPECT_EQ(this->step(50), 0);
    ASSERT_EQ(this->reactor.resume_handlers(), 0);
    EXPECT_EQ(this->step(5000), 1);
    EXPECT_EQ(this->log.entries(), std::vector<std::string>({"h:input:s"}));
    EXPECT_EQ(this->reactor.suspend_handler(this->pair().local), -1);  // not registered
}

TYPED_TEST(GeneralReactorTest, WakeupsAndReadyBitsSteerTheDispatch) {
    SocketPair& p = this->pair();
    RecordingHandler& h = this->handler("h", p.local);
    ASSERT_EQ(this->reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    // Ready bits set by hand: nothing arrived, yet the step serves the handler at once.
    EXPECT_EQ(this->reactor.ready_ops(&h, ACE_Event_Handler::READ_MASK, ACE_Reactor::SET_MASK), 0);
    EXPECT_EQ(this->step(5000), 1);
    EXPECT_EQ(this->reactor.ready_ops(&h, 0, ACE_Reactor::GET_MASK), 0);  // taken by the step
    EXPECT_EQ(this->reactor.cancel_wakeup(&h, ACE_Event_Handler::READ_MASK),
              static_cast<int>(ACE_Event_Handler::READ_MASK));
    p.send("w");
    EXPECT_EQ(this->step(50), 0);
    EXPECT_EQ(this->reactor.schedule_wakeup(&h, ACE_Event_Handler::READ_MASK), 0);
    EXPECT_EQ(this->step(5000), 1);
    EXPECT_EQ(this->log.entries(), std::vector<std::string>({"h:input:", "h:input:w"}));
    EXPECT_EQ(this->reactor.mask_ops(this->pair().local, 0, ACE_Reactor::GET_MASK), -1);
}

// ------------------------------------------------------------------------------------- timers

TYPED_TEST(GeneralReactorTest, OneShotTimersFireOnceEachUnlessCancelled) {
    RecordingHandler& t = this->handler("t");
    RecordingHandler& byId = this->handler("id");
    RecordingHandler& byHandler = this->handler("handler");
    RecordingHandler& sentinel = this->handler("s");
    ASSERT_NE(this->reactor.schedule_timer(&t, "first", ACE_Time_Value(0, 20000)), -1);
    ASSERT_NE(this->reactor.schedule_timer(&t, "second", ACE_Time_Value(0, 40000)), -1);
    long id = this->reactor.schedule_timer(&byId, "gone", ACE_Time_Value(0, 30000));
    ASSERT_NE(id, -1);
    ASSERT_NE(this->reactor.schedule_timer(&byHandler, "one", ACE_Time_Value(0, 30000)), -1);
    ASSERT_NE(this->reactor.schedule_timer(&byHandler, "two", ACE_Time_Value(0, 40000)), -1);
    ASSERT_NE(this->reactor.schedule_timer(&sentinel, "end", ACE_Time_Value(0, 150000)), -1);
    const void* arg = nullptr;
    EXPECT_EQ(this->reactor.cancel_timer(id, &arg), 1);
    EXPECT_STREQ(static_cast<const char*>(arg), "gone");
    EXPECT_EQ(this->reactor.cancel_timer(id), 0);  // already gone
    EXPECT_EQ(this->reactor.cancel_timer(&byHandler), 2);
    ASSERT_TRUE(this->runUntil([&] { return this->log.count("s:timeout:end") == 1; }));
    EXPECT_EQ(this->log.entries(),
              std::vector<std::string>({"t:timeout:first", "t:timeout:second", "s:timeout:end"}));
}

TYPED_TEST(GeneralReactorTest, IntervalTimersRepeatUntilCancelledOrDeclined) {
    RecordingHandler& tick = this->handler("tick");
    RecordingHandler& once = this->handler("once");
    RecordingHandler& reset = this->handler("reset");
    RecordingHandler& sentinel = this->handler("s");
    once.onTimeout = [] { return -1; };
    const ACE_Time_Value soon(0, 5000);
    const ACE_Time_Value interval(0, 10000);
    long id = this->reactor.schedule_timer(&tick, "", soon, interval);
    ASSERT_NE(id, -1);
    ASSERT_NE(this->reactor.schedule_timer(&once, "", soon, interval), -1);
    long resetId = this->reactor.schedule_timer(&reset, "", soon);
    ASSERT_NE(resetId, -1);
    ASSERT_EQ(this->reactor.reset_timer_interval(resetId, interval), 0);
    ASSERT_TRUE(this->runUntil([&] {
        return this->log.count("tick:timeout:") >= 3 && this->log.count("reset:timeout:") >= 2;
    }));
    EXPECT_EQ(this->reactor.cancel_timer(id), 1);
    EXPECT_EQ(this->reactor.cancel_timer(&reset), 1);
    const std::size_t ticks = this->log.count("tick:timeout:");
    ASSERT_NE(this->reactor.schedule_timer(&sentinel, "end", ACE_Time_Value(0, 100000)), -1);
    ASSERT_TRUE(this->runUntil([&] { return this->log.count("s:timeout:end") == 1; }));
    EXPECT_EQ(this->log.count("tick:timeout:"), ticks);
    // A timeout that returns -1 ends its timer, with handle_close.
    EXPECT_EQ(this->log.count("once:timeout:"), 1u);
    EXPECT_EQ(this->log.count("once:close:" + std::to_string(ACE_Event_Handler::TIMER_MASK)), 1u);
}

// ------------------------------------------------------------------ notification, ownership

TYPED_TEST(GeneralReactorTest, NotifyFromAnotherThreadWakesAnUnboundedWait) {
    SocketPair& idle = this->pair();
    SocketPair& watchdog = this->pair();
    RecordingHandler& h = this->handler("idle", idle.local);
    RecordingHandler& dog = this->handler("watchdog", watchdog.local);
    ASSERT_EQ(this->reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    ASSERT_EQ(this->reactor.register_handler(&dog, ACE_Event_Handler::READ_MASK), 0);
    std::promise<void> done;
    std::thread other([&, finished = done.get_future()] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        this->reactor.notify();
        // Should the notification not wake the loop, the watchdog ends the wait.
        if (finished.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            watchdog.send("timeout");
        }
    });
    int result = this->reactor.handle_events();  // no time limit
    done.set_value();
    other.join();
    EXPECT_EQ(result, 1);
    // A null notification dispatches nothing else.
    EXPECT_TRUE(this->log.entries().empty());
}

TYPED_TEST(GeneralReactorTest, OnlyTheOwnerThreadRunsTheLoop) {
    int result = 0;
    int error = 0;
    ACE_thread_t otherId{};
    std::thread([&] {
        ACE_Time_Value none = ACE_Time_Value::zero;
        result = this->reactor.handle_events(&none);
        error = errno;
        otherId = ACE_Thread::self();
    }).join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, EACCES);

    ACE_thread_t previous{};
    ASSERT_EQ(this->reactor.owner(otherId, &previous), 0);
    EXPECT_TRUE(ACE_OS::thr_equal(previous, ACE_Thread::self()));
    ACE_Time_Value none = ACE_Time_Value::zero;
    EXPECT_EQ(this->reactor.handle_events(&none), -1);  // no longer ours
    std::thread([&] {
        ACE_thread_t self = ACE_Thread::self();
        this->reactor.owner(self);
        ACE_Time_Value wait(0, 10000);
        result = this->reactor.handle_events(&wait);
    }).join();
    EXPECT_EQ(result, 0);
}

TYPED_TEST(GeneralReactorTest, DeactivatedReactorRefusesSteps) {
    this->reactor.deactivate(1);
    EXPECT_EQ(this->reactor.deactivated(), 1);
    EXPECT_EQ(this->step(5000), -1);
    EXPECT_EQ(errno, ESHUTDOWN);
    this->reactor.deactivate(0);
    EXPECT_EQ(this->step(5000), 1);  // the wake-up that deactivate wrote
    EXPECT_EQ(this->step(10), 0);
}

TYPED_TEST(GeneralReactorTest, ClosedButRegisteredSocketEndsTheStepInsteadOfSpinning) {
    SocketPair& p = this->pair();
    RecordingHandler& h = this->handler("gone", p.local);
    ASSERT_EQ(this->reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    ::close(p.local);
    p.local = -1;
    EXPECT_EQ(this->step(5000), -1);
    EXPECT_EQ(errno, EBADF);
    // The invalid registration is gone (handle_close told its handler), so the next step waits.
    EXPECT_EQ(this->log.entries(), std::vector<std::string>({"gone:close:" + kAllEvents}));
    EXPECT_EQ(this->step(20), 0);
    EXPECT_EQ(this->reactor.notify(), 0);
    EXPECT_EQ(this->step(5000), 1);
}

// A handler whose handle_close runs a hook.
struct CloseHook : ACE_Event_Handler {
    ACE_HANDLE handle = ACE_INVALID_HANDLE;
    std::function<int()> hook;
    ACE_HANDLE get_handle() const override { return handle; }
    int handle_close(ACE_HANDLE, ACE_Reactor_Mask) override { return hook(); }
};

TYPED_TEST(GeneralReactorTest, CloseClosesEveryHandlerEvenThoseThatRemoveThemselvesOrThrow) {
    RecordingHandler& first = this->handler("first", this->pair().local);
    // The habit of ACE's service handlers: handle_close removes the handler once more.
    CloseHook selfRemoving;
    selfRemoving.handle = this->pair().local;
    selfRemoving.hook = [&] {
        int removed = this->reactor.remove_handler(
            &selfRemoving, ACE_Event_Handler::ALL_EVENTS_MASK | ACE_Event_Handler::DONT_CALL);
        this->log.add("self:close:" + std::to_string(removed));  // gone already: -1, no throw
        return 0;
    };
    CloseHook throwing;
    throwing.handle = this->pair().local;
    throwing.hook = [&]() -> int {
        this->log.add("throwing:close");
        throw nbx::CException();
    };
    RecordingHandler& last = this->handler("last", this->pair().local);
    for (ACE_Event_Handler* h :
         std::vector<ACE_Event_Handler*>{&first, &selfRemoving, &throwing, &last}) {
        ASSERT_EQ(this->reactor.register_handler(h, ACE_Event_Handler::READ_MASK), 0);
    }
    RecordingHandler& t = this->handler("t");
    ASSERT_NE(this->reactor.schedule_timer(&t, "late", ACE_Time_Value(60)), -1);
    EXPECT_EQ(this->reactor.close(), -1);  // one handler failed, yet all were closed
    EXPECT_EQ(
        this->log.entries(),
        std::vector<std::string>({"first:close:" + kAllEvents, "self:close:-1", "throwing:close",
                                  "last:close:" + kAllEvents,
                                  "t:close:" + std::to_string(ACE_Event_Handler::TIMER_MASK)}));
    EXPECT_EQ(failure([&] { this->reactor.notify(); }).reason, "The reactor does not exist.");
    EXPECT_EQ(this->step(10), -1);
    EXPECT_EQ(this->reactor.schedule_timer(&t, "x", ACE_Time_Value(1)), -1);
    EXPECT_EQ(this->reactor.close(), 0);
}

TYPED_TEST(GeneralReactorTest, DispatchOfADescriptorTheReactorNeverHadThrows) {
    SocketPair& p = this->pair();
    RecordingHandler& h = this->handler("h", p.local);
    ASSERT_EQ(this->reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
    auto& dispatch = this->reactor.implPolicy().dispatchPolicy();
    const auto e = failure([&] {
        dispatch.dispatch({{p.local, 1000000, ACE_Event_Handler::READ_MASK}});
    });
    EXPECT_EQ(e.message, "Failed to notify reactor callback.");
    EXPECT_EQ(e.reason, "No such descriptor.");
    EXPECT_EQ(e.function, "CReactorDispatchPolicy::_notifyHandle");
    EXPECT_TRUE(this->log.entries().empty());
}

// ------------------------------------------------------------------------- single instances

TEST(GeneralReactorFacade, WorksBehindAceReactor) {
    CallLog log;
    SocketPair p;
    RecordingHandler h("f", p.local, log);
    int timeouts = 0;
    h.onTimeout = [&] { return ++timeouts == 2 ? -1 : 0; };
    {
        ACE_Reactor reactor(new CSTGeneralReactor, true);
        ASSERT_EQ(reactor.open(0), 0);
        EXPECT_EQ(reactor.open(0), -1);
        ASSERT_EQ(reactor.register_handler(&h, ACE_Event_Handler::READ_MASK), 0);
        EXPECT_EQ(h.reactor(), &reactor);
        ASSERT_NE(
            reactor.schedule_timer(&h, "tick", ACE_Time_Value(0, 1000), ACE_Time_Value(0, 5000)),
            -1);
        p.send("facade");
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (log.count("f:close:32") == 0 && std::chrono::steady_clock::now() < end) {
            ACE_Time_Value wait(0, 20000);
            ASSERT_GE(reactor.handle_events(wait), 0);
        }
        EXPECT_EQ(log.count("f:input:facade"), 1u);
        // The second timeout returned -1: the facade cancelled the timer (handle_close).
        EXPECT_EQ(log.count("f:timeout:tick"), 2u);
        EXPECT_EQ(log.count("f:close:32"), 1u);
        EXPECT_EQ(reactor.notify(), 0);
        ACE_Time_Value wait(5);
        EXPECT_EQ(reactor.handle_events(wait), 1);
        log.clear();
    }
    // The facade's destructor closed the reactor, which closed the handler.
    EXPECT_EQ(log.entries(), std::vector<std::string>({"f:close:" + kAllEvents}));
}

std::atomic<int> g_signals{0};
void countSignal(int) {
    ++g_signals;
}

TEST(GeneralReactorWait, SignalDuringTheWaitIsRetriedWithTheTimeLeft) {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = countSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the poll returns EINTR
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    g_signals = 0;

    CallLog log;
    RecordingHandler t("t", ACE_INVALID_HANDLE, log);
    CSTGeneralReactor reactor;
    ASSERT_EQ(reactor.open(0), 0);
    ASSERT_NE(reactor.schedule_timer(&t, "after", ACE_Time_Value(0, 200000)), -1);
    pthread_t self = ::pthread_self();
    std::thread other([self] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::pthread_kill(self, SIGUSR1);
    });
    ACE_Time_Value wait(5);
    int result = reactor.handle_events(&wait);
    other.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(g_signals.load(), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(log.entries(), std::vector<std::string>({"t:timeout:after"}));
}

TEST(GeneralReactorTimerQueue, TakesOnlyAceEventHandlerQueues) {
    CallLog log;
    RecordingHandler t("t", ACE_INVALID_HANDLE, log);
    ACE_Timer_Heap heap;
    ACE_Timer_Heap other;  // queues the reactor does not own outlive it
    CSTGeneralReactor reactor;
    ASSERT_EQ(reactor.open(0, false, nullptr, &heap), 0);
    EXPECT_EQ(reactor.timer_queue(), &heap);
    ASSERT_NE(reactor.schedule_timer(&t, "own", ACE_Time_Value(60)), -1);
    EXPECT_FALSE(heap.is_empty());  // scheduled on the caller's queue
    EXPECT_EQ(reactor.timer_queue(&other), 0);
    EXPECT_EQ(reactor.timer_queue(), &other);
    EXPECT_TRUE(heap.is_empty());  // the previous queue was closed: its timer ended
    EXPECT_EQ(log.entries(), std::vector<std::string>(
                                 {"t:close:" + std::to_string(ACE_Event_Handler::TIMER_MASK)}));
    // Setting the current queue again keeps it.
    EXPECT_EQ(reactor.timer_queue(&other), 0);
    EXPECT_EQ(reactor.timer_queue(), &other);
    ASSERT_NE(reactor.schedule_timer(&t, "kept", ACE_Time_Value(0, 1000)), -1);
    ACE_Time_Value wait(5);
    EXPECT_EQ(reactor.handle_events(&wait), 1);
    EXPECT_EQ(log.count("t:timeout:kept"), 1u);
}

}  // namespace
