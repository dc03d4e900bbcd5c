#include "host/console_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "host/console_nak.h"
#include "rconsole_base/rconsole_command_splitter.h"
#include "rconsole_base/rconsole_framing.h"
#include "rconsole_base/rconsole_login.h"
#include "security/blowfish.h"
#include "standard/endpoint.h"
#include "standard/seconds.h"
#include "standard/sock_stream.h"
#include "standard/throw.h"

namespace host {

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

// The port query as the client sends it, without terminator.
constexpr char kQuery[] = "config_port";
constexpr std::size_t kQueryLength = sizeof kQuery - 1;

std::uint16_t localPort(ACE_HANDLE handle) {
    sockaddr_storage local{};
    socklen_t size = sizeof local;
    if (::getsockname(handle, reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
    if (local.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
}

std::string peerText(ACE_HANDLE handle) {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(handle, reinterpret_cast<sockaddr*>(&peer), &size) != 0) return "unknown";
    try {
        ACE_INET_Addr address(reinterpret_cast<const sockaddr_in*>(&peer), static_cast<int>(size));
        return nbx::CEndpoint(address).string();
    } catch (nbx::CException&) {
        return "unknown";
    }
}

// A socket of `type` bound to `local`; IPv6 sockets take IPv4 clients too. Invalid with errno
// set on failure.
ACE_HANDLE openBound(const nbx::CEndpoint& local, int type) {
    const int family = local.get_type();
    ACE_HANDLE handle = ::socket(family, type | SOCK_CLOEXEC, 0);
    if (handle == ACE_INVALID_HANDLE) return handle;
    int on = 1;
    int off = 0;
    int result = 0;
    if (type == SOCK_STREAM)
        result = ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (result == 0 && family == AF_INET6) {
        result = ::setsockopt(handle, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    if (result == 0) {
        result = ::bind(handle, static_cast<const sockaddr*>(local.get_addr()),
                        static_cast<socklen_t>(local.get_size()));
    }
    if (result == 0 && type == SOCK_STREAM) result = ::listen(handle, SOMAXCONN);
    // Neither socket may block the acceptor loop when a client vanished after poll saw it.
    if (result == 0) result = ::fcntl(handle, F_SETFL, O_NONBLOCK);
    if (result != 0) {
        const int code = errno;
        ::close(handle);
        errno = code;
        return ACE_INVALID_HANDLE;
    }
    return handle;
}

}  // namespace

struct CConsoleServer::Connection {
    Connection(std::uint64_t id, ACE_HANDLE socket)
        : handle(socket), session(id, peerText(socket)) {}

    ACE_HANDLE handle;  // valid while the connection thread has not closed it; under m_mutex
    CConsoleSession session;
    std::atomic<bool> done{false};
    std::thread thread;
};

CConsoleServer::CConsoleServer(const CConsoleServerConfig& config) : m_config(config) {}

CConsoleServer::~CConsoleServer() {
    stop();
    _closeSockets();  // opened, never started
}

void CConsoleServer::addHandler(std::shared_ptr<CIConsoleCommandHandler> handler) {
    if (m_running) {
        NBX_THROW(nbx::CException, kModule, "CConsoleServer::addHandler",
                  nbx::msg("Cannot add a console command handler."),
                  nbx::msg("The console server is running."));
    }
    if (handler) m_handlers.push_back(std::move(handler));
}

void CConsoleServer::start() {
    if (m_running) return;
    if (m_listener == ACE_INVALID_HANDLE) open();
    m_running = true;
    m_acceptor = std::thread([this] { _acceptLoop(); });
}

void CConsoleServer::open() {
    if (m_listener != ACE_INVALID_HANDLE) return;
    const nbx::CIPAddress address(m_config.listenAddress);
    auto fail = [&](std::uint16_t port) {
        const std::uint32_t code = nbx::lastError();
        _closeSockets();
        NBX_THROW_CODE(nbx::CException, kModule, "CConsoleServer::start",
                       nbx::msg("Cannot start the console server on %1.",
                                nbx::CEndpoint(address, port).string()),
                       nbx::CMessage(), code);
    };
    m_listener = openBound(nbx::CEndpoint(address, m_config.tcpPort), SOCK_STREAM);
    if (m_listener == ACE_INVALID_HANDLE) fail(m_config.tcpPort);
    m_query = openBound(nbx::CEndpoint(address, m_config.queryPort), SOCK_DGRAM);
    if (m_query == ACE_INVALID_HANDLE) fail(m_config.queryPort);
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) fail(m_config.tcpPort);
    m_tcpPort = localPort(m_listener);
    m_queryPort = localPort(m_query);
}

void CConsoleServer::_closeSockets() {
    for (ACE_HANDLE* handle : {&m_listener, &m_query, &m_wake[0], &m_wake[1]}) {
        if (*handle != ACE_INVALID_HANDLE) ::close(*handle);
        *handle = ACE_INVALID_HANDLE;
    }
}

void CConsoleServer::stop() {
    if (!m_running.exchange(false)) return;
    const char wake = 1;
    if (::write(m_wake[1], &wake, 1) < 0) {
        // The pipe is never full with one byte in it; nothing else can go wrong here.
    }
    m_acceptor.join();
    _closeSockets();
    {
        // Wakes every connection thread from its read or write; each then closes its socket.
        std::lock_guard<std::mutex> guard(m_mutex);
        for (const auto& connection : m_connections) {
            if (connection->handle != ACE_INVALID_HANDLE) ::shutdown(connection->handle, SHUT_RDWR);
        }
    }
    _reap(true);
}

void CConsoleServer::_reap(bool all) {
    std::list<std::unique_ptr<Connection>> ended;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (all || (*it)->done) {
                ended.push_back(std::move(*it));
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& connection : ended) connection->thread.join();
}

void CConsoleServer::_acceptLoop() {
    for (;;) {
        pollfd entries[3] = {{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}, {m_query, POLLIN, 0}};
        if (::poll(entries, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (entries[0].revents) return;
        if (entries[1].revents) _accept();
        if (entries[2].revents) _answerQuery();
    }
}

void CConsoleServer::_accept() {
    _reap(false);
    const ACE_HANDLE handle = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (handle == ACE_INVALID_HANDLE) return;  // the client gave up before it was taken
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_connections.size() >= m_config.maxConnections) {
        _log(nbx::SEVERITY_WARNING,
             nbx::msg("A console connection was refused: %1 connections are open.",
                      static_cast<unsigned long long>(m_connections.size())));
        ::close(handle);
        return;
    }
    m_connections.push_back(std::make_unique<Connection>(++m_nextId, handle));
    Connection* connection = m_connections.back().get();
    try {
        connection->thread = std::thread([this, connection] { _serve(connection); });
    } catch (std::system_error&) {
        // No thread to be had: refuse this client rather than end the acceptor.
        ::close(handle);
        m_connections.pop_back();
    }
}

void CConsoleServer::_answerQuery() {
    char datagram[200];
    sockaddr_storage from{};
    socklen_t size = sizeof from;
    const ssize_t got = ::recvfrom(m_query, datagram, sizeof datagram, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &size);
    if (got != static_cast<ssize_t>(kQueryLength) ||
        std::memcmp(datagram, kQuery, kQueryLength) != 0) {
        return;
    }
    std::string answer = std::to_string(m_tcpPort);
    if (m_config.clear) answer += ",clear";
    // A datagram that cannot go is lost like any other; the client asks again or gives up.
    ::sendto(m_query, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&from), size);
}

void CConsoleServer::_serve(Connection* connection) {
    CSockStream stream;
    stream.attach(connection->handle);
    CBlowfish cipher;
    CRConsoleChannel channel(stream, cipher);
    const bool enciphered = !m_config.clear;
    CConsoleSession& session = connection->session;
    try {
        if (!enciphered || _login(stream, cipher, connection)) {
            const std::string greeting = CRConsoleFraming::greeting(m_config.greeting);
            channel.send(greeting.data(), greeting.size(), enciphered);

            const ACE_Time_Value idle = nbx::seconds(m_config.idleTimeout);
            const ACE_Time_Value* wait = m_config.idleTimeout > 0 ? &idle : nullptr;
            CRConsoleCommandSplitter splitter;
            std::vector<char> chunk(CRConsoleFraming::kChunkSize);
            std::vector<std::string> commands;
            // An overlong command is dropped as it arrives, up to its empty line, and then
            // refused; the connection goes on. `skipping` holds while it is being dropped.
            bool skipping = false;
            bool newlineLast = false;
            for (;;) {
                const long got = channel.receive(chunk.data(), chunk.size(), wait, enciphered);
                if (got < 1) break;
                std::size_t from = 0;
                if (skipping) {
                    std::size_t at = 0;
                    for (; at < static_cast<std::size_t>(got); ++at) {
                        const bool newline = chunk[at] == '\n';
                        if (newline && newlineLast) break;
                        newlineLast = newline;
                    }
                    if (at == static_cast<std::size_t>(got)) continue;
                    skipping = false;
                    from = at + 1;
                    const std::string refusal = _refuseOverlong(session);
                    channel.send(refusal.data(), refusal.size(), enciphered);
                }
                commands.clear();
                splitter.feed(chunk.data() + from, static_cast<std::size_t>(got) - from, commands);
                for (const std::string& command : commands) {
                    session.countCommand();
                    const std::string response = _answer(session, command);
                    channel.send(response.data(), response.size(), enciphered);
                }
                if (splitter.pending() > CRConsoleFraming::kMaxMessageSize) {
                    splitter.reset();
                    skipping = true;
                    newlineLast = chunk[static_cast<std::size_t>(got) - 1] == '\n';
                }
            }
        }
    } catch (CExConsoleHangUp& e) {
        _logEnd(nbx::SEVERITY_ERROR, session, e.text());
    } catch (nbx::CException& e) {
        // Only the socket throws here: the client went away in the middle of a transmission
        // or stayed silent past its time-out. Routine for a console, so not worth a warning.
        _logEnd(nbx::SEVERITY_DEBUG, session, "the client went away (" + e.text() + ")");
    } catch (std::exception& e) {
        // Out of memory for this connection's buffers: drop it, keep the others.
        _logEnd(nbx::SEVERITY_ERROR, session, e.what());
    }
    for (const auto& handler : m_handlers) handler->onClose(session);
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        connection->handle = ACE_INVALID_HANDLE;
    }
    stream.close();
    connection->done = true;
}

bool CConsoleServer::_login(CSockStream& stream, CBlowfish& cipher, Connection* connection) {
    cipher.setKey(CRConsoleLogin::key(m_config.password));
    const std::string challenge = CRConsoleLogin::challenge();
    stream.send_blocked(challenge.data(), challenge.size());

    // One deadline for the whole proof, however the client slices it.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::seconds(std::max(m_config.loginTimeout, 0));
    std::string proof(CRConsoleLogin::kChallengeSize, '\0');
    std::size_t got = 0;
    while (got < proof.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            std::max(deadline - Clock::now(), Clock::duration::zero()));
        ACE_Time_Value wait;
        wait.set(left);
        const std::size_t count = stream.recv(&proof[got], proof.size() - got, &wait);
        if (count == 0) return false;
        got += count;
    }
    if (CRConsoleLogin::check(challenge, proof, m_config.user, cipher)) return true;
    _log(nbx::SEVERITY_WARNING,
         nbx::msg("The console login from %1 was refused.", connection->session.peer()));
    return false;
}

std::string CConsoleServer::_refuseOverlong(CConsoleSession& session) {
    const auto limit = static_cast<unsigned long long>(CRConsoleFraming::kMaxMessageSize);
    _log(nbx::SEVERITY_WARNING,
         nbx::msg("A command from %1 was refused: it is longer than %2 bytes.", session.peer(),
                  limit));
    return CRConsoleFraming::response(
        nakBlocks(nbx::msg("The command is longer than %1 bytes.", limit).text()));
}

std::string CConsoleServer::_answer(CConsoleSession& session, const std::string& command) {
    std::vector<nbx::CStringMap> blocks;
    try {
        bool taken = false;
        for (const auto& handler : m_handlers) {
            if (handler->handle(session, command, blocks)) {
                taken = true;
                break;
            }
        }
        if (!taken) blocks = nakBlocks("Unknown command.");
    } catch (CExConsoleHangUp&) {
        throw;  // ends the connection
    } catch (nbx::CException& e) {
        blocks = nakBlocks(e.text());
    } catch (std::exception& e) {
        blocks = nakBlocks(e.what());
    }
    return CRConsoleFraming::response(blocks);
}

void CConsoleServer::_logEnd(std::uint32_t severity, const CConsoleSession& session,
                             const std::string& why) {
    _log(severity, nbx::msg("The console connection from %1 ended: %2", session.peer(), why));
}

void CConsoleServer::_log(std::uint32_t severity, const nbx::CMessage& message) {
    if (!m_config.log) return;
    nbx::CMessage copy(message);
    copy.setModule(kModule);
    m_config.log->log(severity, copy);
}

}  // namespace host
