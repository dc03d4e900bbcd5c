#pragma once
// A unit of work posted to a task's command queue and executed on the task's thread.
//
// Commands are shared between the sender and the queue. A command may name the thread it must
// run on (targeted); a queue whose thread is not the target counts the command "in transit"
// while it is on its way and spends one hop of its budget, so that a command that keeps being
// passed on runs where it is once the budget is spent instead of circling for ever.

#include <cstdint>
#include <string>

#include "standard/general_ptr.h"
#include "standard/mr_event.h"
#include "standard/sync.h"

class CAsyncCommand {
public:
    static constexpr std::uint32_t kHopBudget = 255;

    explicit CAsyncCommand(const std::string& name, const std::string& tag = std::string());
    CAsyncCommand(const CAsyncCommand&) = delete;
    CAsyncCommand& operator=(const CAsyncCommand&) = delete;
    virtual ~CAsyncCommand();

    // True for commands that must reach the task's reactor itself (timer commands); such
    // commands are never offered to the task to take over.
    virtual bool runsInReactor() const { return false; }
    // The work, on the task's thread; `threadIndex` is that thread's index in its task.
    virtual void execute(std::uint32_t threadIndex) = 0;
    // Signals whoever waits for the command; called after execute() even when it threw.
    virtual void complete() = 0;

    const std::string& name() const { return m_name; }
    const std::string& tag() const { return m_tag; }

    // Binds the command to one thread (a kernel thread id).
    void setTarget(std::uint32_t threadId);
    bool isTargeted() const;
    std::uint32_t target() const;

    // A queue that is not the target holds the command: spends one hop and counts it in transit.
    // True when the budget is spent and the command must run where it is.
    bool enterTransit();
    // The holder has passed the command on (or dropped it).
    void leaveTransit();
    bool inTransit() const;
    std::int32_t transitCount() const;
    std::uint32_t hopBudget() const;

    // Set once the command has run (or was dropped) while it had been in transit.
    nbx::CMREvent& doneEvent() { return m_done; }
    // Set while no holder has the command in transit.
    nbx::CMREvent& releasedEvent() { return m_released; }

private:
    mutable nbx::CNRMutex m_lock;
    nbx::CMREvent m_done;
    nbx::CMREvent m_released{true};  // follows m_transitCount == 0, under m_lock
    bool m_targeted = false;
    std::uint32_t m_target = 0;
    std::uint32_t m_hopBudget = kHopBudget;
    bool m_inTransit = false;
    std::int32_t m_transitCount = 0;
    std::string m_name;
    std::string m_tag;
};

using CAsyncCommandPtr = nbx::CGeneralPtr<CAsyncCommand, nbx::CMTOwnerPolicy>;
