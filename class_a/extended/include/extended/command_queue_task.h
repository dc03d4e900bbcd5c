#pragma once
// A reactor task with a command queue. Any thread posts commands with sendCommand(); they
// travel through the reactor's notification pipe and run one at a time on the task's thread,
// between the task's other handlers and timers, so task state needs no locks.
//
// The queue has no count limit of its own: it holds what the pipe holds, and a full pipe is
// reported to the sender at once (CExQueueFull, "Command queue overflow.") instead of blocking.

#include <cstdint>
#include <memory>
#include <string>

#include "extended/async_command.h"
#include "extended/async_result.h"
#include "extended/cmd_schedule_timer.h"
#include "extended/command_notify.h"
#include "extended/command_queue_task_handler.h"
#include "extended/master_controller.h"
#include "extended/reactor_task.h"
#include "extended/report_exception.h"
#include "standard/throw.h"

NBX_DECLARE_EXCEPTION(CExQueueFull, nbx::CException);

class CICommandQueueTask {
public:
    virtual ~CICommandQueueTask() = default;
    // Posts a command; throws CExQueueFull when the queue cannot take it (the sender keeps its
    // reference, the queue has none).
    virtual void sendCommand(const CAsyncCommandPtr& command) = 0;
    virtual const std::string& name() const = 0;
    // Offers a command that arrived on the task's thread. Returning true takes over `command`
    // (the queue's reference): the task must execute it through `handler` or delete it.
    virtual bool acceptCommand(CICommandQueueTaskHandler* handler, CAsyncCommandPtr* command) = 0;
    // Index of the calling thread in the task; throws "No such index." on other threads.
    virtual std::uint32_t threadIndex() const = 0;
};

template <class R, class SYNCH = ACE_NULL_SYNCH>
class CCommandQueueTask : public CReactorTask<R>, public CICommandQueueTask {
public:
    using CTask<ACE_NULL_SYNCH>::threadIndex;

    // `controller` is not owned and must outlive the task.
    CCommandQueueTask(nbx::CIMasterController* controller, const std::string& name,
                      std::uint32_t threadCount);
    // Stops the task if it still runs, then deletes the commands still queued.
    ~CCommandQueueTask() override;

    // Opens the command queue on the task's reactor, then starts the task.
    std::int32_t run() override;
    void sendCommand(const CAsyncCommandPtr& command) override;
    const std::string& name() const override { return CTask<ACE_NULL_SYNCH>::name(); }
    bool acceptCommand(CICommandQueueTaskHandler*, CAsyncCommandPtr*) override { return false; }
    std::uint32_t threadIndex() const override { return threadIndex(nbx::currentThreadId()); }
    void registerThread() override;
    void unregisterThread() override;
    // Like the reactor task's loop, but a handler's nbx::CException is logged and the loop
    // goes on.
    int handleEvents(ACE_Time_Value* timeout) override;

    // Arms a one-shot timer of this task from any thread: posts a CCmdScheduleTimer to the
    // task itself, so that the timer is scheduled on the thread that owns the reactor. The
    // task's handle_timeout receives `timerArgument`. Nobody needs to wait for the result.
    CExtAsyncResult<long> postScheduleTimer(const std::string& commandName,
                                            const ACE_Time_Value& delay,
                                            std::uintptr_t timerArgument);

    nbx::CIMasterController* controller() const { return m_controller; }

protected:
    void _report(nbx::CException& exception);

    nbx::CIMasterController* m_controller;  // not owned
    std::unique_ptr<CCommandNotify> m_notify;
};

template <class R, class SYNCH>
CCommandQueueTask<R, SYNCH>::CCommandQueueTask(nbx::CIMasterController* controller,
                                               const std::string& name, std::uint32_t threadCount)
    : CReactorTask<R>(name, threadCount), m_controller(controller) {}

template <class R, class SYNCH>
CCommandQueueTask<R, SYNCH>::~CCommandQueueTask() {
    this->stop();
    if (m_notify) {
        try {
            m_notify->drainCommands();
            m_notify->close();
        } catch (nbx::CException& exception) {
            _report(exception);
        }
        m_notify.reset();
    }
}

template <class R, class SYNCH>
std::int32_t CCommandQueueTask<R, SYNCH>::run() {
    // A failed task that is run again keeps its queue; a running one throws below.
    if (!m_notify && !this->isRunning()) {
        std::unique_ptr<CCommandNotify> notify(new CCommandNotify(m_controller, this));
        notify->open(this->m_reactor->implementation());
        m_notify = std::move(notify);
    }
    return CReactorTask<R>::run();
}

template <class R, class SYNCH>
void CCommandQueueTask<R, SYNCH>::sendCommand(const CAsyncCommandPtr& command) {
    std::unique_ptr<CAsyncCommandPtr> copy(new CAsyncCommandPtr(command));
    try {
        if (!m_notify) {
            NBX_THROW(CExNotifyFull, "dhcp_sync", "CCommandQueueTask::sendCommand",
                      nbx::msg("Failed to accept reactor notification."),
                      nbx::msg("The reactor does not exist."));
        }
        m_notify->notify(copy.get());
        copy.release();  // the queue's reference now travels in the pipe
    } catch (CExNotifyFull&) {
        NBX_THROW(CExQueueFull, "dhcp_sync", "CCommandQueueTask::sendCommand",
                  nbx::msg("Failed to send command '%1' to task '%2'.",
                           command.isNull() ? std::string() : command.get()->name(), name()),
                  nbx::msg("Command queue overflow."));
    }
}

template <class R, class SYNCH>
void CCommandQueueTask<R, SYNCH>::registerThread() {
    CReactorTask<R>::registerThread();
    m_controller->taskRegistry()->registerTask(name());
}

template <class R, class SYNCH>
void CCommandQueueTask<R, SYNCH>::unregisterThread() {
    try {
        m_controller->taskRegistry()->deregisterTask();
    } catch (nbx::CException& exception) {
        _report(exception);
    }
}

template <class R, class SYNCH>
int CCommandQueueTask<R, SYNCH>::handleEvents(ACE_Time_Value* timeout) {
    this->m_reactor->owner(ACE_Thread::self());
    while (!this->m_stop.load()) {
        try {
            this->_handleEventsOnce(timeout);
        } catch (nbx::CException& exception) {
            _report(exception);
        }
    }
    return 0;
}

template <class R, class SYNCH>
CExtAsyncResult<long> CCommandQueueTask<R, SYNCH>::postScheduleTimer(const std::string& commandName,
                                                                     const ACE_Time_Value& delay,
                                                                     std::uintptr_t timerArgument) {
    CExtAsyncResult<long> result(m_controller);
    sendCommand(CAsyncCommandPtr(
        new CCmdScheduleTimer(commandName, delay, timerArgument, this->m_reactor, this, result)));
    return result;
}

template <class R, class SYNCH>
void CCommandQueueTask<R, SYNCH>::_report(nbx::CException& exception) {
    nbx::reportException(*m_controller, exception);
}
