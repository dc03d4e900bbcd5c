#include "host/console_command.h"

#include <climits>
#include <cstdint>

#include "standard/throw.h"

namespace host {

namespace {

[[noreturn]] void malformed(nbx::CMessage reason) {
    NBX_THROW_STATIC(nbx::CException, NBX_MODULE_TAG, "CConsoleCommand::parse",
                     nbx::msg("Malformed command."), std::move(reason));
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

CConsoleCommand CConsoleCommand::parse(const std::string& command) {
    for (unsigned char c : command) {
        // Texts only: tabs and line ends are the only control bytes a command may hold.
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f) {
            malformed(nbx::msg("The command holds binary bytes."));
        }
    }
    CConsoleCommand parsed;
    std::size_t start = 0;
    unsigned int line = 0;
    while (start < command.size()) {
        std::size_t end = command.find('\n', start);
        if (end == std::string::npos) end = command.size();
        std::string text = command.substr(start, end - start);
        if (!text.empty() && text.back() == '\r') text.pop_back();
        start = end + 1;
        ++line;
        if (line == 1) {
            std::size_t at = 0;
            while (at < text.size()) {
                const std::size_t from = text.find_first_not_of(" \t", at);
                if (from == std::string::npos) break;
                at = text.find_first_of(" \t", from);
                if (at == std::string::npos) at = text.size();
                parsed.words.push_back(text.substr(from, at - from));
            }
            continue;
        }
        if (trimmed(text).empty()) continue;
        const std::size_t equals = text.find('=');
        const std::string key = equals == std::string::npos ? "" : trimmed(text.substr(0, equals));
        if (key.empty()) malformed(nbx::msg("Line %1 is not a key=value line.", line));
        if (parsed.keys.has(key)) malformed(nbx::msg("Key '%1' is given twice.", key));
        parsed.keys.insert(key, trimmed(text.substr(equals + 1)));
        parsed.body += key + "=" + trimmed(text.substr(equals + 1)) + "\n";
    }
    if (parsed.words.empty()) malformed(nbx::msg("The command is empty."));
    return parsed;
}

std::string oidText(std::uint32_t oid) {
    return std::to_string(static_cast<std::int32_t>(oid));
}

}  // namespace host
