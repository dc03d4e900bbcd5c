#pragma once
// Small synchronisation primitives shared by the framework.

#include <cstdint>
#include <mutex>

namespace nbx {

// Kernel id of the calling thread: stable for the thread's life and unique among the process's
// live threads (an id may be reused after its thread ended). Per-thread maps key by it.
std::uint32_t currentThreadId();

// Non-recursive mutex.
class CNRMutex {
public:
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    bool try_lock() { return m_mutex.try_lock(); }

private:
    std::mutex m_mutex;
};

// Base of objects whose methods are serialised through a locking pointer (CMethodLockPolicy) or
// that can be locked as a whole through one (CObjectLockPolicy). The mutex is recursive so that a
// locked call may call back into the same object through another locking pointer.
class CLockable {
public:
    CLockable() = default;
    CLockable(const CLockable&) {}
    CLockable& operator=(const CLockable&) { return *this; }
    std::recursive_mutex& objectMutex() const { return m_objectMutex; }

private:
    mutable std::recursive_mutex m_objectMutex;
};

}  // namespace nbx
