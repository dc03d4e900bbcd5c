// The decimal reader at the edges its callers rely on: the sign, the end of the digits, and the
// full range of int64_t (the database stores 64-bit numbers).

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "standard/decimal.h"

TEST(Decimal, ReadsOneSignAndTheDigitsAfterIt) {
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    struct Case {
        const char* text;
        nbx::DecimalPrefix::Status status;
        std::int64_t value;
        std::size_t length;
    } cases[] = {
        {"+42 tail", nbx::DecimalPrefix::ok, 42, 3},
        {"-007", nbx::DecimalPrefix::ok, -7, 4},
        {"-9223372036854775808", nbx::DecimalPrefix::ok, kMin, 20},
        {"9223372036854775807", nbx::DecimalPrefix::ok, kMax, 19},
        {"9223372036854775808", nbx::DecimalPrefix::outOfRange, 0, 19},
        {"-99999999999999999999x", nbx::DecimalPrefix::outOfRange, 0, 21},
        {"+-1", nbx::DecimalPrefix::invalid, 0, 0},
        {" 1", nbx::DecimalPrefix::invalid, 0, 0},
        {"", nbx::DecimalPrefix::invalid, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const nbx::DecimalPrefix number = nbx::readDecimal(c.text);
        EXPECT_EQ(number.status, c.status);
        EXPECT_EQ(number.length, c.length);
        if (c.status == nbx::DecimalPrefix::ok) {
            EXPECT_EQ(number.value, c.value);
        }
    }
}
