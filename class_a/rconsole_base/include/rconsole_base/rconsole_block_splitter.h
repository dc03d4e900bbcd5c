#pragma once
// Splits a console response into its blocks as the bytes arrive, in chunks of any size.
//
// A block ends at a newline followed by a second newline (which also ends the response) or by
// "-" (a separator line). A block is split off only once the byte after its newline has arrived.
// The separator character or the second newline is consumed with the block and is not part of
// its text; the rest of a separator line starts the next block. Bytes after the end of the
// response are ignored.

#include <cstddef>
#include <string>
#include <vector>

class CRConsoleBlockSplitter {
public:
    // Appends a chunk and adds every block it completes to `blocks`, in order. Returns true once
    // the end of the response has been seen (from then on further chunks are ignored).
    bool feed(const char* data, std::size_t length, std::vector<std::string>& blocks);

    bool ended() const { return m_ended; }
    // Bytes fed since the last reset, the ignored ones included.
    std::size_t received() const { return m_received; }
    // Bytes not yet split into a block.
    std::string pending() const { return m_buffer.substr(m_start); }

    // Forgets everything, for the next response.
    void reset();

private:
    std::string m_buffer;
    std::size_t m_start = 0;  // where the current block begins in m_buffer
    std::size_t m_scan = 0;   // where to look for the next newline
    std::size_t m_received = 0;
    bool m_ended = false;
};
