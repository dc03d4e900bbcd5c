#pragma once
// The work of the command-line console: opens a session on a host's console (port query,
// connect, login, "set_context="), sends commands, writes each response as the server sent it
// and turns the answers into the program's exit code.
//
// Every failure to reach or keep the server is reported as one line on the error stream,
// "nbx-console: ...", and yields kFailure.

#include <functional>
#include <ostream>
#include <string>

#include "host/console_command_client.h"
#include "host/console_command_line.h"

namespace host {

class CConsoleCommandRunner {
public:
    enum ExitCode {
        kAck = 0,      // the (last) command was answered "ack"
        kNak = 1,      // it was answered "nak", or a "drift" found differences or was cut
                       // short; the response written says which
        kFailure = 2,  // no session, or the connection was lost
    };

    static constexpr const char* kProgram = "nbx-console";
    // Seconds for the port query and the login.
    static constexpr int kHandshakeTimeout = 5;
    // Seconds the server may stay silent in the middle of a response.
    static constexpr int kIoTimeout = 120;

    // The next input line without its line feed; false at the end of input. `continuation`
    // tells that the line continues a command (for a prompt).
    using LineSource = std::function<bool(bool continuation, std::string& line)>;

    CConsoleCommandRunner(const CConsoleCommandLine& options,
                          CConsoleCommandClient::PasswordSource password, std::ostream& out,
                          std::ostream& err);

    // Connects, logs in and chooses the family; false when any of it failed.
    bool open();
    // Sends one command and writes its response.
    int run(const std::string& command);
    // Sends every command that the lines bring, each ended by an empty line or the end of
    // input; a line "quit" in front of a command ends early. Stops at the first kFailure.
    // Returns the code of the last command, kAck when there was none.
    int runLines(const LineSource& next);

    // The server's greeting, once open.
    const std::string& greeting() const { return m_client.greeting(); }

private:
    // Writes the one line that says why; returns kFailure.
    int _fail(const std::string& what);
    // execute, with a lost connection reported and turned into kDisconnected.
    int _exchange(const std::string& command, std::string& response);

    CConsoleCommandClient m_client;
    std::string m_server;
    std::string m_context;
    std::ostream& m_out;
    std::ostream& m_err;
    std::string m_passwordFailure;
};

}  // namespace host
