#include "extended/config.h"

namespace nbx {

namespace {
constexpr const char* kModule = "extended";
}

CConfig::CConfig(bool caseInsensitive) : CStringMap(caseInsensitive) {}

CConfig::CConfig(const std::string& text, const std::string& separator, char quote,
                 bool caseInsensitive)
    : CStringMap(text, separator, quote, caseInsensitive) {}

bool CConfig::_value(const std::string& key, std::string& value) const {
    if (!get(key, value)) return false;
    return value.find_first_not_of(" \t\r\n") != std::string::npos;
}

std::uint32_t CConfig::getULong(const std::string& key, std::uint32_t defaultValue) const {
    std::string value;
    if (!_value(key, value)) return defaultValue;
    // Unlike the text form of records, a negative setting is a mistake here, not a wrapped value.
    return static_cast<std::uint32_t>(
        _toNumber(key, value, 0, UINT32_MAX, kModule, "CConfig::getULong"));
}

std::uint16_t CConfig::getUShort(const std::string& key, std::uint16_t defaultValue) const {
    std::string value;
    if (!_value(key, value)) return defaultValue;
    return static_cast<std::uint16_t>(
        _toNumber(key, value, 0, UINT16_MAX, kModule, "CConfig::getUShort"));
}

std::int32_t CConfig::getLong(const std::string& key, std::int32_t defaultValue) const {
    std::string value;
    if (!_value(key, value)) return defaultValue;
    return static_cast<std::int32_t>(
        _toNumber(key, value, INT32_MIN, INT32_MAX, kModule, "CConfig::getLong"));
}

bool CConfig::getBool(const std::string& key, bool defaultValue) const {
    std::string value;
    if (!_value(key, value)) return defaultValue;
    return _toBool(key, value, kModule, "CConfig::getBool");
}

std::string CConfig::getString(const std::string& key, const std::string& defaultValue) const {
    std::string value;
    return get(key, value) ? value : defaultValue;
}

}  // namespace nbx
