#include "extended/config.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "testing/failure.h"

using nbx::CConfig;
using nbx::CNumberConversionException;

TEST(ConfigReads, AbsentOrEmptyValuesGiveTheDefaultPresentOnesAreDecimal) {
    CConfig config(
        "a=\nb=   \nc=\t\nu=4294967295\ns=65535\nl=-2147483648\nb2=No\nT=text with = sign", "\n", 0,
        true);
    for (const char* key : {"a", "b", "c", "absent"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(config.getULong(key, 5), 5u);
        EXPECT_EQ(config.getUShort(key, 67), 67);
        EXPECT_EQ(config.getLong(key, -3), -3);
        EXPECT_TRUE(config.getBool(key, true));
        EXPECT_FALSE(config.getBool(key, false));
    }
    // A string read takes a present value as it stands.
    EXPECT_EQ(config.getString("a", "default"), "");
    EXPECT_EQ(config.getString("absent", "default"), "default");
    EXPECT_EQ(config.getString("t", ""), "text with = sign");  // keys match in any case
    EXPECT_EQ(config.getULong("u", 0), 4294967295u);
    EXPECT_EQ(config.getUShort("s", 0), 65535);
    EXPECT_EQ(config.getLong("l", 0), INT32_MIN);
    EXPECT_FALSE(config.getBool("b2", true));
}

TEST(ConfigReads, BadNumbersAndWordsAreRefusedWithTheReadersSite) {
    CConfig config("sync.interval=five\nneg=-1\nbig=65536\nhuge=2147483648\nflag=maybe", "\n", 0,
                   true);
    const auto number = [](const char* value, const char* key, const char* reason) {
        return std::string("Cannot convert value '") + value + "' of key '" + key +
               "' to a number. | " + reason;
    };
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { config.getULong("sync.interval", 5); },
         number("five", "sync.interval", "Invalid number. | CConfig::getULong")},
        // A negative interval is a mistake in a configuration, not a wrapped unsigned value.
        {[&] { config.getULong("neg", 5); },
         number("-1", "neg", "Number out of range. | CConfig::getULong")},
        {[&] { config.getUShort("big", 1); },
         number("65536", "big", "Number out of range. | CConfig::getUShort")},
        {[&] { config.getLong("huge", 1); },
         number("2147483648", "huge", "Number out of range. | CConfig::getLong")},
        {[&] { config.getBool("flag", true); },
         "Cannot convert value 'maybe' of key 'flag' to a boolean. | Invalid boolean. | "
         "CConfig::getBool"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        const nbx::testing::Failure f = nbx::testing::failure<CNumberConversionException>(c.first);
        EXPECT_EQ(f.text() + " | " + f.function, c.second);
        EXPECT_EQ(f.module, "extended");
    }
}
