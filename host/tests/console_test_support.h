#pragma once
// Helpers for the console tests: a console server with the context handler and a scripted one, a
// console client, and raw TCP/UDP ends on 127.0.0.1 for clients that misbehave.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "host/console_command_client.h"
#include "host/console_server.h"
#include "host/context_command_handler.h"
#include "host/scripted_command_handler.h"

namespace consoletest {

const std::string kGreeting = "NBX host console\n\n";

// A started server for user "admin" with password "secret"; commands past the context go to
// `handler` (none: to no one). `adjust` changes the rest of the configuration.
inline std::unique_ptr<host::CConsoleServer> serve(
    bool clear, std::shared_ptr<host::CIConsoleCommandHandler> handler,
    const std::function<void(host::CConsoleServerConfig&)>& adjust = {}) {
    host::CConsoleServerConfig config;
    config.clear = clear;
    config.user = "admin";
    config.password = "secret";
    if (adjust) adjust(config);
    auto server = std::make_unique<host::CConsoleServer>(config);
    server->addHandler(std::make_shared<host::CContextCommandHandler>());
    server->addHandler(std::move(handler));
    server->start();
    return server;
}

// A console client that logs in as `user` with `password` and keeps the last response's text.
class Client : public host::CConsoleCommandClient {
public:
    Client(const std::string& user = "", const std::string& password = "")
        : host::CConsoleCommandClient(
              user, [password] { return password; }, 0, 5, 5) {}
    int command(const std::string& text) { return execute(text, response); }

    std::string response;
};

inline sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A plain socket connected to `port`; -1 when it failed.
inline int rawConnect(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in remote = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) return fd;
    ::close(fd);
    return -1;
}

// Sends every byte; false when the peer has gone.
inline bool rawSend(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

// Reads until `count` bytes came, the peer closed or `ms` passed; `closed` tells whether the
// peer closed (end of stream or reset).
inline std::string rawRead(int fd, std::size_t count, int ms = 5000, bool* closed = nullptr) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buffer[4096];
    pollfd entry{fd, POLLIN, 0};
    while (out.size() < count && std::chrono::steady_clock::now() < end) {
        if (::poll(&entry, 1, 50) <= 0) continue;
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, count - out.size()), 0);
        if (got <= 0) {
            if (closed) *closed = true;
            break;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

// Whether the peer closed the connection within `ms` (bytes before the end are dropped).
inline bool rawClosed(int fd, int ms = 5000) {
    bool closed = false;
    rawRead(fd, std::string::npos, ms, &closed);
    return closed;
}

// Sends one datagram to `port` and returns the answer ("" when none came within `ms`).
inline std::string rawQuery(std::uint16_t port, const std::string& datagram, int ms = 2000) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in remote = loopback(port);
    ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&remote),
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
