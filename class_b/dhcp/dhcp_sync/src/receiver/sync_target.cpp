#include "receiver/sync_target.h"

namespace {

std::string trimmed(const std::string& text) {
    const char* const blanks = " \t";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string value(const nbx::CStringMap& text, const std::string& key,
                  const std::string& otherwise) {
    std::string found;
    return text.get(key, found) ? found : otherwise;
}

}  // namespace

CSyncTarget::CSyncTarget(const nbx::CStringMap& text)
    : target(value(text, "target", std::string())),
      logdir(value(text, "logdir", target)),
      consoleUser(value(text, "console_user", std::string())),
      consolePassword(value(text, "console_pass", std::string())),
      enabled(text.has("enabled") ? text.getBool("enabled") : true),
      oid(text.has("oid") ? text.getLong("oid") : -1) {
    const std::string classes = value(text, "classes", std::string());
    std::size_t start = 0;
    while (start <= classes.size()) {
        std::size_t end = classes.find(',', start);
        if (end == std::string::npos) end = classes.size();
        const std::string piece = trimmed(classes.substr(start, end - start));
        start = end + 1;
        if (piece.empty()) continue;
        const std::size_t name = piece.find_first_not_of('!');
        if (name == 0) {
            includedClasses.insert(piece);
        } else if (name != std::string::npos) {
            excludedClasses.insert(piece.substr(name));
        }
    }
}

bool accepts(const CSyncTarget& target, const std::string& topic) {
    if (target.includedClasses.empty()) return false;
    if (target.excludedClasses.count(topic)) return false;
    if (target.includedClasses.count("*") || target.includedClasses.count("all")) return true;
    return target.includedClasses.count(topic) != 0;
}
