#pragma once
// The implementation policy of a general reactor: joins a wait, a registration and a dispatch
// policy, owns what the registration's pointers point at (handle set, default timer queue, the
// reactor's own notifier) and runs one event-loop step.
//
//   CReactorImplPolicy<WaitPolicy, RegistrationPolicy, DispatchPolicy>
//
// Every operation takes the registration's token; the token is recursive for its holder, so
// handlers may register, remove and schedule from their call-backs.

#include <ace/Guard_T.h>
#include <ace/Timer_Heap.h>
#include <errno.h>
#include <fcntl.h>

#include <chrono>
#include <memory>
#include <vector>

#include "ace_ext/reactor_handle_set.h"
#include "ace_ext/reactor_notify.h"
#include "ace_ext/reactor_registration_policy.h"

template <class WaitPolicy, class RegistrationPolicy, class DispatchPolicy>
class CReactorImplPolicy {
public:
    using Registration = RegistrationPolicy;
    using Notifier = typename RegistrationPolicy::Notifier;
    using Guard = ACE_Guard<typename RegistrationPolicy::TokenType>;
    using Clock = std::chrono::steady_clock;

    CReactorImplPolicy()
        : m_wait(m_registration), m_dispatch(m_registration), m_notifier(new Notifier) {
        m_registration.setNotifier(m_notifier.get());
    }
    ~CReactorImplPolicy() {
        close();  // normally done by the reactor already
    }
    CReactorImplPolicy(const CReactorImplPolicy&) = delete;
    CReactorImplPolicy& operator=(const CReactorImplPolicy&) = delete;

    // Creates the handle set (and a timer heap when `timerQueue` is null), then opens the
    // notifier on `reactor`. -1 (EINVAL) for a timer queue of another kind than ACE's
    // event-handler queue; the notifier's failures are thrown.
    int open(ACE_Reactor_Impl* reactor, std::size_t size, ACE_Timer_Queue* timerQueue) {
        Guard guard(m_registration.token());
        CReactorTimerQueue* queue = nullptr;
        if (timerQueue) {
            queue = dynamic_cast<CReactorTimerQueue*>(timerQueue);
            if (!queue) {
                errno = EINVAL;
                return -1;
            }
        } else {
            m_ownTimerQueue.reset(new ACE_Timer_Heap);
            queue = m_ownTimerQueue.get();
        }
        m_handleSet.reset(new CReactorHandleSet);
        std::size_t limit =
            size == 0 || size > static_cast<std::size_t>(CReactorHandleSet::kMaxHandle)
                ? static_cast<std::size_t>(CReactorHandleSet::kMaxHandle)
                : size;
        m_registration.attach(m_handleSet.get(), queue, limit);
        try {
            m_registration.notifier()->open(reactor);
        } catch (...) {
            m_registration.detach();
            m_handleSet.reset();
            m_ownTimerQueue.reset();
            throw;
        }
        return 0;
    }

    // Closes the notifier, removes every other handler (each gets handle_close(handle,
    // ALL_EVENTS_MASK)), ends the timers (ACE's timer queue calls handle_close(ACE_INVALID_HANDLE,
    // TIMER_MASK) on each handler that still has one) and drops the handle set. Nothing is
    // thrown: ACE's facade closes its reactor from its destructor. A handler that throws from
    // its handle_close does not keep the others from theirs; false tells of it.
    bool close() {
        Guard guard(m_registration.token());
        if (!m_registration.attached()) return true;
        bool clean = true;
        auto attempt = [&clean](auto&& action) {
            try {
                action();
            } catch (...) {
                clean = false;
            }
        };
        m_registration.setClosing(true);
        attempt([&] { m_registration.notifier()->close(); });
        for (ACE_HANDLE handle : m_registration.handles()) {
            attempt([&] {
                if (m_registration.find(handle)) {
                    m_registration.unbindHandle(handle, ACE_Event_Handler::ALL_EVENTS_MASK);
                }
            });
        }
        CReactorTimerQueue* queue = m_registration.timerQueue().get();
        // Detached first: a handle_close that cancels its timers finds no queue.
        m_registration.setTimerQueue(nullptr);
        if (m_ownTimerQueue) {
            attempt([&] { m_ownTimerQueue.reset(); });
        } else if (queue) {
            attempt([&] { queue->close(); });
        }
        m_registration.detach();
        m_registration.setClosing(false);
        m_handleSet.reset();
        return clean;
    }

    // One step: wait, run the due timers, serve the ready handles. Returns the number of timers
    // and handles served, 0 when the time ran out, -1 on failure (errno set). A registered
    // descriptor found closed is removed as ACE's reactor does (handle_close(handle,
    // ALL_EVENTS_MASK)) and the step returns -1 (EBADF), so the next step waits again.
    int handleEvents(ACE_Time_Value* maxWait) {
        Clock::time_point deadline;
        if (maxWait) {
            deadline = Clock::now() + std::chrono::seconds(maxWait->sec()) +
                       std::chrono::microseconds(maxWait->usec());
        }
        // Local: a handler may run a nested step.
        std::vector<CReactorReadyHandle> ready;
        int waited = m_wait.wait(maxWait ? &deadline : nullptr, ready);
        int code = errno;
        Guard guard(m_registration.token());
        if (!m_registration.attached()) {
            errno = ESHUTDOWN;
            return -1;
        }
        if (waited < 0) {
            if (code == EBADF) checkHandles();
            errno = code;
            return -1;
        }
        int served = 0;
        if (m_registration.timerQueue()) {
            int expired = m_registration.timerQueue()->expire();
            if (expired > 0) served += expired;
        }
        return served + m_dispatch.dispatch(ready);
    }

    // Removes the registrations whose descriptors are no longer open; returns how many.
    int checkHandles() {
        Guard guard(m_registration.token());
        int removed = 0;
        for (ACE_HANDLE handle : m_registration.handles()) {
            if (::fcntl(handle, F_GETFD) == -1 && errno == EBADF && m_registration.find(handle)) {
                m_registration.unbindHandle(handle, ACE_Event_Handler::ALL_EVENTS_MASK);
                ++removed;
            }
        }
        return removed;
    }

    // Wakes the loop with a null notification.
    void wake() { m_registration.notifier()->notify(nullptr); }

    long scheduleTimer(ACE_Event_Handler* handler, const void* arg, const ACE_Time_Value& delay,
                       const ACE_Time_Value& interval) {
        Guard guard(m_registration.token());
        CReactorTimerQueue* queue = m_registration.timerQueue().get();
        if (!queue) {
            errno = ESHUTDOWN;
            return -1;
        }
        return queue->schedule(handler, arg, queue->gettimeofday() + delay, interval);
    }
    int resetTimerInterval(long timerId, const ACE_Time_Value& interval) {
        Guard guard(m_registration.token());
        CReactorTimerQueue* queue = m_registration.timerQueue().get();
        return queue ? queue->reset_interval(timerId, interval) : -1;
    }
    int cancelTimer(ACE_Event_Handler* handler, int dontCallHandleClose) {
        Guard guard(m_registration.token());
        CReactorTimerQueue* queue = m_registration.timerQueue().get();
        return queue && handler ? queue->cancel(handler, dontCallHandleClose) : 0;
    }
    int cancelTimer(long timerId, const void** arg, int dontCallHandleClose) {
        Guard guard(m_registration.token());
        CReactorTimerQueue* queue = m_registration.timerQueue().get();
        return queue ? queue->cancel(timerId, arg, dontCallHandleClose) : 0;
    }
    // ACE's meaning: the reactor's queue from now on; one it made itself is deleted.
    void setTimerQueue(CReactorTimerQueue* queue) {
        Guard guard(m_registration.token());
        CReactorTimerQueue* previous = m_registration.timerQueue().get();
        if (queue == previous) return;
        m_registration.setTimerQueue(queue);
        if (m_ownTimerQueue && previous == m_ownTimerQueue.get()) {
            m_ownTimerQueue.reset();
        } else if (previous) {
            previous->close();
        }
    }
    CReactorTimerQueue* timerQueue() {
        Guard guard(m_registration.token());
        return m_registration.timerQueue().get();
    }

    Registration& registration() { return m_registration; }
    DispatchPolicy& dispatchPolicy() { return m_dispatch; }

private:
    Registration m_registration;
    WaitPolicy m_wait;
    DispatchPolicy m_dispatch;
    std::unique_ptr<Notifier> m_notifier;
    std::unique_ptr<CReactorHandleSet> m_handleSet;
    std::unique_ptr<CReactorTimerQueue> m_ownTimerQueue;
};
