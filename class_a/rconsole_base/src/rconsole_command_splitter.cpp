#include "rconsole_base/rconsole_command_splitter.h"

void CRConsoleCommandSplitter::feed(const char* data, std::size_t length,
                                    std::vector<std::string>& commands) {
    m_buffer.append(data, length);
    for (;;) {
        if (m_scan == m_start) {
            while (m_start < m_buffer.size() && m_buffer[m_start] == '\0') ++m_start;
            m_scan = m_start;
        }
        const std::size_t newline = m_buffer.find('\n', m_scan);
        if (newline == std::string::npos) {
            m_scan = m_buffer.size();
            break;
        }
        if (newline + 1 == m_buffer.size()) {
            m_scan = newline;
            break;
        }
        if (m_buffer[newline + 1] != '\n') {
            m_scan = newline + 1;
            continue;
        }
        commands.push_back(m_buffer.substr(m_start, newline - m_start));
        m_start = m_scan = newline + 2;
    }
    m_buffer.erase(0, m_start);
    m_scan -= m_start;
    m_start = 0;
}

void CRConsoleCommandSplitter::reset() {
    m_buffer.clear();
    m_start = m_scan = 0;
}
