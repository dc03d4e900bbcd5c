#pragma once
// A console peer on loopback for tests and benchmarks: the host's real console server with the
// context handler and a recording, scriptable handler.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/console_server.h"
#include "host/context_command_handler.h"
#include "host/scripted_command_handler.h"
#include "testing/eventually.h"

namespace nbx::testing {

// A replication peer's server: the host's console server with the context handler and a
// recording, scriptable handler. Its ports stay the same across stop() and start().
class Peer {
public:
    Peer(const std::string& user = "replicator", const std::string& password = "peer-password")
        : m_user(user), m_password(password) {
        start();
    }
    ~Peer() { stop(); }

    void start() {
        host::CConsoleServerConfig config;
        config.listenAddress = "127.0.0.1";
        config.user = m_user;
        config.password = m_password;
        config.tcpPort = m_tcpPort;
        config.queryPort = m_queryPort;
        m_server = std::make_unique<host::CConsoleServer>(config);
        m_server->addHandler(std::make_shared<host::CContextCommandHandler>());
        m_server->addHandler(script);
        m_server->start();
        m_tcpPort = m_server->tcpPort();
        m_queryPort = m_server->queryPort();
    }
    void stop() {
        if (m_server) m_server->stop();
        m_server.reset();
    }

    // The server text of the port query.
    std::string target() const { return "127.0.0.1:" + std::to_string(m_queryPort); }
    std::uint16_t tcpPort() const { return m_tcpPort; }
    // The sync commands received so far, in order.
    std::vector<std::string> commands() const { return script->commands(); }
    // Waits until `count` commands have arrived.
    bool received(std::size_t count) const {
        return eventually([&] { return commands().size() >= count; });
    }

    std::shared_ptr<host::CScriptedCommandHandler> script =
        std::make_shared<host::CScriptedCommandHandler>();

private:
    std::string m_user;
    std::string m_password;
    std::unique_ptr<host::CConsoleServer> m_server;
    std::uint16_t m_tcpPort = 0;
    std::uint16_t m_queryPort = 0;
};

}  // namespace nbx::testing
