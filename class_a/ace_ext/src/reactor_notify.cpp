#include "ace_ext/reactor_notify.h"

#include <ace/OS_NS_errno.h>
#include <ace/OS_NS_fcntl.h>
#include <ace/OS_NS_sys_socket.h>
#include <ace/OS_NS_unistd.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

#include "standard/throw.h"

namespace {

constexpr const char* kModule = "ace_ext";
constexpr std::size_t kPointerSize = 8;
// Buffer space charged per queued datagram: the kernel's per-datagram overhead (about 800
// bytes for 8 payload bytes on loopback) with a wide margin.
constexpr std::int64_t kBytesPerDatagram = 2048;
static_assert(sizeof(void*) == kPointerSize, "the pipe carries 8-byte pointers");

// A datagram socket bound to the loopback address of `family` with a system-chosen port.
ACE_HANDLE openLoopback(int family) {
    ACE_HANDLE handle = ACE_OS::socket(family, SOCK_DGRAM, 17);
    if (handle == ACE_INVALID_HANDLE) return handle;
    ACE_INET_Addr local;
    if (family == AF_INET6) {
        local.set(static_cast<u_short>(0), "::1", 1, AF_INET6);
    } else {
        local.set(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_LOOPBACK));
    }
    if (ACE_OS::bind(handle, static_cast<sockaddr*>(local.get_addr()), local.get_size()) != 0) {
        ACE_OS::closesocket(handle);
        return ACE_INVALID_HANDLE;
    }
    return handle;
}

bool setNonBlocking(ACE_HANDLE handle) {
    int flags = ACE_OS::fcntl(handle, F_GETFL);
    return flags >= 0 && ACE_OS::fcntl(handle, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

CReactorNotify::CReactorNotify() {}

CReactorNotify::~CReactorNotify() {
    _closeSockets();
}

void CReactorNotify::open(ACE_Reactor_Impl* reactor) {
    _createSocketPair();
    m_reactor = reactor;
    if (!m_reactor || m_reactor->register_handler(this, ACE_Event_Handler::READ_MASK) != 0) {
        std::uint32_t code = nbx::lastError();
        _closeSockets();
        m_reactor = nullptr;
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::open",
                       nbx::msg("Failed to register a notification pipe."), nbx::CMessage(), code);
    }
    m_closed = false;
}

void CReactorNotify::close() {
    if (m_closed.exchange(true)) return;
    if (m_reactor) {
        m_reactor->remove_handler(this,
                                  ACE_Event_Handler::READ_MASK | ACE_Event_Handler::DONT_CALL);
    }
    _closeSockets();
}

void CReactorNotify::_closeSockets() {
    m_closed = true;
    if (m_writer != ACE_INVALID_HANDLE) ACE_OS::closesocket(m_writer);
    if (m_reader != ACE_INVALID_HANDLE) ACE_OS::closesocket(m_reader);
    m_writer = ACE_INVALID_HANDLE;
    m_reader = ACE_INVALID_HANDLE;
}

void CReactorNotify::_createSocketPair() {
    _closeSockets();
    int family = AF_INET6;
    m_reader = openLoopback(family);
    if (m_reader == ACE_INVALID_HANDLE) {
        family = AF_INET;
        m_reader = openLoopback(family);
    }
    if (m_reader == ACE_INVALID_HANDLE) {
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::_createSocketPair",
                       nbx::msg("Failed to create a reader notification socket."), nbx::CMessage(),
                       nbx::lastError());
    }
    m_writer = openLoopback(family);
    if (m_writer == ACE_INVALID_HANDLE) {
        std::uint32_t code = nbx::lastError();
        _closeSockets();
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::_createSocketPair",
                       nbx::msg("Failed to create a writer notification socket."), nbx::CMessage(),
                       code);
    }
    sockaddr_storage bound;
    int length = sizeof bound;
    if (ACE_OS::getsockname(m_reader, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        std::uint32_t code = nbx::lastError();
        _closeSockets();
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::_createSocketPair",
                       nbx::msg("Failed to find notification socket name."), nbx::CMessage(), code);
    }
    m_readerAddress.set(reinterpret_cast<sockaddr_in*>(&bound), length);
    if (ACE_OS::connect(m_writer, reinterpret_cast<sockaddr*>(&bound), length) != 0) {
        std::uint32_t code = nbx::lastError();
        _closeSockets();
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::_createSocketPair",
                       nbx::msg("Failed to connect writer notification socket to reader socket."),
                       nbx::CMessage(), code);
    }
    _setNonblockWrite();
    _setNonblockRead();
    int bufferSize = 0;
    int optionLength = sizeof bufferSize;
    if (ACE_OS::getsockopt(m_reader, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&bufferSize),
                           &optionLength) != 0 ||
        bufferSize <= 0) {
        bufferSize = 64 * 1024;
    }
    m_capacity = std::max<std::int64_t>(1, bufferSize / kBytesPerDatagram);
    m_pending = 0;
}

void CReactorNotify::_setNonblockWrite() {
    if (!setNonBlocking(m_writer)) {
        std::uint32_t code = nbx::lastError();
        _closeSockets();
        NBX_THROW_CODE(
            nbx::CException, kModule, "CReactorNotify::_setNonblockWrite",
            nbx::msg("Failed to set non-blocking mode for reactor notification write pipe."),
            nbx::CMessage(), code);
    }
}

void CReactorNotify::_setNonblockRead() {
    if (!setNonBlocking(m_reader)) {
        std::uint32_t code = nbx::lastError();
        _closeSockets();
        NBX_THROW_CODE(
            nbx::CException, kModule, "CReactorNotify::_setNonblockRead",
            nbx::msg("Failed to set non-blocking mode for reactor notification read pipe."),
            nbx::CMessage(), code);
    }
}

void CReactorNotify::notify(const void* pointer) {
    if (!m_reactor || m_closed.load()) {
        NBX_THROW(CExNotifyFull, kModule, "CReactorNotify::notify",
                  nbx::msg("Failed to accept reactor notification."),
                  nbx::msg("The reactor does not exist."));
    }
    if (m_pending.fetch_add(1) >= m_capacity) {
        m_pending.fetch_sub(1);
        NBX_THROW(CExNotifyFull, kModule, "CReactorNotify::notify",
                  nbx::msg("Failed to accept reactor notification."),
                  nbx::msg("Notification pipe overflow."));
    }
    unsigned char bytes[kPointerSize];
    std::memcpy(bytes, &pointer, kPointerSize);
    ssize_t sent = ACE_OS::send(m_writer, reinterpret_cast<const char*>(bytes), kPointerSize);
    if (sent == static_cast<ssize_t>(kPointerSize)) return;
    m_pending.fetch_sub(1);
    if (sent < 0) {
        std::uint32_t code = nbx::lastError();
        if (code == EWOULDBLOCK || code == EAGAIN || code == ENOBUFS) {
            NBX_THROW(CExNotifyFull, kModule, "CReactorNotify::notify",
                      nbx::msg("Failed to accept reactor notification."),
                      nbx::msg("Notification pipe overflow."));
        }
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::notify",
                       nbx::msg("Cannot write to a reactor notification pipe."), nbx::CMessage(),
                       code);
    }
    NBX_THROW(nbx::CException, kModule, "CReactorNotify::notify",
              nbx::msg("Failed to notify the target thread's reactor."),
              nbx::msg("Invalid amount of data written to the notification pipe."));
}

bool CReactorNotify::_peek(void*& pointer) {
    unsigned char bytes[kPointerSize];
    ssize_t got = ACE_OS::recv(m_reader, reinterpret_cast<char*>(bytes), kPointerSize, MSG_PEEK);
    if (got != static_cast<ssize_t>(kPointerSize)) return false;
    std::memcpy(&pointer, bytes, kPointerSize);
    return true;
}

bool CReactorNotify::_tryRead(void*& pointer) {
    if (m_reader == ACE_INVALID_HANDLE) return false;
    unsigned char bytes[kPointerSize + 1];
    ssize_t got = ACE_OS::recv(m_reader, reinterpret_cast<char*>(bytes), sizeof bytes);
    if (got < 0) {
        std::uint32_t code = nbx::lastError();
        if (code == EWOULDBLOCK || code == EAGAIN) return false;
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::_readData",
                       nbx::msg("Failed to receive reactor notification."), nbx::CMessage(), code);
    }
    m_pending.fetch_sub(1);
    if (got != static_cast<ssize_t>(kPointerSize)) {
        NBX_THROW(nbx::CException, kModule, "CReactorNotify::_readData",
                  nbx::msg("Failed to receive a full reactor notification."),
                  nbx::msg("Invalid amount of data read from the notification pipe."));
    }
    std::memcpy(&pointer, bytes, kPointerSize);
    return true;
}

void* CReactorNotify::_readData() {
    void* pointer = nullptr;
    if (!_tryRead(pointer)) {
        NBX_THROW(nbx::CException, kModule, "CReactorNotify::_readData",
                  nbx::msg("Failed to receive reactor notification."),
                  nbx::msg("No data available."));
    }
    return pointer;
}

int CReactorNotify::handle_input(ACE_HANDLE) {
    void* pointer = nullptr;
    if (!_peek(pointer)) return 0;
    _readData();
    if (pointer != nullptr) {
        NBX_THROW(nbx::CException, kModule, "CReactorNotify::handle_input",
                  nbx::msg("Error reading a reactor notification pipe."),
                  nbx::msg("Specialized data received out of context."));
    }
    return 0;
}
