#include "extended/cmd_schedule_timer.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "task_support.h"

namespace {

using namespace tasktest;
using CmdScheduleTimerTest = TaskTest;

TEST_F(CmdScheduleTimerTest, TimersFireOnceEachOnTheTaskThreadAndAThrowingHandlerIsLogged) {
    TestTask task(&controller, "v4-sync-timers");
    task.onTimeout = [](TestTask&, std::uintptr_t argument) {
        if (argument != 2) return;
        NBX_THROW_STATIC(nbx::CException, "dhcp_sync", "CTest::handle_timeout",
                         nbx::msg("Failed to dispatch timer %1.", static_cast<int>(argument)),
                         nbx::msg("Spool is locked."));
    };
    ASSERT_EQ(task.run(), 0);
    const std::uint32_t taskThread = threadOf(task);

    CExtAsyncResult<long> first(&controller);
    task.sendCommand(CAsyncCommandPtr(
        new CCmdScheduleTimer("cmd-test-first-timer", 0, 100000, 7, task.reactor(), &task, first)));
    // Through the task from any thread; the last handler throws: the failure is logged, the loop
    // goes on, and the one-shot timers before it do not come back.
    CExtAsyncResult<long> second =
        task.postScheduleTimer("cmd-test-second-timer", ACE_Time_Value(0, 300000), 9);
    task.postScheduleTimer("cmd-test-throwing-timer", ACE_Time_Value(0, 400000), 2);
    ASSERT_TRUE(first.waitFor(30s));
    ASSERT_TRUE(second.waitFor(30s));
    EXPECT_TRUE(first.succeeded());
    EXPECT_TRUE(second.succeeded());
    EXPECT_GE(*first, 0);
    EXPECT_GE(*second, 0);
    EXPECT_NE(*first, *second);
    ASSERT_TRUE(eventually([&] {
        return logged(controller.sink(), nbx::SEVERITY_ERROR,
                      "Failed to dispatch timer 2. (Spool is locked.)", "dhcp_sync");
    }));
    EXPECT_EQ(ask(task, &controller, [] { return 11L; }), 11);
    EXPECT_EQ(controller.sink().entries().size(), 1u);
    std::vector<Expiry> expiries = task.expiries();
    ASSERT_EQ(expiries.size(), 3u);
    std::sort(expiries.begin(), expiries.end(),
              [](const Expiry& a, const Expiry& b) { return a.argument < b.argument; });
    EXPECT_EQ(expiries[1].argument, 7u);
    EXPECT_EQ(expiries[2].argument, 9u);
    for (const Expiry& expiry : expiries) EXPECT_EQ(expiry.threadId, taskThread);
}

// A reactor whose timer scheduling fails the way an unsupported operation does.
class RefusingReactor : public CSTGeneralReactor {
public:
    long schedule_timer(ACE_Event_Handler*, const void*, const ACE_Time_Value&,
                        const ACE_Time_Value&) override {
        NBX_THROW(nbx::CException, "ace_ext", "CGeneralReactor::schedule_timer",
                  nbx::msg("Failed to schedule timer."), nbx::msg("Operation not supported."));
    }
};

// A reactor that gives the timer the id 0, a valid id like any other that is not negative.
class ZeroIdReactor : public CSTGeneralReactor {
public:
    long schedule_timer(ACE_Event_Handler*, const void*, const ACE_Time_Value&,
                        const ACE_Time_Value&) override {
        return 0;
    }
};

TEST_F(CmdScheduleTimerTest, FailedScheduleLandsInTheResultNotInTheLog) {
    TestTask task(&controller, "v4-sync-timer-failure");
    ASSERT_EQ(task.run(), 0);

    ACE_Reactor closed(new CSTGeneralReactor, true);
    closed.close();
    ACE_Reactor refusing(new RefusingReactor, true);
    struct Case {
        const char* what;
        ACE_Reactor* reactor;
        std::string text;
        std::string module;
        std::string function;
        std::uint32_t errorCode;
    };
    const Case cases[] = {
        {"closed reactor", &closed,
         "Failed to schedule a timer command. (" + nbx::CException::errorText(ESHUTDOWN) + ")",
         "extended", "CCmdScheduleTimer::execute", ESHUTDOWN},
        {"reactor that throws", &refusing, "Failed to schedule timer. (Operation not supported.)",
         "ace_ext", "CGeneralReactor::schedule_timer", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CExtAsyncResult<long> result(&controller);
        *result = -5;
        task.sendCommand(CAsyncCommandPtr(
            new CCmdScheduleTimer("cmd-test-bad-timer", 1, 0, 3, c.reactor, &task, result)));
        ASSERT_TRUE(result.waitFor(30s));
        EXPECT_FALSE(result.succeeded());
        EXPECT_EQ(*result, -5);
        ASSERT_EQ(result.exceptions().count(), 1u);
        nbx::CException record(*result.exceptions().outer());
        EXPECT_EQ(record.text(), c.text);
        EXPECT_EQ(record.module(), c.module);
        EXPECT_EQ(record.function(), c.function);
        EXPECT_EQ(record.errorCode(), c.errorCode);
        EXPECT_EQ(record.severity(), nbx::SEVERITY_ERROR);
    }
    ACE_Reactor zeroId(new ZeroIdReactor, true);
    CExtAsyncResult<long> scheduled(&controller);
    task.sendCommand(CAsyncCommandPtr(
        new CCmdScheduleTimer("cmd-test-zero-timer", 1, 0, 3, &zeroId, &task, scheduled)));
    ASSERT_TRUE(scheduled.waitFor(30s));
    EXPECT_TRUE(scheduled.succeeded());
    EXPECT_EQ(*scheduled, 0);

    // The records went to the results only: the task's stack was emptied, not flushed.
    EXPECT_TRUE(controller.sink().entries().empty());
    EXPECT_EQ(ask(task, &controller,
                  [&] { return static_cast<long>(controller.exceptionFacade().count()); }),
              0);
    EXPECT_TRUE(task.expiries().empty());
}

}  // namespace
