#pragma once
// A task whose loop is a reactor's event loop. The task owns the reactor (an ACE_Reactor over a
// fresh R) and is itself the handler of the timers it schedules there.
//
// stop() sets the stop flag and wakes the loop with one empty notification per thread, then
// waits in two-second rounds until the task's threads have ended.

#include <ace/ACE.h>
#include <ace/OS_NS_sys_time.h>
#include <ace/Reactor.h>
#include <ace/Thread.h>
#include <ace/Time_Value.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "ace_ext/reactor_notify.h"
#include "standard/task.h"
#include "standard/throw.h"

template <class R>
class CReactorTask : public CTask<ACE_NULL_SYNCH> {
public:
    // How long one round of stop() waits for the threads before it wakes them again.
    static constexpr int kStopWaitSeconds = 2;

    CReactorTask(const std::string& name, std::uint32_t threadCount);
    ~CReactorTask() override;

    std::int32_t stop() override;
    // Runs handleEvents without a time limit, then returns the status.
    std::int32_t svcLoop() override;
    // Makes the calling thread the reactor's owner and dispatches events (each round with
    // `timeout`, none = without limit) until the stop flag is set.
    virtual int handleEvents(ACE_Time_Value* timeout);

    bool stopRequested() const { return m_stop.load(); }

protected:
    // One round of event handling with its own copy of the timeout.
    int _handleEventsOnce(const ACE_Time_Value* timeout);

    std::atomic<bool> m_stop{false};
    ACE_Reactor* m_reactor = nullptr;  // owned
};

template <class R>
CReactorTask<R>::CReactorTask(const std::string& name, std::uint32_t threadCount)
    : CTask<ACE_NULL_SYNCH>(name, threadCount) {
    R* implementation = new R;
    m_reactor = new ACE_Reactor(implementation, true);
    // Implementations that do not open themselves when constructed are opened here.
    if (!implementation->initialized() && implementation->open(ACE::max_handles()) != 0) {
        std::uint32_t code = nbx::lastError();
        delete m_reactor;
        m_reactor = nullptr;
        NBX_THROW_CODE(nbx::CException, "dhcp_sync", "CReactorTask::CReactorTask",
                       nbx::msg("Failed to create reactor."), nbx::msg("Cannot open reactor."),
                       code);
    }
    this->reactor(m_reactor);
}

template <class R>
CReactorTask<R>::~CReactorTask() {
    stop();
    if (m_reactor) {
        // The timer queue must not call back into a task that is half destroyed.
        m_reactor->cancel_timer(this, 1);
        this->reactor(nullptr);
        delete m_reactor;
        m_reactor = nullptr;
    }
}

template <class R>
std::int32_t CReactorTask<R>::stop() {
    m_stop = true;
    // On the task's own thread (a command that stops its task) the flag is all it takes: the
    // loop ends after the current dispatch, and waiting here would wait for ourselves.
    if (!m_reactor || isTaskThread()) return status();
    std::size_t threads = thr_count();
    while (threads > 0) {
        for (std::size_t i = 0; i < threads; ++i) {
            try {
                m_reactor->notify(nullptr);
            } catch (CExNotifyFull&) {
                // a full pipe wakes the loop just as well
            }
        }
        ACE_Time_Value deadline = ACE_OS::gettimeofday() + ACE_Time_Value(kStopWaitSeconds);
        thr_mgr()->wait(&deadline, false, true);
        threads = thr_count();
    }
    return status();
}

template <class R>
std::int32_t CReactorTask<R>::svcLoop() {
    handleEvents(nullptr);
    return status();
}

template <class R>
int CReactorTask<R>::handleEvents(ACE_Time_Value* timeout) {
    m_reactor->owner(ACE_Thread::self());
    while (!m_stop.load()) _handleEventsOnce(timeout);
    return 0;
}

template <class R>
int CReactorTask<R>::_handleEventsOnce(const ACE_Time_Value* timeout) {
    if (!timeout) return m_reactor->handle_events();
    ACE_Time_Value left(*timeout);
    return m_reactor->handle_events(left);
}
