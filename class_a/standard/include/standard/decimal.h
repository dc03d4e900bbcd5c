#pragma once
// The one reader of decimal integers. Callers differ in what they allow around the number
// (blanks, trailing text) and in how they refuse it, so this reads only the number itself and
// leaves those choices to them.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nbx {

struct DecimalPrefix {
    enum Status { ok, invalid, outOfRange };
    Status status = invalid;
    std::int64_t value = 0;  // valid when status is ok
    std::size_t length = 0;  // characters read: the sign and every digit, also when out of range
};

// Reads one optional sign ("+" or "-") and the decimal digits after it from the start of `text`.
// No digit after the sign is invalid; digits beyond the range of int64_t are out of range.
DecimalPrefix readDecimal(std::string_view text);

// An object id as it travels: a signed 32-bit decimal ("-1"), or the same bits in unsigned
// form. False for any other text, blanks included.
bool readOid(std::string_view text, std::uint32_t& oid);

}  // namespace nbx
