#pragma once
// Helpers shared by the socket wrappers.

#include <ace/INET_Addr.h>
#include <ace/Time_Value.h>
#include <poll.h>

#include <chrono>
#include <string>

namespace nbx {
namespace sockio {

// "address:port", or "[address]:port" for IPv6.
std::string addressText(const ACE_INET_Addr& address);

// The end of a bounded wait, on the monotonic clock, so that a wait resumed after a signal or a
// spurious wake-up only gets the time that is left. A null time-out never ends.
class Deadline {
public:
    explicit Deadline(const ACE_Time_Value* timeout);
    // Milliseconds left for poll(2): -1 without limit, 0 once passed.
    int pollMs() const;

private:
    bool m_unlimited;
    std::chrono::steady_clock::time_point m_end;
};

// Waits until `handle` shows one of `events` (POLLIN, POLLOUT), an error or a hang-up. Returns 0
// when ready, -1 with errno set (ETIME when the deadline passed).
int waitReady(ACE_HANDLE handle, short events, const Deadline& deadline);

}  // namespace sockio
}  // namespace nbx
