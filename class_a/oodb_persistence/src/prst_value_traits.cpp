#include "oodb_persistence/prst_value_traits.h"

#include "oodb/db_field_type.h"

#include <strings.h>

#include <cstdio>

#include "standard/throw.h"

namespace CPrstFieldType {
bool known(const std::string& token) {
    CDBFieldType::Type type;
    return CDBFieldType::fromToken(token, type);
}
}  // namespace CPrstFieldType

namespace prst {

namespace {

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

[[noreturn]] void numberFailure(const std::string& text, const char* reason) {
    NBX_THROW_STATIC(nbx::CNumberConversionException, NBX_MODULE_TAG, "prst::toNumber",
                     nbx::msg("Cannot convert value '%1' to a number.", text), nbx::msg(reason));
}

}  // namespace

std::int64_t toNumber(const std::string& text, std::int64_t min, std::int64_t max) {
    const std::string digits = trimmed(text);
    std::size_t pos = 0;
    bool negative = false;
    if (pos < digits.size() && (digits[pos] == '-' || digits[pos] == '+')) {
        negative = digits[pos] == '-';
        ++pos;
    }
    if (pos == digits.size()) numberFailure(text, "Invalid number.");
    // Accumulate as a negative magnitude so that INT64_MIN fits.
    std::int64_t value = 0;
    bool overflow = false;
    for (; pos < digits.size(); ++pos) {
        char c = digits[pos];
        if (c < '0' || c > '9') numberFailure(text, "Invalid number.");
        int digit = c - '0';
        if (value < (INT64_MIN + digit) / 10) {
            overflow = true;
        } else {
            value = value * 10 - digit;
        }
    }
    if (!negative) {
        if (overflow || value == INT64_MIN) numberFailure(text, "Number out of range.");
        value = -value;
    } else if (overflow) {
        numberFailure(text, "Number out of range.");
    }
    if (value < min || value > max) numberFailure(text, "Number out of range.");
    return value;
}

bool toBool(const std::string& text) {
    const std::string word = trimmed(text);
    for (const char* yes : {"true", "yes", "1"}) {
        if (strcasecmp(word.c_str(), yes) == 0) return true;
    }
    for (const char* no : {"false", "no", "0"}) {
        if (strcasecmp(word.c_str(), no) == 0) return false;
    }
    NBX_THROW_STATIC(nbx::CNumberConversionException, NBX_MODULE_TAG, "prst::toBool",
                     nbx::msg("Cannot convert value '%1' to a boolean.", text),
                     nbx::msg("Invalid boolean."));
}

std::string signed32(std::uint32_t value) {
    return std::to_string(static_cast<std::int32_t>(value));
}

std::uint32_t toULong(const std::string& text) {
    return static_cast<std::uint32_t>(toNumber(text, INT32_MIN, UINT32_MAX));
}

}  // namespace prst
