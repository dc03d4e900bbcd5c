#pragma once
// The host's remote console: answers the port query ("config_port") on a UDP port with its TCP
// port ("<port>" or "<port>,clear"), accepts TCP connections, logs each client in (enciphered
// mode: challenge and proof, see CRConsoleLogin), greets it and answers its commands through the
// command handlers, one thread per connection.
//
// A connection is closed on a wrong login proof, on a login that does not arrive within the
// login time-out, and when the client goes away; the server goes on serving the others. A command
// longer than CRConsoleFraming::kMaxMessageSize is dropped as it arrives and answered "nak". stop()
// closes the listener and every connection and joins every thread.

#include <ace/os_include/sys/os_types.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/console_command_handler.h"
#include "rconsole_base/rconsole_channel.h"
#include "standard/exception_facade.h"

namespace host {

struct CConsoleServerConfig {
    // "::" listens on every address of both families; "127.0.0.1" or "::1" on loopback only.
    std::string listenAddress = "::";
    std::uint16_t tcpPort = 0;    // 0: a free port chosen by the system
    std::uint16_t queryPort = 0;  // UDP; 0: a free port chosen by the system
    bool clear = false;           // clear-text mode instead of the enciphered one
    std::string user;
    std::string password;
    std::string greeting = "NBX host console";
    // Seconds a client has to send its login proof.
    int loginTimeout = 30;
    // Seconds a connection may stay silent between commands; 0: without limit.
    int idleTimeout = 0;
    // Connections served at once (one thread each); further ones are closed at once.
    std::size_t maxConnections = 64;
    // Where refused logins and dropped connections are reported; none: not reported.
    nbx::CILogSink* log = nullptr;
};

class CConsoleServer {
public:
    explicit CConsoleServer(const CConsoleServerConfig& config);
    ~CConsoleServer();  // stops
    CConsoleServer(const CConsoleServer&) = delete;
    CConsoleServer& operator=(const CConsoleServer&) = delete;

    // Where refused logins and dropped connections are reported; only before start.
    void setLog(nbx::CILogSink* log) { m_config.log = log; }
    // Adds a command handler; only before start.
    void addHandler(std::shared_ptr<CIConsoleCommandHandler> handler);

    // Opens both ports without serving yet, so that a port in use is known before anything else
    // starts. Throws "Cannot start the console server on %1." with the errno when a port cannot
    // be opened.
    void open();
    // Opens the ports (unless open() did) and starts serving.
    void start();
    // Idempotent; never waits on a client.
    void stop();

    bool running() const { return m_running; }
    std::uint16_t tcpPort() const { return m_tcpPort; }
    std::uint16_t queryPort() const { return m_queryPort; }

private:
    struct Connection;

    void _closeSockets();
    void _acceptLoop();
    void _accept();
    void _answerQuery();
    void _serve(Connection* connection);
    bool _login(CSockStream& stream, CBlowfish& cipher, Connection* connection);
    std::string _answer(CConsoleSession& session, const std::string& command);
    std::string _refuseOverlong(CConsoleSession& session);
    // Joins the threads of ended connections (all of them when `all`).
    void _reap(bool all);
    // Why a connection ended, logged once its loop is over.
    void _logEnd(std::uint32_t severity, const CConsoleSession& session, const std::string& why);
    void _log(std::uint32_t severity, const nbx::CMessage& message);

    CConsoleServerConfig m_config;
    std::vector<std::shared_ptr<CIConsoleCommandHandler>> m_handlers;
    ACE_HANDLE m_listener = ACE_INVALID_HANDLE;
    ACE_HANDLE m_query = ACE_INVALID_HANDLE;
    int m_wake[2] = {-1, -1};  // a byte on it ends the acceptor loop
    std::uint16_t m_tcpPort = 0;
    std::uint16_t m_queryPort = 0;
    std::atomic<bool> m_running{false};
    std::thread m_acceptor;
    std::mutex m_mutex;  // guards m_connections and each connection's handle
    std::list<std::unique_ptr<Connection>> m_connections;
    std::uint64_t m_nextId = 0;
};

}  // namespace host
