#include "socket_io.h"

#include <errno.h>

#include <algorithm>
#include <climits>

namespace nbx {
namespace sockio {

std::string addressText(const ACE_INET_Addr& address) {
    char host[INET6_ADDRSTRLEN + 1] = {};
    if (address.get_host_addr(host, sizeof host) == nullptr) host[0] = '\0';
    std::string port = std::to_string(address.get_port_number());
    if (address.get_type() == AF_INET6) return "[" + std::string(host) + "]:" + port;
    return std::string(host) + ":" + port;
}

Deadline::Deadline(const ACE_Time_Value* timeout) : m_unlimited(timeout == nullptr) {
    if (timeout) {
        m_end = std::chrono::steady_clock::now() + std::chrono::seconds(timeout->sec()) +
                std::chrono::microseconds(timeout->usec());
    }
}

int Deadline::pollMs() const {
    if (m_unlimited) return -1;
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_end - std::chrono::steady_clock::now());
    long long ms = std::max<long long>(left.count(), 0);
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

int waitReady(ACE_HANDLE handle, short events, const Deadline& deadline) {
    for (;;) {
        pollfd entry{handle, events, 0};
        int result = ::poll(&entry, 1, deadline.pollMs());
        if (result > 0) return 0;
        if (result == 0) {
            errno = ETIME;
            return -1;
        }
        if (errno != EINTR) return -1;
    }
}

}  // namespace sockio
}  // namespace nbx
