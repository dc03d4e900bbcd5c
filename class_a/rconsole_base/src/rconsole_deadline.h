#pragma once
// One time-out for a wait made of several reads (a response, a greeting, a challenge, the
// blocks of an enciphered chunk): a peer that trickles its bytes must not stretch the wait past
// it, as a bound on each read alone would let it do.

#include <ace/Time_Value.h>

#include <chrono>

class CRConsoleDeadline {
public:
    // A null time-out never ends.
    explicit CRConsoleDeadline(const ACE_Time_Value* timeout)
        : m_unlimited(timeout == nullptr),
          m_end(std::chrono::steady_clock::now() +
                std::chrono::microseconds(
                    m_unlimited ? 0 : timeout->sec() * 1000000LL + timeout->usec())) {}

    // The wait left for the next read: null without limit, zero once the deadline passed (the
    // read then takes only what has already arrived).
    const ACE_Time_Value* left() {
        if (m_unlimited) return nullptr;
        const long long rest = std::chrono::duration_cast<std::chrono::microseconds>(
                                   m_end - std::chrono::steady_clock::now())
                                   .count();
        m_left = rest > 0 ? ACE_Time_Value(static_cast<time_t>(rest / 1000000),
                                           static_cast<suseconds_t>(rest % 1000000))
                          : ACE_Time_Value::zero;
        return &m_left;
    }

private:
    bool m_unlimited;
    std::chrono::steady_clock::time_point m_end;
    ACE_Time_Value m_left;
};
