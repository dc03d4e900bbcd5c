#pragma once
// Manual-reset event: once signalled it stays signalled, releasing every waiter, until reset.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace nbx {

class CMREvent {
public:
    explicit CMREvent(bool signalled = false) : m_signalled(signalled) {}
    CMREvent(const CMREvent&) = delete;
    CMREvent& operator=(const CMREvent&) = delete;

    void signal() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_signalled = true;
        }
        m_condition.notify_all();
    }
    void reset() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_signalled = false;
    }
    void wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_condition.wait(lock, [this] { return m_signalled; });
    }
    // False when the deadline passed first.
    template <class Clock, class Duration>
    bool waitUntil(const std::chrono::time_point<Clock, Duration>& deadline) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_until(lock, deadline, [this] { return m_signalled; });
    }
    template <class Rep, class Period>
    bool waitFor(const std::chrono::duration<Rep, Period>& timeout) {
        return waitUntil(std::chrono::steady_clock::now() + timeout);
    }
    bool isSignalled() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_signalled;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_signalled;
};

}  // namespace nbx
