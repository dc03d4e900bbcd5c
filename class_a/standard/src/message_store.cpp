#include "standard/message_store.h"

#include <cstdlib>
#include <sstream>

#include "standard/throw.h"

namespace nbx {

namespace {

std::string trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

void CMessageStore::onCommand(const std::string& command, unsigned int line) {
    _processRecord(command, line);
}

void CMessageStore::_processRecord(const std::string& record, unsigned int line) {
    std::map<std::string, std::string> entries;
    std::istringstream lines(record);
    std::string text;
    while (std::getline(lines, text)) {
        std::size_t equals = text.find('=');
        std::string key = trim(text.substr(0, equals));
        std::string value =
            equals == std::string::npos ? std::string() : trim(text.substr(equals + 1));
        if (!key.empty()) entries.emplace(key, value);
    }
    Record parsed;
    auto id = entries.find("id");
    if (id != entries.end()) {
        parsed.number = static_cast<std::int32_t>(std::strtol(id->second.c_str(), nullptr, 10));
        entries.erase(id);
    }
    // An empty English text is no key: it would match every empty reason.
    auto english = entries.find("en_US");
    if (english == entries.end() || english->second.empty()) {
        NBX_THROW(CException, "standard", "CMessageStore::_processRecord",
                  msg("Invalid record at line %1 in message locale file.", line),
                  msg("Missing key 'en_US'."));
    }
    const std::string lookup = english->second;
    parsed.texts = std::move(entries);
    m_records[lookup] = std::move(parsed);
}

// An empty translation ("de_DE=") counts as none: it would blank the message.
std::string CMessageStore::_textFor(const Record& record) const {
    auto found = record.texts.find(m_locale);
    if (found != record.texts.end() && !found->second.empty()) return found->second;
    found = record.texts.find("en_US");
    if (found != record.texts.end() && !found->second.empty()) return found->second;
    return "The system has no text for message number " + std::to_string(record.number) + ".";
}

void CMessageStore::translate(CMessage& message) const {
    auto found = m_records.find(message.format());
    if (found == m_records.end()) {
        message.setNumber(-1);
        return;
    }
    message.setNumber(found->second.number);
    message.setFormat(_textFor(found->second));
}

}  // namespace nbx
