#pragma once
// The server's reader of console commands: splits the incoming bytes into commands, each ended
// by an empty line, as they arrive in chunks of any size.
//
// Zero bytes in front of a command are skipped: they are the padding that fills the last cipher
// block of an enciphered transmission, and no command begins with one.

#include <cstddef>
#include <string>
#include <vector>

class CRConsoleCommandSplitter {
public:
    // Appends a chunk and adds every command it completes to `commands` (the text before the
    // empty line, without its two final newlines).
    void feed(const char* data, std::size_t length, std::vector<std::string>& commands);

    // Bytes of the command not yet complete.
    std::size_t pending() const { return m_buffer.size() - m_start; }

    void reset();

private:
    std::string m_buffer;
    std::size_t m_start = 0;  // where the current command begins
    std::size_t m_scan = 0;   // where to look for the next newline
};
