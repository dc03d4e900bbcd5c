#pragma once
// A task's command queue: the notification pipe of the task's reactor, carrying one heap copy
// of a shared command pointer per datagram, and the handler that executes what arrives.

#include <cstddef>

#include "ace_ext/reactor_notify.h"
#include "extended/command_queue_task_handler.h"
#include "extended/master_controller.h"

class CICommandQueueTask;

class CCommandNotify : public CReactorNotify, public CICommandQueueTaskHandler {
public:
    // Neither is owned; both outlive the notifier.
    CCommandNotify(nbx::CIMasterController* controller, CICommandQueueTask* task);
    ~CCommandNotify() override;

    // Task thread, once per datagram: a null pointer is a wake-up, anything else a command.
    int handle_input(ACE_HANDLE handle) override;
    void execute(CAsyncCommandPtr* command) override;

    // Takes every command still in the pipe and deletes the queue's references to them;
    // returns how many there were. For a task whose loop has ended.
    std::size_t drainCommands();

private:
    // Whether a command may run on the calling thread (see CAsyncCommand's transit).
    bool _mayRunHere(CAsyncCommand* command);
    void _discard(CAsyncCommandPtr* command);
    void _log(nbx::CMessage message);

    nbx::CIMasterController* m_controller;  // not owned
    CICommandQueueTask* m_task;             // not owned
};
