#pragma once
// The arguments of the command-line console, `nbx-console [options] [COMMAND...]`, read into its
// options and the text of the command to send.
//
// Options come first; the first argument that is not an option (or everything after "--")
// starts the command, so a command's values may begin with "-". The command's first argument is
// its verb (with its topic, or the whole command, in the same argument if quoted so); the
// second is the topic unless it holds "="; every further argument is one key=value line:
//
//   add policy name=p1 description=x   ->   "add policy\nname=p1\ndescription=x"

#include <cstdint>
#include <string>
#include <vector>

namespace host {

class CConsoleCommandLine {
public:
    static constexpr const char* kDefaultServer = "127.0.0.1:7071";
    // The query port when -s names an address without one.
    static constexpr std::uint16_t kDefaultQueryPort = 7071;
    static constexpr const char* kDefaultUser = "admin";

    // `arguments` without the program name. Throws "Invalid command line." with a reason that
    // names the offending argument.
    explicit CConsoleCommandLine(const std::vector<std::string>& arguments);

    const std::string& server() const { return m_server; }
    const std::string& user() const { return m_user; }
    // Empty when -p was not given.
    const std::string& passwordFile() const { return m_passwordFile; }
    bool ipv6() const { return m_ipv6; }
    bool help() const { return m_help; }
    // Empty when no command was given: the commands then come from standard input.
    const std::string& command() const { return m_command; }
    // What chooses the session's family before any command.
    std::string contextCommand() const { return m_ipv6 ? "set_context=6" : "set_context=4"; }

    // The command text of `words` (see above), without the empty line that ends it on the wire.
    // Throws as the constructor does for an argument that is neither verb, topic nor key=value
    // line, and for one holding a line break, which would split the command.
    static std::string commandText(const std::vector<std::string>& words);

    static const char* usage();

private:
    std::string m_server = kDefaultServer;
    std::string m_user = kDefaultUser;
    std::string m_passwordFile;
    bool m_ipv6 = false;
    bool m_help = false;
    std::string m_command;
};

}  // namespace host
