#include "rconsole_base/rconsole_block_splitter.h"

bool CRConsoleBlockSplitter::feed(const char* data, std::size_t length,
                                  std::vector<std::string>& blocks) {
    m_received += length;
    if (m_ended) return true;
    m_buffer.append(data, length);
    for (;;) {
        const std::size_t newline = m_buffer.find('\n', m_scan);
        if (newline == std::string::npos) {
            m_scan = m_buffer.size();
            break;
        }
        if (newline + 1 == m_buffer.size()) {
            m_scan = newline;  // what the newline ends is known only with the next byte
            break;
        }
        const char next = m_buffer[newline + 1];
        if (next != '\n' && next != '-') {
            m_scan = newline + 1;
            continue;
        }
        blocks.push_back(m_buffer.substr(m_start, newline + 1 - m_start));
        m_start = newline + 2;
        m_scan = m_start;
        if (next == '\n') {
            m_ended = true;
            m_buffer.clear();
            m_start = m_scan = 0;
            return true;
        }
    }
    // Drop the blocks split off, once per chunk rather than once per block.
    m_buffer.erase(0, m_start);
    m_scan -= m_start;
    m_start = 0;
    return false;
}

void CRConsoleBlockSplitter::reset() {
    m_buffer.clear();
    m_start = m_scan = m_received = 0;
    m_ended = false;
}
