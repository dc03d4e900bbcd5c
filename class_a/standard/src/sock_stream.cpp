#include "standard/sock_stream.h"

#include <ace/OS_NS_sys_socket.h>
#include <ace/SOCK_Connector.h>
#include <errno.h>

#include "socket_io.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = "standard";

bool wouldBlock(int code) {
    return code == EAGAIN || code == EWOULDBLOCK;
}

}  // namespace

CSockStream::CSockStream() {}

CSockStream::~CSockStream() {
    close();
}

void CSockStream::connect(const ACE_INET_Addr& remote, const ACE_Time_Value* timeout) {
    close();
    ACE_SOCK_Connector connector;
    if (connector.connect(m_stream, remote, timeout) == -1) {
        std::uint32_t code = nbx::lastError();
        m_stream.close();
        NBX_THROW_CODE(nbx::CException, kModule, "CSockStream::connect",
                       nbx::msg("Failed to connect to '%1'.", nbx::sockio::addressText(remote)),
                       nbx::CMessage(), code);
    }
}

void CSockStream::attach(ACE_HANDLE handle) {
    close();
    m_stream.set_handle(handle);
}

void CSockStream::setBlocking(bool blocking) {
    if (!isOpen()) {
        NBX_THROW(nbx::CException, kModule, "CSockStream::setBlocking",
                  nbx::msg("Cannot set the socket mode."), nbx::msg("Invalid handle."));
    }
    int result = blocking ? m_stream.disable(ACE_NONBLOCK) : m_stream.enable(ACE_NONBLOCK);
    if (result == -1) {
        NBX_THROW_CODE(nbx::CException, kModule, "CSockStream::setBlocking",
                       nbx::msg("Cannot set the socket mode."), nbx::CMessage(), nbx::lastError());
    }
}

void CSockStream::send_blocked(const void* data, std::size_t length) {
    if (!isOpen()) {
        NBX_THROW(nbx::CException, kModule, "CSockStream::send_blocked",
                  nbx::msg("Cannot transmit buffer."), nbx::msg("Invalid handle."));
    }
    if (data == nullptr && length != 0) {
        NBX_THROW(nbx::CException, kModule, "CSockStream::send_blocked",
                  nbx::msg("Cannot transmit buffer."), nbx::msg("No buffer."));
    }
    const char* at = static_cast<const char*>(data);
    std::size_t left = length;
    bool waited = false;  // one wait per stall: a socket that stays full after it is over fails
    while (left > 0) {
        // MSG_DONTWAIT bounds the wait in blocking mode too; MSG_NOSIGNAL turns a vanished peer
        // into EPIPE instead of a process-killing SIGPIPE.
        ssize_t sent = ACE_OS::send(handle(), at, left, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            at += sent;
            left -= static_cast<std::size_t>(sent);
            waited = false;
            continue;
        }
        int code = sent == 0 ? EPIPE : errno;
        if (code == EINTR) continue;
        if (wouldBlock(code) && !waited) {
            waited = true;
            nbx::sockio::Deadline deadline(&m_sendWait);
            if (nbx::sockio::waitReady(handle(), POLLOUT, deadline) == 0) continue;
            code = errno;
        }
        NBX_THROW_CODE(nbx::CException, kModule, "CSockStream::send_blocked",
                       nbx::msg("Failed to write to a socket."), nbx::CMessage(),
                       static_cast<std::uint32_t>(code));
    }
}

std::size_t CSockStream::recv(void* buffer, std::size_t length, const ACE_Time_Value* timeout) {
    if (!isOpen()) {
        NBX_THROW(nbx::CException, kModule, "CSockStream::recv",
                  nbx::msg("Failed to read from a socket."), nbx::msg("Invalid handle."));
    }
    if (length == 0) return 0;
    nbx::sockio::Deadline deadline(timeout);
    for (;;) {
        if (nbx::sockio::waitReady(handle(), POLLIN, deadline) != 0) break;
        ssize_t got = ACE_OS::recv(handle(), static_cast<char*>(buffer), length, MSG_DONTWAIT);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR && !wouldBlock(errno)) break;
    }
    NBX_THROW_CODE(nbx::CException, kModule, "CSockStream::recv",
                   nbx::msg("Failed to read from a socket."), nbx::CMessage(), nbx::lastError());
}

int CSockStream::shutdownSend() {
    if (!isOpen()) {
        errno = EBADF;
        return -1;
    }
    return m_stream.close_writer();
}

int CSockStream::close() {
    if (!isOpen()) return 0;
    return m_stream.close();
}
