#pragma once
// The wait of a general reactor: one poll over every registered handle (the reactor's own
// notification pipe among them) for at most the earlier of the caller's time-out and the
// timer queue's next deadline.
//
// The token is held while the wait set is collected and released for the poll itself, so that
// other threads can register, remove and schedule meanwhile (they wake the poll through the
// notification pipe); the dispatch re-checks every registration it serves.

#include <ace/Guard_T.h>
#include <ace/Time_Value.h>
#include <errno.h>
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "ace_ext/reactor_registration_policy.h"

template <class RegistrationPolicy>
class CReactorPollWaitPolicy {
public:
    using Clock = std::chrono::steady_clock;
    // Failures of this kind are retried at most this often in one step; EINTR always is.
    static constexpr int kMaxTransientFailures = 3;

    explicit CReactorPollWaitPolicy(RegistrationPolicy& registration)
        : m_registration(registration) {}

    // Waits until a registered handle is ready, a timer is due or `deadline` (none: no limit)
    // has passed. Fills `ready` in registration order and returns its size (0 when the time ran
    // out). A poll that fails is tried again with the time that is left; a descriptor that is
    // closed while registered (POLLNVAL) or a persistent failure ends the step with -1 and
    // errno set (EBADF for the closed descriptor).
    int wait(const Clock::time_point* deadline, std::vector<CReactorReadyHandle>& ready) {
        ready.clear();
        int failures = 0;
        for (;;) {
            bool pending = false;
            ACE_Time_Value timeout;
            ACE_Time_Value* limit = nullptr;
            {
                ACE_Guard<typename RegistrationPolicy::TokenType> guard(m_registration.token());
                // Closed by another thread since the step began: nothing is left to wait for.
                if (!m_registration.attached()) {
                    errno = ESHUTDOWN;
                    return -1;
                }
                m_registration.collectWaitObjects(m_objects, m_serials, pending);
                limit = _timeout(deadline, pending, timeout);
            }
            timespec span = limit ? static_cast<timespec>(*limit) : timespec{};
            int result =
                ::ppoll(m_objects.data(), m_objects.size(), limit ? &span : nullptr, nullptr);
            if (result < 0) {
                int code = errno;
                if (code == EINTR) continue;
                if ((code == EAGAIN || code == ENOMEM) && ++failures < kMaxTransientFailures) {
                    continue;
                }
                errno = code;
                return -1;
            }
            if (_staleDescriptors()) continue;  // closed after being removed: wait again
            if (m_invalid) {
                errno = EBADF;
                return -1;
            }
            return _collect(ready);
        }
    }

private:
    // The poll's time-out: none, zero while ready bits are pending, else the time left before
    // the deadline shortened to the earliest timer.
    ACE_Time_Value* _timeout(const Clock::time_point* deadline, bool pending,
                             ACE_Time_Value& timeout) {
        ACE_Time_Value left;
        ACE_Time_Value* max = nullptr;
        if (pending) {
            left = ACE_Time_Value::zero;
            max = &left;
        } else if (deadline) {
            auto micros =
                std::chrono::duration_cast<std::chrono::microseconds>(*deadline - Clock::now())
                    .count();
            if (micros < 0) micros = 0;
            left = ACE_Time_Value(static_cast<time_t>(micros / 1000000),
                                  static_cast<suseconds_t>(micros % 1000000));
            max = &left;
        }
        if (m_registration.timerQueue()) {
            return m_registration.timerQueue()->calculate_timeout(max, &timeout);
        }
        if (!max) return nullptr;
        timeout = *max;
        return &timeout;
    }

    // Sorts the descriptors the poll found closed: still registered (m_invalid: the step
    // fails), or removed by another thread after the wait set was collected (true: the wait is
    // repeated without them).
    bool _staleDescriptors() {
        m_invalid = false;
        bool stale = false;
        ACE_Guard<typename RegistrationPolicy::TokenType> guard(m_registration.token());
        for (std::size_t i = 0; i < m_objects.size(); ++i) {
            if (!(m_objects[i].revents & POLLNVAL)) continue;
            if (m_registration.find(m_objects[i].fd, m_serials[i])) {
                m_invalid = true;
            } else {
                stale = true;
            }
        }
        return stale && !m_invalid;
    }

    int _collect(std::vector<CReactorReadyHandle>& ready) {
        ACE_Guard<typename RegistrationPolicy::TokenType> guard(m_registration.token());
        for (std::size_t i = 0; i < m_objects.size(); ++i) {
            ACE_Reactor_Mask events = _events(m_objects[i].revents, m_objects[i].events) |
                                      m_registration.takeReady(m_objects[i].fd, m_serials[i]);
            if (events) ready.push_back({m_objects[i].fd, m_serials[i], events});
        }
        return static_cast<int>(ready.size());
    }

    // Poll results as reactor masks. An error or hang-up goes to what the handler waits for
    // (input first), so that it learns of it and the poll does not report it for ever.
    static ACE_Reactor_Mask _events(short revents, short requested) {
        bool failed = (revents & (POLLERR | POLLHUP)) != 0;
        ACE_Reactor_Mask events = 0;
        if ((requested & POLLIN) && ((revents & POLLIN) || failed)) {
            events |= ACE_Event_Handler::READ_MASK;
        }
        if ((requested & POLLOUT) && ((revents & POLLOUT) || failed)) {
            events |= ACE_Event_Handler::WRITE_MASK;
        }
        if ((requested & POLLPRI) && ((revents & POLLPRI) || (failed && events == 0))) {
            events |= ACE_Event_Handler::EXCEPT_MASK;
        }
        return events;
    }

    RegistrationPolicy& m_registration;
    std::vector<pollfd> m_objects;
    std::vector<std::uint64_t> m_serials;
    bool m_invalid = false;
};
