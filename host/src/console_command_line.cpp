#include "host/console_command_line.h"

#include "standard/throw.h"

namespace host {

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

[[noreturn]] void refuse(const nbx::CMessage& reason) {
    NBX_THROW_STATIC(nbx::CException, kModule, "CConsoleCommandLine",
                     nbx::msg("Invalid command line."), reason);
}

}  // namespace

CConsoleCommandLine::CConsoleCommandLine(const std::vector<std::string>& arguments) {
    std::size_t i = 0;
    for (; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            ++i;
            break;
        }
        if (argument.size() < 2 || argument[0] != '-') break;
        if (argument == "-6") {
            m_ipv6 = true;
        } else if (argument == "-h" || argument == "--help") {
            m_help = true;
        } else if (argument == "-s" || argument == "-u" || argument == "-p") {
            if (i + 1 == arguments.size()) {
                refuse(nbx::msg("Option '%1' needs a value.", argument));
            }
            const std::string& value = arguments[++i];
            (argument == "-s" ? m_server : argument == "-u" ? m_user : m_passwordFile) = value;
        } else {
            refuse(nbx::msg("Unknown option '%1'.", argument));
        }
    }
    if (m_server.empty()) refuse(nbx::msg("Option '-s' needs a value."));
    if (i < arguments.size()) {
        m_command = commandText(std::vector<std::string>(arguments.begin() + i, arguments.end()));
    }
}

std::string CConsoleCommandLine::commandText(const std::vector<std::string>& words) {
    if (words.empty() || words[0].find_first_not_of(' ') == std::string::npos) {
        refuse(nbx::msg("The command is empty."));
    }
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.find_first_of("\r\n") != std::string::npos) {
            refuse(nbx::msg("Argument '%1' holds a line break.", word));
        }
        const std::size_t equals = word.find('=');
        if (i == 0) {
            text = word;
        } else if (i == 1 && equals == std::string::npos) {
            text += ' ' + word;
        } else if (equals == std::string::npos || equals == 0) {
            refuse(nbx::msg("Argument '%1' is not a key=value pair.", word));
        } else {
            text += '\n' + word;
        }
    }
    return text;
}

const char* CConsoleCommandLine::usage() {
    return "usage: nbx-console [-s HOST:PORT] [-u USER] [-p FILE] [-6] [COMMAND...]\n"
           "  -s HOST:PORT  the console's query port (default 127.0.0.1:7071)\n"
           "  -u USER       the console user (default admin)\n"
           "  -p FILE       read the password from the first line of FILE\n"
           "                (NBX_CONSOLE_PASSWORD takes precedence; else it is asked for)\n"
           "  -6            the commands are for IPv6 (default IPv4)\n"
           "COMMAND is a verb, a topic and key=value arguments, one line each:\n"
           "  nbx-console add policy name=p1 description=x\n"
           "Without COMMAND the commands are read from standard input, each ended by an empty\n"
           "line; on a terminal interactively, until 'quit' or end of input.\n";
}

}  // namespace host
