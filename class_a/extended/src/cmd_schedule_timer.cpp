#include "extended/cmd_schedule_timer.h"

#include "standard/throw.h"

namespace {
constexpr const char* kModule = "extended";
}

CCmdScheduleTimer::CCmdScheduleTimer(const std::string& name, std::uint32_t delaySeconds,
                                     std::uint32_t delayMicroseconds, std::uintptr_t timerArgument,
                                     ACE_Reactor* reactor, ACE_Event_Handler* handler,
                                     const CExtAsyncResult<long>& result)
    : CAsyncCommand(name),
      m_delaySeconds(delaySeconds),
      m_delayMicroseconds(delayMicroseconds),
      m_timerArgument(timerArgument),
      m_reactor(reactor),
      m_handler(handler),
      m_result(result) {}

CCmdScheduleTimer::CCmdScheduleTimer(const std::string& name, const ACE_Time_Value& delay,
                                     std::uintptr_t timerArgument, ACE_Reactor* reactor,
                                     ACE_Event_Handler* handler,
                                     const CExtAsyncResult<long>& result)
    : CCmdScheduleTimer(name, static_cast<std::uint32_t>(delay.sec()),
                        static_cast<std::uint32_t>(delay.usec()), timerArgument, reactor, handler,
                        result) {}

CCmdScheduleTimer::~CCmdScheduleTimer() = default;

void CCmdScheduleTimer::execute(std::uint32_t) {
    nbx::CIExceptionFacade& facade = m_result.controller()->exceptionFacade();
    try {
        ACE_Time_Value delay(static_cast<time_t>(m_delaySeconds),
                             static_cast<suseconds_t>(m_delayMicroseconds));
        long id = m_reactor->schedule_timer(
            m_handler, reinterpret_cast<const void*>(m_timerArgument), delay, ACE_Time_Value::zero);
        if (id >= 0) {
            *m_result = id;
            m_result.setSucceeded(true);
            return;
        }
        nbx::CException failure = nbx::makeException(
            NBX_SITE(kModule, "CCmdScheduleTimer::execute"),
            nbx::msg("Failed to schedule a timer command."), nbx::CMessage(), nbx::lastError());
        failure.report(&facade);
    } catch (nbx::CException& exception) {
        exception.report(&facade);
    }
    // Hand the thread's records to the waiter instead of the log: the task goes on either way.
    for (const nbx::CExceptionPtr& record : facade.exceptions()) m_result.exceptions().push(record);
    m_result.setSucceeded(false);
    facade.clear();
}

void CCmdScheduleTimer::complete() {
    m_result.signal();
}
