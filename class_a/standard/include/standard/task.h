#pragma once
// A task owns one thread and runs a loop on it. run() starts the thread and blocks until the
// task's init() has run there, so the caller learns at once whether the task came up; stop() is
// left to the layer that knows how to interrupt the loop.
//
// A task runs at most once: its running flag is never cleared, and a task whose init() failed
// stays failed (a later run() returns the same status without calling init() again).

#include <ace/Task.h>
#include <ace/Thread_Manager.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "standard/atomic_long.h"
#include "standard/mr_event.h"
#include "standard/sync.h"
#include "standard/sync.h"
#include "standard/throw.h"

class CITask {
public:
    virtual ~CITask() = default;
    // Starts the thread and returns the status of its init(); throws when the task is running.
    virtual std::int32_t run() = 0;
    // Ends the loop, waits for the thread and returns the status.
    virtual std::int32_t stop() = 0;
    virtual std::int32_t status() const = 0;
    // Runs on the task's thread before the loop; anything but 0 keeps the loop from starting.
    virtual std::int32_t init() = 0;
    virtual std::int32_t svcLoop() = 0;
    virtual void registerThread() = 0;
    virtual void unregisterThread() = 0;
    virtual int spawn() = 0;
};

template <class SYNCH>
class CTask : public CITask, public ACE_Task<SYNCH> {
public:
    // Status of a task whose init() (or thread registration) threw; run() rethrows the
    // exception on the caller's thread.
    static constexpr std::int32_t kStartFailed = -1;

    CTask(const std::string& name, std::uint32_t threadCount);
    ~CTask() override;

    std::int32_t run() override;
    std::int32_t status() const override { return m_status.load(); }
    std::int32_t init() override { return 0; }
    void registerThread() override;
    void unregisterThread() override {}
    int spawn() override;

    // Position of a thread in the task's thread table; throws "No such index." for a thread
    // that is not the task's.
    std::uint32_t threadIndex(std::uint32_t threadId) const;
    bool isTaskThread() const;
    const std::string& name() const { return m_name; }
    std::uint32_t threadCount() const { return m_threadCount; }
    bool isRunning() const { return m_running.load(); }

protected:
    int svc() override;

private:
    bool _findIndex(std::uint32_t threadId, std::uint32_t& index) const;

    // Each task has its own manager so that waiting for "the task's threads" cannot block on
    // somebody else's.
    std::unique_ptr<ACE_Thread_Manager> m_threadManager;
    std::uint32_t m_threadCount;
    std::atomic<std::int32_t> m_status{0};
    nbx::CMREvent m_started;
    nbx::CNRMutex m_runLock;
    std::atomic<bool> m_running{false};
    std::unique_ptr<std::atomic<std::uint32_t>[]> m_threads;
    nbx::CAtomicLong m_slot{-1};
    std::string m_name;
    std::exception_ptr m_failure;  // set under the run lock, taken by run()
};

template <class SYNCH>
CTask<SYNCH>::CTask(const std::string& name, std::uint32_t threadCount)
    : ACE_Task<SYNCH>(nullptr, nullptr),
      m_threadManager(new ACE_Thread_Manager),
      m_threadCount(threadCount),
      m_threads(new std::atomic<std::uint32_t>[threadCount]),
      m_name(name) {
    for (std::uint32_t i = 0; i < threadCount; ++i) m_threads[i].store(0);
    this->thr_mgr(m_threadManager.get());
}

template <class SYNCH>
CTask<SYNCH>::~CTask() {
    // The manager joins whatever thread has ended but was not yet waited for.
    m_threadManager.reset();
    this->thr_mgr(nullptr);
}

template <class SYNCH>
std::int32_t CTask<SYNCH>::run() {
    if (m_running.load()) {
        NBX_THROW(nbx::CException, "dhcp_sync", "CTask::run", nbx::msg("Failed to start task."),
                  nbx::msg("Task is already running."));
    }
    if (spawn() == -1) {
        NBX_THROW_CODE(nbx::CException, "dhcp_sync", "CTask::run",
                       nbx::msg("Failed to start task."), nbx::CMessage(), nbx::lastError());
    }
    m_started.wait();
    if (m_status.load() != 0) {
        this->wait();
        std::exception_ptr failure;
        {
            std::lock_guard<nbx::CNRMutex> guard(m_runLock);
            failure = std::exchange(m_failure, nullptr);
        }
        if (failure) std::rethrow_exception(failure);
    }
    return m_status.load();
}

template <class SYNCH>
int CTask<SYNCH>::spawn() {
    return this->activate();
}

template <class SYNCH>
int CTask<SYNCH>::svc() {
    std::unique_lock<nbx::CNRMutex> lock(m_runLock);
    // A failed task stays failed; a thread that lost a race against a concurrent run() finds
    // the task running and leaves it alone.
    if (m_status.load() != 0 || m_running.load()) return 0;
    bool registered = false;
    try {
        registerThread();
        registered = true;
        std::int32_t result = init();
        std::uint32_t index = 0;
        if (_findIndex(nbx::currentThreadId(), index) && index == 0) m_status = result;
    } catch (...) {
        // Without this the caller of run() would wait for the started event forever.
        m_failure = std::current_exception();
        m_status = kStartFailed;
    }
    m_started.signal();
    if (m_status.load() != 0) {
        if (registered) {
            try {
                unregisterThread();
            } catch (...) {
                // the failure of init() is what the caller hears about
            }
        }
        return 0;
    }
    m_running = true;
    lock.unlock();
    std::int32_t result = svcLoop();
    unregisterThread();
    return result;
}

template <class SYNCH>
void CTask<SYNCH>::registerThread() {
    std::int32_t index = m_slot.increment();
    if (index >= 0 && static_cast<std::uint32_t>(index) < m_threadCount) {
        m_threads[index].store(nbx::currentThreadId());
    }
}

template <class SYNCH>
bool CTask<SYNCH>::_findIndex(std::uint32_t threadId, std::uint32_t& index) const {
    std::int32_t used =
        std::min<std::int32_t>(m_slot.value() + 1, static_cast<std::int32_t>(m_threadCount));
    for (std::int32_t i = 0; i < used; ++i) {
        if (m_threads[i].load() == threadId) {
            index = static_cast<std::uint32_t>(i);
            return true;
        }
    }
    return false;
}

template <class SYNCH>
std::uint32_t CTask<SYNCH>::threadIndex(std::uint32_t threadId) const {
    std::uint32_t index = 0;
    if (!_findIndex(threadId, index)) {
        NBX_THROW(nbx::CException, "dhcp_sync", "CTask::threadIndex",
                  nbx::msg("Failed to find index for thread %1 in task '%2'.", threadId, m_name),
                  nbx::msg("No such index."));
    }
    return index;
}

template <class SYNCH>
bool CTask<SYNCH>::isTaskThread() const {
    std::uint32_t index = 0;
    return _findIndex(nbx::currentThreadId(), index);
}
