#include "standard/string_map.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "standard/decimal.h"
#include "standard/exception.h"
#include "standard/throw.h"

namespace nbx {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// One pass each of: trailing blanks, trailing tabs, leading blanks, leading tabs. A single pass
// of each, so "a \t" keeps its blank.
std::string trimField(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (end > begin && text[end - 1] == ' ') --end;
    while (end > begin && text[end - 1] == '\t') --end;
    while (begin < end && text[begin] == ' ') ++begin;
    while (begin < end && text[begin] == '\t') ++begin;
    return text.substr(begin, end - begin);
}

enum class NumberStatus { ok, invalid, outOfRange };

// The whole text must be the number, blanks around it allowed.
NumberStatus parseDecimal(const std::string& text, std::int64_t min, std::int64_t max,
                          std::int64_t& result) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isSpace(text[i])) ++i;
    const DecimalPrefix number = readDecimal(std::string_view(text).substr(i));
    if (number.status == DecimalPrefix::invalid) return NumberStatus::invalid;
    i += number.length;
    while (i < n && isSpace(text[i])) ++i;
    if (i != n) return NumberStatus::invalid;
    if (number.status == DecimalPrefix::outOfRange || number.value < min || number.value > max) {
        return NumberStatus::outOfRange;
    }
    result = number.value;
    return NumberStatus::ok;
}

bool equalsNoCase(const std::string& a, const char* b) {
    return ::strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

bool CStringMap::less_string::operator()(const std::string& a, const std::string& b) const {
    const std::size_t shorter = std::min(a.size(), b.size());
    if (!caseInsensitive) {
        if (shorter > 0) {
            const int order = std::memcmp(a.data(), b.data(), shorter);
            if (order != 0) return order < 0;
        }
        return a.size() < b.size();
    }
    for (std::size_t i = 0; i < shorter; ++i) {
        const int ca = std::toupper(static_cast<unsigned char>(a[i]));
        const int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

CStringMap::CStringMap(bool caseInsensitive)
    : m_map(less_string{caseInsensitive}), m_separator(kDefaultSeparator) {}

CStringMap::CStringMap(const std::string& text, const std::string& separator, char quote,
                       bool caseInsensitive)
    : m_map(less_string{caseInsensitive}), m_separator(separator), m_quote(quote) {
    _parse(text);
}

CStringMap::CStringMap(const CStringMap& other)
    : CObject(other), m_map(other.m_map), m_separator(other.m_separator), m_quote(other.m_quote) {}

CStringMap& CStringMap::operator=(const CStringMap& other) {
    if (this != &other) {
        m_map = other.m_map;
        m_separator = other.m_separator;
        m_quote = other.m_quote;
    }
    return *this;
}

CStringMap::~CStringMap() {}

bool CStringMap::string(const std::string& text) {
    m_map.clear();
    _parse(text);
    return true;
}

std::string CStringMap::string() const {
    return wrappedString(std::string());
}

std::string CStringMap::wrappedString(const std::string& wrapper) const {
    std::string out;
    for (const auto& entry : m_map) {
        out += wrapper;
        out += entry.first;
        out += '=';
        out += entry.second;
        out += wrapper;
        out += m_separator;
    }
    return out;
}

void CStringMap::_parse(const std::string& text) {
    if (text.empty()) return;
    if (m_separator.empty()) {  // nothing to cut at: the whole text is one entry
        _addToken(text);
        return;
    }
    std::size_t start = 0;   // where the current token begins
    std::size_t search = 0;  // where to look for the next separator
    for (;;) {
        const std::size_t found = text.find(m_separator, search);
        if (found == std::string::npos) break;
        // With a quote character only a separator right after the closing quote (or one that
        // opens the token) ends it; others belong to the quoted value.
        if (m_quote == 0 || found == start || text[found - 1] == m_quote) {
            _addToken(text.substr(start, found - start));
            start = found + m_separator.size();
            search = start;
        } else {
            search = found + 1;
        }
    }
    _addToken(text.substr(start));
}

void CStringMap::_addToken(std::string token) {
    std::size_t begin = 0;
    std::size_t end = token.size();
    if (m_quote != 0) {
        while (begin < end && token[begin] == m_quote) ++begin;
    }
    while (begin < end && token[begin] == ' ') ++begin;
    if (m_quote != 0) {
        while (end > begin && token[end - 1] == m_quote) --end;
    }
    while (end > begin && token[end - 1] == ' ') --end;
    if (begin == end) return;  // blank lines and a final separator give no entry

    token = token.substr(begin, end - begin);
    const std::size_t equals = token.find('=');
    if (equals == std::string::npos) {
        m_map.emplace(trimField(token), std::string());
    } else {
        m_map.emplace(trimField(token.substr(0, equals)), trimField(token.substr(equals + 1)));
    }
}

bool CStringMap::has(const std::string& key) const {
    auto it = m_map.lower_bound(key);
    return it != m_map.end() && !m_map.key_comp()(key, it->first);
}

bool CStringMap::get(const std::string& key, std::string& value) const {
    auto it = m_map.lower_bound(key);
    if (it == m_map.end() || m_map.key_comp()(key, it->first)) return false;
    value = it->second;
    return true;
}

std::string CStringMap::get(const std::string& key) const {
    std::string value;
    if (!get(key, value)) value = missingValue(key);
    return value;
}

std::string CStringMap::missingValue(const std::string&) const {
    return std::string();
}

std::int64_t CStringMap::_toNumber(const std::string& key, const std::string& value,
                                   std::int64_t min, std::int64_t max, const char* module,
                                   const char* function) const {
    std::int64_t result = 0;
    const NumberStatus status = parseDecimal(value, min, max, result);
    if (status == NumberStatus::ok) return result;
    NBX_THROW(CNumberConversionException, module, function,
              msg("Cannot convert value '%1' of key '%2' to a number.", value, key),
              msg(status == NumberStatus::invalid ? "Invalid number." : "Number out of range."));
}

bool CStringMap::_toBool(const std::string& key, const std::string& value, const char* module,
                         const char* function) const {
    std::size_t begin = 0;
    std::size_t end = value.size();
    while (begin < end && isSpace(value[begin])) ++begin;
    while (end > begin && isSpace(value[end - 1])) --end;
    const std::string word = value.substr(begin, end - begin);
    if (equalsNoCase(word, "true") || equalsNoCase(word, "yes") || word == "1") return true;
    if (equalsNoCase(word, "false") || equalsNoCase(word, "no") || word == "0") return false;
    NBX_THROW(CNumberConversionException, module, function,
              msg("Cannot convert value '%1' of key '%2' to a boolean.", value, key),
              msg("Invalid boolean."));
}

std::uint32_t CStringMap::getULong(const std::string& key) const {
    // Signed texts are welcome: the setter writes values from 2^31 up as negative numbers.
    return static_cast<std::uint32_t>(
        _toNumber(key, get(key), INT32_MIN, UINT32_MAX, "standard", "CStringMap::getULong"));
}

std::int32_t CStringMap::getLong(const std::string& key) const {
    return static_cast<std::int32_t>(
        _toNumber(key, get(key), INT32_MIN, INT32_MAX, "standard", "CStringMap::getLong"));
}

std::uint16_t CStringMap::getUShort(const std::string& key) const {
    return static_cast<std::uint16_t>(
        _toNumber(key, get(key), 0, UINT16_MAX, "standard", "CStringMap::getUShort"));
}

bool CStringMap::getBool(const std::string& key) const {
    return _toBool(key, get(key), "standard", "CStringMap::getBool");
}

void CStringMap::set(const std::string& key, const std::string& value) {
    auto it = m_map.lower_bound(key);
    if (it != m_map.end() && !m_map.key_comp()(key, it->first)) {
        it->second = value;
    } else {
        m_map.emplace_hint(it, key, value);
    }
}

void CStringMap::setBool(const std::string& key, bool value) {
    set(key, value ? "true" : "false");
}

void CStringMap::setULong(const std::string& key, std::uint32_t value) {
    setLong(key, static_cast<std::int32_t>(value));
}

void CStringMap::setLong(const std::string& key, std::int32_t value) {
    set(key, std::to_string(value));
}

void CStringMap::setUShort(const std::string& key, std::uint16_t value) {
    set(key, std::to_string(value));
}

CStringMap::iterator CStringMap::insert(const std::string& key, const std::string& value) {
    return m_map.emplace(key, value);
}

std::size_t CStringMap::erase(const std::string& key) {
    return m_map.erase(key);
}

}  // namespace nbx
