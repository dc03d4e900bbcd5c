#pragma once
// The keys of the daemon's configuration file that the host reads or checks, each with its
// default, its kind of value and what it means. The reader takes its defaults and checks from
// this table and the README's key table is written from it, so the two cannot drift apart.
//
// Defaults are texts as a file would hold them. Two stand for values known only at start:
// "<data dir>/..." is a file in the data directory, "<installed>" a folder of the installed
// layout (CHostLayout). A key without a default (null) is required.

#include <cstdint>
#include <string>
#include <vector>

namespace host {

class CHostConfigKeys {
public:
    enum class Type {
        kNumber,      // decimal number in [min, max]
        kSeconds,     // decimal number, not negative
        kBoolean,     // yes/no, true/false, 1/0
        kChoice,      // one word of `choices`
        kAddress,     // an IPv4 or IPv6 address
        kSeverities,  // severity names, comma-separated
        kNames,       // comma-separated names, none of them empty
        kText,        // anything
        kDirectory,   // an existing folder; relative to the configuration file's folder
        kFile,        // a file path; relative to the configuration file's folder
    };

    struct Key {
        const char* key;
        const char* defaultValue;  // null: required
        Type type;
        const char* explanation;
        std::uint32_t min = 0;
        std::uint32_t max = 0;
        const char* choices = nullptr;  // kChoice: "a,b,c"
    };

    static constexpr const char* kDataDirectoryPrefix = "<data dir>/";
    static constexpr const char* kInstalled = "<installed>";

    static const std::vector<Key>& table();
    // The row of `key` (exact spelling), or null.
    static const Key* find(const std::string& key);
    // The kind of value as the documentation writes it ("1..127", "yes/no", "blowfish or clear").
    static std::string typeText(const Key& key);
    // The table as Markdown: key, default, value, meaning.
    static std::string markdown();
};

}  // namespace host
