#pragma once
// The event handler that executes the commands of a task's queue on the task's thread.

#include <ace/Event_Handler.h>

#include "extended/async_command.h"

class CICommandQueueTaskHandler : public ACE_Event_Handler {
public:
    ~CICommandQueueTaskHandler() override = default;
    // Runs `command` on the calling thread, signals its waiter and deletes `command` (the
    // queue's reference). Failures go to the thread's exception stack, never to the caller.
    virtual void execute(CAsyncCommandPtr* command) = 0;
};
