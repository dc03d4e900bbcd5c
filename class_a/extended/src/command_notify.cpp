#include "extended/command_notify.h"

#include <memory>

#include "extended/command_queue_task.h"
#include "extended/report_exception.h"
#include "standard/sync.h"

namespace {

constexpr const char* kModule = "extended";

}  // namespace

CCommandNotify::CCommandNotify(nbx::CIMasterController* controller, CICommandQueueTask* task)
    : m_controller(controller), m_task(task) {}

CCommandNotify::~CCommandNotify() = default;

int CCommandNotify::handle_input(ACE_HANDLE) {
    void* pointer = nullptr;
    if (!_peek(pointer)) return 0;
    if (!pointer) {
        _readData();  // a wake-up
        return 0;
    }
    CAsyncCommand* pointee = static_cast<CAsyncCommandPtr*>(pointer)->get();
    const bool runHere = _mayRunHere(pointee);
    // The queue's reference stays owned here until the task or execute() takes it.
    std::unique_ptr<CAsyncCommandPtr> command(static_cast<CAsyncCommandPtr*>(_readData()));
    if (runHere) {
        if (pointee && !pointee->runsInReactor() && m_task->acceptCommand(this, command.get())) {
            command.release();
            return 0;
        }
        execute(command.release());
        return 0;
    }
    if (m_task->acceptCommand(this, command.get())) {
        command.release();
        return 0;
    }
    _log(
        nbx::msg("Task '%1' is discarding targeted command '%2' because synchronous execution "
                 "would cause a deadlock. Please contact technical support.",
                 m_task->name(), pointee->name()));
    _discard(command.release());
    return 0;
}

bool CCommandNotify::_mayRunHere(CAsyncCommand* command) {
    if (!command || !command->isTargeted() || command->target() == nbx::currentThreadId()) {
        return true;
    }
    if (command->enterTransit()) {
        // The budget is spent and the command runs here: this thread is where it ends, not a
        // holder on its way, or execute() would wait for itself.
        command->leaveTransit();
        return true;
    }
    return false;
}

void CCommandNotify::_discard(CAsyncCommandPtr* command) {
    std::unique_ptr<CAsyncCommandPtr> reference(command);
    CAsyncCommand* pointee = command->get();
    pointee->leaveTransit();
    pointee->doneEvent().signal();
    // The command will never run; whoever waits for it must not wait for ever. Its result stays
    // unset (a CExtAsyncResult reports no success).
    try {
        pointee->complete();
    } catch (nbx::CException& exception) {
        nbx::reportException(*m_controller, exception);
    }
}

void CCommandNotify::execute(CAsyncCommandPtr* command) {
    std::unique_ptr<CAsyncCommandPtr> reference(command);
    if (!command) {
        _log(nbx::msg("Task '%1' received an invalid command pointer.", m_task->name()));
        return;
    }
    CAsyncCommand* pointee = command->get();
    if (!pointee) {
        _log(
            nbx::msg("Task '%1' is expiring an unexecuted command in transit. Please contact "
                     "technical support.",
                     m_task->name()));
        return;
    }
    try {
        pointee->execute(m_task->threadIndex());
    } catch (nbx::CException& exception) {
        nbx::reportException(*m_controller, exception);
    }
    try {
        pointee->complete();
    } catch (nbx::CException& exception) {
        nbx::reportException(*m_controller, exception);
    }
    if (pointee->inTransit()) {
        pointee->doneEvent().signal();
        // The threads that passed the command on still hold it; they let go once they see it
        // done, and only then may the queue's reference go.
        pointee->releasedEvent().wait();
    }
}

std::size_t CCommandNotify::drainCommands() {
    return drain([](void* pointer) { delete static_cast<CAsyncCommandPtr*>(pointer); });
}

void CCommandNotify::_log(nbx::CMessage message) {
    message.setModule(kModule);
    m_controller->logSink().log(nbx::SEVERITY_ERROR, message, nullptr);
}
