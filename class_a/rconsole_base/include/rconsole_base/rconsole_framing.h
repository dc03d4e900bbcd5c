#pragma once
// The text framing of the remote console, shared by the client and the server.
//
//   command:   the command's text, its trailing newlines replaced by exactly two
//   response:  blocks of key=value lines; a line beginning with "-" separates two blocks, an
//              empty line ends the response
//
// The incremental readers of both directions are CRConsoleBlockSplitter (responses) and
// CRConsoleCommandSplitter (commands).

#include <cstddef>
#include <string>
#include <vector>

#include "standard/string_map.h"

class CRConsoleFraming {
public:
    // Size of one read from the connection.
    static constexpr std::size_t kChunkSize = 16384;
    // The most bytes one response (client side) or one command (server side) may take. Beyond it
    // the reader gives up rather than let a broken or hostile peer exhaust the memory.
    static constexpr std::size_t kMaxMessageSize = 64u * 1024u * 1024u;

    // The command as it goes on the wire: every trailing newline removed, two appended.
    static std::string command(const std::string& text);

    // The response text of `blocks`: each block's entries as "key=value\n", a "-" line between
    // two blocks, an empty line at the end. Newlines inside keys and values become blanks, so
    // that no value can end a block or the response early; an empty block is written as one
    // empty line, and no blocks at all as one empty block.
    static std::string response(const std::vector<nbx::CStringMap>& blocks);

    // The greeting as it goes on the wire: its trailing newlines replaced by exactly two.
    static std::string greeting(const std::string& text) { return command(text); }
};
