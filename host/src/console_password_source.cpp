#include "host/console_password_source.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "standard/throw.h"

namespace host {

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // the prompt is a courtesy; the read decides
        done += static_cast<std::size_t>(written);
    }
}

}  // namespace

CConsolePasswordSource::CConsolePasswordSource(const char* variable, const std::string& file,
                                               const std::string& prompt)
    : m_hasVariable(variable != nullptr),
      m_variable(variable ? variable : ""),
      m_file(file),
      m_prompt(prompt) {}

std::string CConsolePasswordSource::password() const {
    if (m_hasVariable) return m_variable;
    if (!m_file.empty()) return _fromFile();
    return _fromTerminal();
}

std::string CConsolePasswordSource::_fromFile() const {
    std::ifstream in(m_file, std::ios::binary);
    std::string line;
    if (in.is_open()) std::getline(in, line);
    // A directory opens and fails on the first read; an empty file is an empty password.
    if (!in.is_open() || in.bad()) {
        const std::uint32_t code = nbx::lastError();
        NBX_THROW_CODE(nbx::CException, kModule, "CConsolePasswordSource::password",
                       nbx::msg("Cannot read the password file '%1'.", m_file), nbx::CMessage(),
                       code);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string CConsolePasswordSource::_fromTerminal() const {
    // The terminal itself, not standard input: the commands may be arriving there.
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        NBX_THROW(nbx::CException, kModule, "CConsolePasswordSource::password",
                  nbx::msg("No password."),
                  nbx::msg("Set %1 or give -p FILE when there is no terminal.", kVariable));
    }
    termios saved{};
    const bool terminal = ::tcgetattr(fd, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    writeAll(fd, m_prompt);
    std::string line;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || c == '\n') break;
        line += c;
    }
    if (terminal) ::tcsetattr(fd, TCSAFLUSH, &saved);
    ::close(fd);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace host
