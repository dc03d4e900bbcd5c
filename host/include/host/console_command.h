#pragma once
// A console command as the host's handlers read it: a first line of words ("add policy",
// "sync_policy") and key=value lines. Reading refuses what no handler could use, so that a bad
// command is answered with its reason and never reaches the store.

#include <cstdint>
#include <string>
#include <vector>

#include "standard/string_map.h"

namespace host {

struct CConsoleCommand {
    std::vector<std::string> words;  // of the first line, split at blanks
    std::string body;                // the key=value lines as sent, each ended by a line feed
    nbx::CStringMap keys{false};     // the same, case-sensitive; a repeated key is refused

    // Throws "Malformed command." with the reason: "The command holds binary bytes.", "Line %1
    // is not a key=value line.", "Key '%1' is given twice.", "The command is empty.".
    static CConsoleCommand parse(const std::string& command);
};

// The travelling form of an OID.
std::string oidText(std::uint32_t oid);

}  // namespace host
