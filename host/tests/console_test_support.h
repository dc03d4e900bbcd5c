#pragma once
// Helpers for the console server tests: a console client that keeps what it receives, and raw
// TCP/UDP ends for clients that misbehave.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "rconsole_base/rconsole_client.h"
#include "standard/exception.h"
#include "testing/failure.h"

namespace consoletest {

using nbx::testing::Failure;
using nbx::testing::failure;

class Client : public CRConsoleClient {
public:
    Client(const std::string& user = std::string(), const std::string& password = std::string())
        : CRConsoleClient("Host", 0, 0, 5, 5), m_user(user), m_password(password) {}

    void onGreeting(const std::string& text) override { greeting = text; }
    bool getPassword(std::string& out) override {
        out = m_password;
        return true;
    }
    bool getUser(std::string& out) override {
        out = m_user;
        return true;
    }
    void onReceive(const char*, std::size_t) override {}
    void onResponseBlock(const std::string& block) override { blocks.push_back(block); }

    // Sends `command`; the blocks of its response go to `out`.
    int command(const std::string& command, std::vector<std::string>* out = nullptr) {
        blocks.clear();
        const int result = sendCommand(command);
        if (out) *out = blocks;
        return result;
    }

    std::string greeting;
    std::vector<std::string> blocks;

private:
    std::string m_user;
    std::string m_password;
};

// A plain socket connected to `port` on 127.0.0.1 (or ::1); -1 when it failed.
inline int rawConnect(std::uint16_t port, bool v6 = false) {
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage remote{};
    socklen_t size;
    if (v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&remote);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        in6->sin6_addr = in6addr_loopback;
        size = sizeof *in6;
    } else {
        auto* in = reinterpret_cast<sockaddr_in*>(&remote);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        size = sizeof *in;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), size) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends every byte; false when the peer has gone.
inline bool rawSend(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

// Reads until `count` bytes came, the peer closed or `ms` passed.
inline std::string rawRead(int fd, std::size_t count, int ms = 5000) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buffer[4096];
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        pollfd entry{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&entry, 1, static_cast<int>(left)) <= 0) break;
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, count - out.size()), 0);
        if (got <= 0) break;
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

// Whether the peer closed the connection within `ms` (bytes before the end are dropped).
inline bool rawClosed(int fd, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        pollfd entry{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&entry, 1, static_cast<int>(left)) <= 0) return false;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return true;  // end of stream or reset
    }
}

// Sends one datagram to `port` on 127.0.0.1 and returns the answer ("" when none came within
// `ms`).
inline std::string rawQuery(std::uint16_t port, const std::string& datagram, int ms = 2000) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&remote),
             sizeof remote);
    std::string answer;
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, ms) > 0) {
        char buffer[512];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) answer.assign(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return answer;
}

}  // namespace consoletest
