#include "standard/decimal.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace nbx {

DecimalPrefix readDecimal(std::string_view text) {
    DecimalPrefix out;
    std::size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) at = 1;
    // from_chars takes no "+" and refuses the magnitude of INT64_MIN as a signed number, so it
    // reads the digits unsigned and the sign is applied here.
    std::uint64_t magnitude = 0;
    const char* begin = text.data() + at;
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), magnitude);
    if (end == begin) return out;
    out.length = static_cast<std::size_t>(end - text.data());
    constexpr std::uint64_t kMaxPositive = std::numeric_limits<std::int64_t>::max();
    if (error == std::errc::result_out_of_range || magnitude > kMaxPositive + (negative ? 1 : 0)) {
        out.status = DecimalPrefix::outOfRange;
        return out;
    }
    out.status = DecimalPrefix::ok;
    out.value =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return out;
}

bool readOid(std::string_view text, std::uint32_t& oid) {
    const DecimalPrefix number = readDecimal(text);
    if (number.status != DecimalPrefix::ok || number.length != text.size() ||
        number.value < INT32_MIN || number.value > UINT32_MAX) {
        return false;
    }
    oid = static_cast<std::uint32_t>(number.value);
    return true;
}

}  // namespace nbx
