#pragma once
// The command by which a task arms one of its own timers: posted to the task's queue from any
// thread, it schedules a one-shot timer on the task's reactor when it runs on the task's thread,
// the only thread that may touch that reactor. The timer id (or the failure) lands in the
// result; nobody has to wait for it.

#include <ace/Event_Handler.h>
#include <ace/Reactor.h>
#include <ace/Time_Value.h>

#include <cstdint>
#include <string>

#include "extended/async_command.h"
#include "extended/async_result.h"

class CCmdScheduleTimer : public CAsyncCommand {
public:
    // `timerArgument` comes back to handler->handle_timeout as its second argument. Reactor
    // and handler are not owned.
    CCmdScheduleTimer(const std::string& name, std::uint32_t delaySeconds,
                      std::uint32_t delayMicroseconds, std::uintptr_t timerArgument,
                      ACE_Reactor* reactor, ACE_Event_Handler* handler,
                      const CExtAsyncResult<long>& result);
    CCmdScheduleTimer(const std::string& name, const ACE_Time_Value& delay,
                      std::uintptr_t timerArgument, ACE_Reactor* reactor,
                      ACE_Event_Handler* handler, const CExtAsyncResult<long>& result);
    ~CCmdScheduleTimer() override;

    bool runsInReactor() const override { return true; }
    // Schedules the timer. Never throws: a failure goes into the result's exception stack and
    // clears its success flag.
    void execute(std::uint32_t threadIndex) override;
    void complete() override;

    const CExtAsyncResult<long>& result() const { return m_result; }

private:
    std::uint32_t m_delaySeconds;
    std::uint32_t m_delayMicroseconds;
    std::uintptr_t m_timerArgument;
    ACE_Reactor* m_reactor;        // not owned
    ACE_Event_Handler* m_handler;  // not owned
    CExtAsyncResult<long> m_result;
};
