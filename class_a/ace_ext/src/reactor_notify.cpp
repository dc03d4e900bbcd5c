#include "ace_ext/reactor_notify.h"

#include <ace/OS_NS_sys_socket.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "standard/throw.h"

namespace {

constexpr const char* kModule = "ace_ext";
constexpr std::size_t kPointerSize = 8;
static_assert(sizeof(void*) == kPointerSize, "the pipe carries 8-byte pointers");

bool setNonBlocking(ACE_HANDLE handle) {
    int flags = ::fcntl(handle, F_GETFL);
    return flags >= 0 && ::fcntl(handle, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool wouldBlock(std::uint32_t code) {
    return code == EWOULDBLOCK || code == EAGAIN;
}

}  // namespace

CReactorNotify::CReactorNotify() {}

CReactorNotify::~CReactorNotify() {
    try {
        CReactorNotify::close();
    } catch (...) {
        // A reactor that refuses the removal cannot be helped from a destructor; the sockets
        // are closed below either way.
    }
    _closeSockets();
}

void CReactorNotify::open(ACE_Reactor_Impl* reactor) {
    if (!m_closed.load()) close();
    _createSocketPair();
    m_reactor = reactor;
    bool registered = false;
    std::uint32_t code = 0;
    try {
        errno = 0;
        registered = reactor && reactor->register_handler(this, ACE_Event_Handler::READ_MASK) == 0;
        code = registered ? 0 : nbx::lastError();
    } catch (...) {
        _closeSockets();
        m_reactor = nullptr;
        throw;
    }
    if (!registered) {
        _closeSockets();
        m_reactor = nullptr;
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::open",
                       nbx::msg("Failed to register a notification pipe."), nbx::CMessage(), code);
    }
    m_closed = false;
}

void CReactorNotify::close() {
    m_closed = true;
    ACE_Reactor_Impl* reactor = m_reactor.exchange(nullptr);
    try {
        if (reactor && get_handle() != ACE_INVALID_HANDLE) {
            reactor->remove_handler(this,
                                    ACE_Event_Handler::READ_MASK | ACE_Event_Handler::DONT_CALL);
        }
    } catch (...) {
        _closeSockets();
        throw;
    }
    _closeSockets();
}

int CReactorNotify::handle_close(ACE_HANDLE, ACE_Reactor_Mask) {
    m_closed = true;
    m_reactor = nullptr;
    return 0;
}

void CReactorNotify::_closeSockets() {
    std::unique_lock<std::shared_mutex> lock(m_pipeMutex);
    m_closed = true;
    ACE_HANDLE writer = m_writer.exchange(ACE_INVALID_HANDLE);
    ACE_HANDLE reader = m_reader.exchange(ACE_INVALID_HANDLE);
    if (writer != ACE_INVALID_HANDLE) ::close(writer);
    if (reader != ACE_INVALID_HANDLE) ::close(reader);
}

void CReactorNotify::_createSocketPair() {
    _closeSockets();
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair) != 0) {
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::_createSocketPair",
                       nbx::msg("Failed to create a reader notification socket."), nbx::CMessage(),
                       nbx::lastError());
    }
    {
        std::unique_lock<std::shared_mutex> lock(m_pipeMutex);
        m_reader = pair[0];
        m_writer = pair[1];
    }
    _setNonblockWrite();
    _setNonblockRead();
}

void CReactorNotify::_setNonblockWrite() {
    if (!setNonBlocking(m_writer.load())) {
        std::uint32_t code = nbx::lastError();
        _closeSockets();
        NBX_THROW_CODE(
            nbx::CException, kModule, "CReactorNotify::_setNonblockWrite",
            nbx::msg("Failed to set non-blocking mode for reactor notification write pipe."),
            nbx::CMessage(), code);
    }
}

void CReactorNotify::_setNonblockRead() {
    if (!setNonBlocking(m_reader.load())) {
        std::uint32_t code = nbx::lastError();
        _closeSockets();
        NBX_THROW_CODE(
            nbx::CException, kModule, "CReactorNotify::_setNonblockRead",
            nbx::msg("Failed to set non-blocking mode for reactor notification read pipe."),
            nbx::CMessage(), code);
    }
}

void CReactorNotify::notify(const void* pointer) {
    std::shared_lock<std::shared_mutex> lock(m_pipeMutex);
    if (m_closed.load() || !m_reactor.load() || m_writer.load() == ACE_INVALID_HANDLE) {
        NBX_THROW(CExNotifyFull, kModule, "CReactorNotify::notify",
                  nbx::msg("Failed to accept reactor notification."),
                  nbx::msg("The reactor does not exist."));
    }
    unsigned char bytes[kPointerSize];
    std::memcpy(bytes, &pointer, kPointerSize);
    ssize_t sent = ::send(m_writer.load(), bytes, kPointerSize, MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(kPointerSize)) return;
    if (sent < 0) {
        std::uint32_t code = nbx::lastError();
        // ENOBUFS: the kernel is short of buffer memory; like a full pipe, it passes.
        if (wouldBlock(code) || code == ENOBUFS) {
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
    ssize_t got;
    {
        std::shared_lock<std::shared_mutex> lock(m_pipeMutex);
        // MSG_TRUNC: the datagram's real length, so that a malformed one is not left at the
        // head of the pipe, where it would keep the reader ready for ever.
        got = ::recv(m_reader.load(), bytes, kPointerSize, MSG_PEEK | MSG_TRUNC);
    }
    if (got < 0) return false;
    if (got != static_cast<ssize_t>(kPointerSize)) {
        _readData();  // takes the malformed datagram and throws
        return false;
    }
    std::memcpy(&pointer, bytes, kPointerSize);
    return true;
}

bool CReactorNotify::_tryRead(void*& pointer) {
    unsigned char bytes[kPointerSize];
    ssize_t got;
    std::uint32_t code = 0;
    {
        std::shared_lock<std::shared_mutex> lock(m_pipeMutex);
        ACE_HANDLE reader = m_reader.load();
        if (reader == ACE_INVALID_HANDLE) return false;
        got = ::recv(reader, bytes, kPointerSize, MSG_TRUNC);
        if (got < 0) code = nbx::lastError();
    }
    if (got < 0) {
        if (wouldBlock(code)) return false;
        NBX_THROW_CODE(nbx::CException, kModule, "CReactorNotify::_readData",
                       nbx::msg("Failed to receive reactor notification."), nbx::CMessage(), code);
    }
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
