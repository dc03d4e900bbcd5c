#include "host/console_command_runner.h"

#include <utility>
#include <vector>

#include "rconsole_base/rconsole_command_splitter.h"
#include "standard/exception.h"

namespace host {

namespace {

// What CRConsoleClient raises when the server closes the connection instead of greeting: the
// way a server refuses a login proof.
constexpr const char* kLoginRefused = "Failed to login to remote server.";

// Whether the last block of a "drift" response reports the peer in step: no difference and a
// complete comparison.
bool inStep(const std::string& response) {
    std::size_t start = response.rfind("\n-\n");
    start = start == std::string::npos ? 0 : start + 3;
    const std::string last = "\n" + response.substr(start);
    return last.find("\ndifferences=0\n") != std::string::npos &&
           last.find("\ncomplete=yes\n") != std::string::npos;
}

bool isDrift(const std::string& command) {
    return command.compare(0, 5, "drift") == 0 &&
           (command.size() == 5 || command.find_first_of(" \t\n", 5) == 5);
}

std::string reasonOf(nbx::CException& e) {
    const std::string reason = e.reason().text();
    return reason.empty() ? e.message().text() : reason;
}

}  // namespace

CConsoleCommandRunner::CConsoleCommandRunner(const CConsoleCommandLine& options,
                                             CConsoleCommandClient::PasswordSource password,
                                             std::ostream& out, std::ostream& err)
    : m_client(
          options.user(),
          // Remembers that the password, not the server, failed the connect.
          [this, password = std::move(password)]() -> std::string {
              try {
                  return password ? password() : std::string();
              } catch (nbx::CException& e) {
                  m_passwordFailure = e.text();
                  throw;
              }
          },
          CConsoleCommandLine::kDefaultQueryPort, kHandshakeTimeout, kIoTimeout),
      m_server(options.server()),
      m_context(options.contextCommand()),
      m_out(out),
      m_err(err) {}

int CConsoleCommandRunner::_fail(const std::string& what) {
    m_err << kProgram << ": " << what << '\n';
    m_err.flush();
    return kFailure;
}

bool CConsoleCommandRunner::open() {
    try {
        // False only when a credential hook cancels the login, which ours never do.
        if (!m_client.connect(m_server)) {
            _fail("login refused by " + m_server);
            return false;
        }
    } catch (nbx::CException& e) {
        if (!m_passwordFailure.empty()) {
            _fail(m_passwordFailure);
        } else if (e.message().text() == kLoginRefused) {
            _fail("login refused by " + m_server);
        } else {
            _fail("cannot connect to " + m_server + ": " + reasonOf(e));
        }
        return false;
    }
    std::string response;
    const int result = _exchange(m_context, response);
    if (result == CRConsoleClient::kRejected) {
        _fail(m_server + " refused " + m_context + ": " + m_client.lastMessage());
    }
    return result == CRConsoleClient::kAcknowledged || result == CRConsoleClient::kOutdated;
}

int CConsoleCommandRunner::_exchange(const std::string& command, std::string& response) {
    try {
        const int result = m_client.execute(command, response);
        if (result == CRConsoleClient::kDisconnected) {
            _fail(m_server + " closed the connection before it answered");
        }
        return result;
    } catch (nbx::CException& e) {
        _fail("lost the connection to " + m_server + ": " + reasonOf(e));
        return CRConsoleClient::kDisconnected;
    }
}

int CConsoleCommandRunner::run(const std::string& command) {
    std::string response;
    const int result = _exchange(command, response);
    m_out << response;
    m_out.flush();
    if (result == CRConsoleClient::kDisconnected) return kFailure;
    if (result == CRConsoleClient::kRejected) return kNak;
    // A drift report that finds differences, or could not finish, fails a script.
    if (isDrift(command) && !inStep(response)) return kNak;
    return kAck;
}

int CConsoleCommandRunner::runLines(const LineSource& next) {
    CRConsoleCommandSplitter splitter;
    std::vector<std::string> commands;
    int code = kAck;
    std::string line;
    for (bool more = true; more;) {
        const bool inCommand = splitter.pending() > 0;
        more = next(inCommand, line);
        if (more) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!inCommand && line == "quit") break;
            // Blank lines between commands would otherwise start the next command.
            if (!inCommand && line.find_first_not_of(" \t") == std::string::npos) continue;
            line += '\n';
        } else {
            // The end of input ends the last command as an empty line would.
            line = inCommand ? "\n" : "";
        }
        commands.clear();
        splitter.feed(line.data(), line.size(), commands);
        for (const std::string& command : commands) {
            code = run(command);
            if (code == kFailure) return code;
        }
    }
    return code;
}

}  // namespace host
