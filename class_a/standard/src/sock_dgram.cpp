#include "standard/sock_dgram.h"

#include <ace/OS_NS_sys_socket.h>
#include <errno.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

#include "socket_io.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = "standard";

// A UDP socket of `family` bound to the wildcard address and `port`; invalid with errno set on
// failure. IPv6 sockets are made dual-stack before the bind, which is when the option counts.
ACE_HANDLE openBound(int family, u_short port) {
    ACE_HANDLE handle = ACE_OS::socket(family, SOCK_DGRAM, IPPROTO_UDP);
    if (handle == ACE_INVALID_HANDLE) return handle;
    sockaddr_storage local{};
    int size = 0;
    int result = 0;
    if (family == AF_INET6) {
        int off = 0;
        result = ACE_OS::setsockopt(handle, IPPROTO_IPV6, IPV6_V6ONLY,
                                    reinterpret_cast<const char*>(&off), sizeof off);
        auto* any = reinterpret_cast<sockaddr_in6*>(&local);
        any->sin6_family = AF_INET6;
        any->sin6_port = htons(port);
        any->sin6_addr = in6addr_any;
        size = sizeof(sockaddr_in6);
    } else {
        auto* any = reinterpret_cast<sockaddr_in*>(&local);
        any->sin_family = AF_INET;
        any->sin_port = htons(port);
        any->sin_addr.s_addr = htonl(INADDR_ANY);
        size = sizeof(sockaddr_in);
    }
    if (result == 0) result = ACE_OS::bind(handle, reinterpret_cast<sockaddr*>(&local), size);
    if (result != 0) {
        int code = errno;
        ACE_OS::closesocket(handle);
        errno = code;
        return ACE_INVALID_HANDLE;
    }
    return handle;
}

}  // namespace

CSockDgram::CSockDgram() {}

CSockDgram::~CSockDgram() {
    close();
}

void CSockDgram::open(u_short port) {
    close();
    int family = AF_INET6;
    ACE_HANDLE handle = openBound(family, port);
    if (handle == ACE_INVALID_HANDLE) {
        family = AF_INET;
        handle = openBound(family, port);
    }
    if (handle == ACE_INVALID_HANDLE) {
        NBX_THROW_CODE(nbx::CException, kModule, "CSockDgram::open",
                       nbx::msg("Cannot create a datagram socket."), nbx::CMessage(),
                       nbx::lastError());
    }
    m_dgram.set_handle(handle);
    m_family = family;
}

u_short CSockDgram::localPort() const {
    if (!isOpen()) return 0;
    sockaddr_storage local{};
    int size = sizeof local;
    if (ACE_OS::getsockname(handle(), reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
    if (local.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
}

void CSockDgram::send(const void* data, std::size_t length, const ACE_INET_Addr& to) {
    if (!isOpen()) {
        NBX_THROW(nbx::CException, kModule, "CSockDgram::send", nbx::msg("Cannot transmit buffer."),
                  nbx::msg("Invalid handle."));
    }
    if (data == nullptr && length != 0) {
        NBX_THROW(nbx::CException, kModule, "CSockDgram::send", nbx::msg("Cannot transmit buffer."),
                  nbx::msg("No buffer."));
    }
    sockaddr_storage target{};
    int size = 0;
    if (m_family == AF_INET6 && to.get_type() == AF_INET) {
        // A dual-stack socket reaches IPv4 peers through their mapped address ::ffff:a.b.c.d.
        const auto* v4 = static_cast<const sockaddr_in*>(to.get_addr());
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&target);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = v4->sin_port;
        v6->sin6_addr.s6_addr[10] = 0xff;
        v6->sin6_addr.s6_addr[11] = 0xff;
        std::memcpy(&v6->sin6_addr.s6_addr[12], &v4->sin_addr, 4);
        size = sizeof(sockaddr_in6);
    } else {
        size = std::min<int>(to.get_size(), sizeof target);
        std::memcpy(&target, to.get_addr(), static_cast<std::size_t>(size));
    }
    bool waited = false;
    for (;;) {
        ssize_t sent = ACE_OS::sendto(handle(), static_cast<const char*>(data), length,
                                      MSG_DONTWAIT | MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&target), size);
        if (sent == static_cast<ssize_t>(length)) return;
        int code = sent >= 0 ? EMSGSIZE : errno;  // a datagram goes whole or not at all
        if (code == EINTR) continue;
        if ((code == EAGAIN || code == EWOULDBLOCK) && !waited) {
            waited = true;
            nbx::sockio::Deadline deadline(&m_sendWait);
            if (nbx::sockio::waitReady(handle(), POLLOUT, deadline) == 0) continue;
            code = errno;
        }
        NBX_THROW_CODE(nbx::CException, kModule, "CSockDgram::send",
                       nbx::msg("Failed to send a datagram to '%1'.", nbx::sockio::addressText(to)),
                       nbx::CMessage(), static_cast<std::uint32_t>(code));
    }
}

std::size_t CSockDgram::recv(void* buffer, std::size_t length, ACE_INET_Addr& from,
                             const ACE_Time_Value* timeout) {
    if (!isOpen()) {
        NBX_THROW(nbx::CException, kModule, "CSockDgram::recv",
                  nbx::msg("Failed to receive a datagram."), nbx::msg("Invalid handle."));
    }
    nbx::sockio::Deadline deadline(timeout);
    for (;;) {
        if (nbx::sockio::waitReady(handle(), POLLIN, deadline) != 0) break;
        sockaddr_storage sender{};
        int size = sizeof sender;
        ssize_t got = ACE_OS::recvfrom(handle(), static_cast<char*>(buffer), length, MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&sender), &size);
        if (got >= 0) {
            auto* v6 = reinterpret_cast<const sockaddr_in6*>(&sender);
            if (sender.ss_family == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
                sockaddr_in v4{};
                v4.sin_family = AF_INET;
                v4.sin_port = v6->sin6_port;
                std::memcpy(&v4.sin_addr, &v6->sin6_addr.s6_addr[12], 4);
                from.set(&v4, sizeof v4);
            } else {
                from.set(reinterpret_cast<const sockaddr_in*>(&sender), size);
            }
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) break;
    }
    NBX_THROW_CODE(nbx::CException, kModule, "CSockDgram::recv",
                   nbx::msg("Failed to receive a datagram."), nbx::CMessage(), nbx::lastError());
}

int CSockDgram::close() {
    m_family = 0;
    if (!isOpen()) return 0;
    return m_dgram.close();
}
