#pragma once
// A raw console peer for the faults that a real console server cannot be made to show: a UDP
// socket that answers every datagram with a scripted answer, and a TCP listener whose
// connections are handed, one after the other, to a scripted function on the console's own
// thread. Every wait of a script ends early when the console is destroyed.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nbx::testing {

// One connection as a script sees it.
class ScriptedPeer {
public:
    ScriptedPeer(int socket, int stop) : m_socket(socket), m_stop(stop) {}

    // Reads until `count` bytes have arrived, the peer closed, the console stops or `timeoutMs`
    // passed; returns what arrived.
    std::string read(std::size_t count, int timeoutMs = 5000) {
        std::string out;
        _readWhile([&] { return count - out.size(); }, out, timeoutMs);
        return out;
    }
    // Reads until the bytes read end with `marker` (or as read() gives up). Reads byte by byte,
    // so nothing after the marker is taken.
    std::string readUntil(const std::string& marker, int timeoutMs = 5000) {
        std::string out;
        _readWhile(
            [&]() -> std::size_t {
                const bool found =
                    out.size() >= marker.size() &&
                    out.compare(out.size() - marker.size(), marker.size(), marker) == 0;
                return found ? 0 : 1;
            },
            out, timeoutMs);
        return out;
    }
    // Sends every byte; false when the peer is gone or the console stops.
    bool write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            pollfd entries[2] = {{m_socket, POLLOUT, 0}, {m_stop, POLLIN, 0}};
            if (::poll(entries, 2, -1) < 0) continue;
            if (entries[1].revents) return false;
            ssize_t sent = ::send(m_socket, bytes.data() + done, bytes.size() - done,
                                  MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (sent <= 0) return false;
            done += static_cast<std::size_t>(sent);
        }
        return true;
    }
    // Waits `ms` milliseconds, or less when the console stops.
    void pause(int ms) {
        pollfd entry{m_stop, POLLIN, 0};
        ::poll(&entry, 1, ms);
    }
    // Makes the close after the script a reset (RST) rather than an orderly end.
    void reset() {
        const linger abort{1, 0};
        ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    // Reads and drops bytes until the peer closes its side; false when it did not within
    // `timeoutMs`.
    bool peerClosed(int timeoutMs = 5000) {
        std::string ignored;
        bool closed = false;
        _readWhile(
            [&]() -> std::size_t {
                ignored.clear();
                return 4096;
            },
            ignored, timeoutMs, &closed);
        return closed;
    }

private:
    // Reads while want() asks for bytes (at most that many at a time).
    template <class Want>
    void _readWhile(Want want, std::string& out, int timeoutMs, bool* closed = nullptr) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::vector<char> buffer;
        for (std::size_t wanted = want(); wanted > 0; wanted = want()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return;
            pollfd entries[2] = {{m_socket, POLLIN, 0}, {m_stop, POLLIN, 0}};
            if (::poll(entries, 2, static_cast<int>(left.count())) <= 0) continue;
            if (entries[1].revents) return;
            buffer.resize(wanted);
            ssize_t got = ::recv(m_socket, buffer.data(), wanted, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                if (closed) *closed = true;
                return;
            }
            out.append(buffer.data(), static_cast<std::size_t>(got));
        }
    }

    int m_socket;
    int m_stop;
};

class ScriptedConsole {
public:
    using Script = std::function<void(ScriptedPeer&)>;

    // Listens on `host` ("127.0.0.1" or "::1") with ports chosen by the system. The port-query
    // answer defaults to "<tcp port>,clear".
    explicit ScriptedConsole(const std::string& host = "127.0.0.1")
        : m_host(host), m_family(host.find(':') == std::string::npos ? AF_INET : AF_INET6) {
        if (::pipe2(m_stop, O_CLOEXEC) != 0) return;
        m_listener = _open(SOCK_STREAM);
        m_dgram = _open(SOCK_DGRAM);
        if (m_listener < 0 || m_dgram < 0) return;
        m_tcpPort = _port(m_listener);
        m_queryPort = _port(m_dgram);
        m_answer = std::to_string(m_tcpPort) + ",clear";
        m_tcpThread = std::thread([this] { _serveTcp(); });
        m_udpThread = std::thread([this] { _serveUdp(); });
    }
    ~ScriptedConsole() {
        if (m_stop[1] >= 0 && ::write(m_stop[1], "x", 1) < 0) {
        }
        if (m_tcpThread.joinable()) m_tcpThread.join();
        if (m_udpThread.joinable()) m_udpThread.join();
        for (int fd : {m_listener, m_dgram, m_stop[0], m_stop[1]}) {
            if (fd >= 0) ::close(fd);
        }
    }
    ScriptedConsole(const ScriptedConsole&) = delete;
    ScriptedConsole& operator=(const ScriptedConsole&) = delete;

    bool ready() const { return m_tcpPort != 0 && m_queryPort != 0; }
    std::uint16_t tcpPort() const { return m_tcpPort; }
    std::uint16_t queryPort() const { return m_queryPort; }
    // The server text that sends the port query here: "127.0.0.1:<query port>".
    std::string target() const { return _text(m_queryPort); }
    // The TCP endpoint text, for a direct connect.
    std::string tcpTarget() const { return _text(m_tcpPort); }

    // The datagram sent back to every query (its bytes as given, no terminator added).
    void setAnswer(const std::string& answer) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_answer = answer;
    }
    // Run for every connection, in turn. Without a script a connection is closed at once.
    void setScript(Script script) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_script = std::move(script);
    }
    std::vector<std::string> queries() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_queries;
    }
    // Waits until `count` connections have been served (their scripts returned); false after
    // `timeoutMs`.
    bool waitServed(std::size_t count, int timeoutMs = 10000) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_served_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [&] { return m_served >= count; });
    }

private:
    std::string _text(std::uint16_t port) const {
        return (m_family == AF_INET6 ? "[" + m_host + "]" : m_host) + ":" + std::to_string(port);
    }

    int _open(int type) {
        int fd = ::socket(m_family, type | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        sockaddr_storage local{};
        socklen_t size;
        if (m_family == AF_INET) {
            auto* in = reinterpret_cast<sockaddr_in*>(&local);
            in->sin_family = AF_INET;
            in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            size = sizeof *in;
        } else {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&local);
            in6->sin6_family = AF_INET6;
            in6->sin6_addr = in6addr_loopback;
            size = sizeof *in6;
        }
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), size) != 0 ||
            (type == SOCK_STREAM && ::listen(fd, 8) != 0)) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    static std::uint16_t _port(int fd) {
        sockaddr_storage local{};
        socklen_t size = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
        if (local.ss_family == AF_INET6) {
            return ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
        }
        return ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    }

    void _serveTcp() {
        for (;;) {
            pollfd entries[2] = {{m_stop[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
            if (::poll(entries, 2, -1) < 0) continue;
            if (entries[0].revents) return;
            int peer = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer < 0) continue;
            Script script;
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                script = m_script;
            }
            ScriptedPeer scripted(peer, m_stop[0]);
            if (script) script(scripted);
            ::close(peer);
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                ++m_served;
            }
            m_served_cv.notify_all();
        }
    }

    void _serveUdp() {
        for (;;) {
            pollfd entries[2] = {{m_stop[0], POLLIN, 0}, {m_dgram, POLLIN, 0}};
            if (::poll(entries, 2, -1) < 0) continue;
            if (entries[0].revents) return;
            char datagram[512];
            sockaddr_storage from{};
            socklen_t size = sizeof from;
            ssize_t got = ::recvfrom(m_dgram, datagram, sizeof datagram, 0,
                                     reinterpret_cast<sockaddr*>(&from), &size);
            if (got < 0) continue;
            std::string answer;
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                m_queries.emplace_back(datagram, static_cast<std::size_t>(got));
                answer = m_answer;
            }
            ::sendto(m_dgram, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from),
                     size);
        }
    }

    std::string m_host;
    int m_family;
    int m_stop[2] = {-1, -1};
    int m_listener = -1;
    int m_dgram = -1;
    std::uint16_t m_tcpPort = 0;
    std::uint16_t m_queryPort = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_served_cv;
    std::size_t m_served = 0;
    std::string m_answer;
    Script m_script;
    std::vector<std::string> m_queries;
    std::thread m_tcpThread;
    std::thread m_udpThread;
};

}  // namespace nbx::testing
