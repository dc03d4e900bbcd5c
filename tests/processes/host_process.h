#pragma once
// One real host for the tests: nbxd started as a process on loopback ports with a configuration
// file of its own in a fresh data folder, and a console session to it as an administrator.
// The host keeps its folder and ports across stop(), kill() and start().
//
// The user defines NBXD_PATH (the daemon executable).

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "host/console_command_client.h"
#include "testing/eventually.h"

extern char** environ;

namespace nbx::testing {

// A port that is free now (the system's choice for a socket of `type`).
inline std::uint16_t freePort(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

// How often `part` stands in `text` (a log line that repeats, say).
inline int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// An administrator's console session to a host, which connects again after a lost connection.
class HostSession {
public:
    HostSession(std::uint16_t queryPort, std::string password)
        : m_queryPort(queryPort), m_password(std::move(password)) {}

    // One command in `family`; the response text. `code` gets the client's result (0 ack, 1 ack
    // with message, 2 nak, 3 connection lost).
    std::string command(const std::string& text, int family = 4, int* code = nullptr) {
        std::string response;
        int result = CRConsoleClient::kDisconnected;
        for (int attempt = 0; attempt < 2 && result == CRConsoleClient::kDisconnected; ++attempt) {
            if (!m_client && !connect()) break;
            try {
                std::string ignored;
                if (m_family != family) {
                    m_client->execute("set_context=" + std::to_string(family), ignored);
                    m_family = family;
                }
                result = m_client->execute(text, response);
            } catch (nbx::CException&) {
                result = CRConsoleClient::kDisconnected;
            }
            if (result == CRConsoleClient::kDisconnected) m_client.reset();
        }
        if (code) *code = result;
        return response;
    }
    void close() { m_client.reset(); }
    bool connect() {
        m_client.reset();
        m_family = 0;
        auto client = std::make_unique<host::CConsoleCommandClient>(
            "admin", [this] { return m_password; }, m_queryPort, 5, 60);
        try {
            if (!client->connect("127.0.0.1:" + std::to_string(m_queryPort))) return false;
        } catch (nbx::CException&) {
            return false;
        }
        m_client = std::move(client);
        return true;
    }

private:
    std::uint16_t m_queryPort;
    std::string m_password;
    std::unique_ptr<host::CConsoleCommandClient> m_client;
    int m_family = 0;
};

class HostProcess {
public:
    // A host of node `node` under `root`/host<node>; `extra` lines go into its configuration
    // (sync intervals of 1 s unless they set others).
    HostProcess(const std::string& root, std::uint32_t node, const std::string& extra = "")
        : m_node(node),
          m_folder(root + "/host" + std::to_string(node)),
          m_password("secret-" + std::to_string(node)),
          m_tcpPort(freePort(SOCK_STREAM)),
          m_queryPort(freePort(SOCK_DGRAM)),
          m_session(m_queryPort, m_password) {
        ::mkdir(m_folder.c_str(), 0755);
        ::mkdir((m_folder + "/data").c_str(), 0755);
        writeConfig(extra);
    }
    ~HostProcess() {
        if (m_pid > 0) kill();
    }

    // Runs the daemon in the network namespace `ns` (`ip netns exec`), its console listening on
    // every address there; `extra` as for the constructor. The host's own session then works
    // only from a thread inside that namespace.
    void runIn(const std::string& ns, const std::string& extra) {
        m_namespace = ns;
        writeConfig(extra);
    }
    // Another query port (for a port that is taken) and other extra lines. The session stays on
    // the first port: start() must not take the other host's console for this one's.
    void reconfigure(std::uint16_t queryPort, const std::string& extra) {
        m_queryPort = queryPort;
        writeConfig(extra);
    }
    void writeConfig(const std::string& extra) {
        const std::string path = configPath();
        std::ofstream out(path, std::ios::trunc);
        out << "host.node_id=" << m_node << "\nhost.data_dir=" << m_folder << "/data\n"
            << "rconsole.listen_on=" << (m_namespace.empty() ? "127.0.0.1" : "0.0.0.0")
            << "\nrconsole.port=" << m_tcpPort << "\nhost.query_port=" << m_queryPort
            << "\nrconsole.password=" << m_password << "\n";
        // A key may appear only once in the file: `extra` may choose its own intervals.
        for (const char* key : {"ipv4.dhcpv4.sync.interval", "ipv6.dhcpv6.sync.interval"}) {
            if (extra.find(std::string(key) + "=") == std::string::npos) out << key << "=1\n";
        }
        out << extra;
        out.close();
        ::chmod(path.c_str(), 0600);
    }

    // Starts nbxd and waits until its console answers; false when it did not come up.
    bool start() {
        const std::string config = configPath();
        const std::string output = m_folder + "/nbxd.out";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const char* direct[] = {NBXD_PATH, "-c", config.c_str(), nullptr};
        // `ip netns exec` execs the daemon in place: the pid is the daemon's.
        const char* wrapped[] = {"ip",      "netns", "exec",         m_namespace.c_str(),
                                 NBXD_PATH, "-c",    config.c_str(), nullptr};
        const char** argv = m_namespace.empty() ? direct : wrapped;
        const int failed =
            posix_spawnp(&m_pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            m_pid = -1;
            return false;
        }
        return eventually([&] {
                   if (exited()) return true;
                   return m_session.connect();
               }) &&
               !exited();
    }
    // SIGTERM; the exit status (-1 when it did not end in time).
    int stop() { return _end(SIGTERM); }
    void kill() { _end(SIGKILL); }

    // One command in `family` on the host's own console session (see HostSession).
    std::string command(const std::string& text, int family = 4, int* code = nullptr) {
        return m_session.command(text, family, code);
    }
    // The value of `key` in a response (its first line with the key), or empty.
    static std::string value(const std::string& response, const std::string& key) {
        const std::string lines = "\n" + response;
        const std::size_t at = lines.find("\n" + key + "=");
        if (at == std::string::npos) return std::string();
        const std::size_t from = at + key.size() + 2;
        return lines.substr(from, lines.find('\n', from) - from);
    }

    // The replicate_peer record that makes `peer` a peer of this host.
    std::string peerRecord(const HostProcess& peer,
                           const std::string& extra = "classes=*\n") const {
        return "add replicate_peer\ntarget=" + peer.target() +
               "\nconsole_user=admin\nconsole_pass=" + peer.m_password + "\n" + extra;
    }

    std::string target() const { return "127.0.0.1:" + std::to_string(m_queryPort); }
    std::string configPath() const { return m_folder + "/nbxd.conf"; }
    std::string dataDir() const { return m_folder + "/data"; }
    std::string logText() const { return readFile(dataDir() + "/nbxd.log"); }
    std::string output() const { return readFile(m_folder + "/nbxd.out"); }
    std::uint32_t node() const { return m_node; }
    std::uint16_t queryPort() const { return m_queryPort; }
    const std::string& password() const { return m_password; }
    pid_t pid() const { return m_pid; }

private:
    bool exited() {
        int status = 0;
        if (m_pid <= 0) return true;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            m_pid = -1;
            return true;
        }
        return false;
    }
    int _end(int signal) {
        m_session.close();
        if (m_pid <= 0) return m_status;
        ::kill(m_pid, signal);
        if (!eventually([&] { return exited(); }, std::chrono::seconds(60))) return -1;
        return m_status;
    }
    std::uint32_t m_node;
    std::string m_folder;
    std::string m_password;
    std::uint16_t m_tcpPort;
    std::uint16_t m_queryPort;
    // Made with the first query port: reconfigure() must not move it to another host's console.
    HostSession m_session;
    std::string m_namespace;
    pid_t m_pid = -1;
    int m_status = -1;
};

}  // namespace nbx::testing
