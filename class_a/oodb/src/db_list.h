#pragma once
// Comma-separated lists of the statement and table group files.

#include <string>
#include <vector>

// The items of "a, b ,c" with blanks and tabs around each dropped. Empty items are skipped, or
// kept with `keepEmpty` (where items pair up by position); a blank text has no items either way.
inline std::vector<std::string> dbSplitList(const std::string& text, bool keepEmpty = false) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        const std::size_t first = item.find_first_not_of(" \t");
        if (first != std::string::npos) {
            items.push_back(item.substr(first, item.find_last_not_of(" \t") - first + 1));
        } else if (keepEmpty) {
            items.emplace_back();
        }
        start = end + 1;
    }
    if (text.find_first_not_of(" \t") == std::string::npos) items.clear();
    return items;
}
