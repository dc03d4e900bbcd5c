#include "standard/time_t.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "value_test_support.h"

using nbx::CTimeT;
using valuetest::expectFailure;

namespace {

constexpr std::int64_t kFirst = -62135596800LL;  // Mon Jan  1 00:00:00 1
constexpr std::int64_t kLast = 253402300799LL;   // Fri Dec 31 23:59:59 9999

const valuetest::Expected kBadFormat{"Cannot format time string.", "Invalid format specifier.",
                                     "CTimeT::_formattedTime"};
const valuetest::Expected kBadFormatTime{"Cannot format time string.", "Invalid time.",
                                         "CTimeT::_formattedTime"};

}  // namespace

TEST(TimeText, WritesAsctimeFormInUtcAndReadsItBack) {
    struct Case {
        std::int64_t seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, "Thu Jan  1 00:00:00 1970"},
        {-1, "Wed Dec 31 23:59:59 1969"},
        {2147483648LL, "Tue Jan 19 03:14:08 2038"},  // past the 32-bit limit
        {kLast, "Fri Dec 31 23:59:59 9999"},
        {-30641760000LL, "Tue Jan  1 00:00:00 999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const CTimeT time(c.seconds);
        EXPECT_EQ(time.dateUTC(), c.text);
        EXPECT_EQ(time.string(), c.text);
        CTimeT back;
        EXPECT_TRUE(back.string(c.text));
        EXPECT_EQ(back.value(), c.seconds);
    }
    std::mt19937_64 random(1970);
    std::uniform_int_distribution<std::int64_t> anyTime(kFirst, kLast);
    for (int i = 0; i < 300; ++i) {
        const CTimeT time(anyTime(random));
        CTimeT back;
        back.string(time.string());
        ASSERT_EQ(back, time) << time.string();
    }
}

TEST(TimeText, TimesWithoutATextAreRefused) {
    for (std::int64_t value : {kLast + 1, kFirst - 1, CTimeT::kInfinite}) {
        SCOPED_TRACE(value);
        const CTimeT time(value);
        const valuetest::Expected invalid{"Cannot display time string.", "Invalid time.",
                                          "CTimeT::dateUTC"};
        expectFailure([&] { (void)time.dateUTC(); }, invalid);
        if (!time.isInfinite()) expectFailure([&] { (void)time.string(); }, invalid);
    }
}

TEST(TimeText, InfiniteRoundTrips) {
    CTimeT time(5);
    EXPECT_TRUE(time.string("infinity"));
    EXPECT_TRUE(time.isInfinite());
    EXPECT_EQ(time.string(), "infinite");
    EXPECT_GT(CTimeT::infinite(), CTimeT(kLast));
}

TEST(TimeText, ReadsOnlyTheWrittenForm) {
    // Day padded with zero or not at all, asctime's line feed, wrong weekday, fields out of
    // range, no such day, a zero-padded year with the right weekday, and NULs.
    auto expectUnparsable = [](const std::string& text) {
        SCOPED_TRACE("text '" + text + "'");
        CTimeT time(1234);
        expectFailure([&] { time.string(text); },
                      {"Cannot parse time string.", "Invalid time.", "CTimeT::_set"});
        EXPECT_EQ(time.value(), 1234);  // unchanged
    };
    for (const char* text :
         {"Thu Jan 1 00:00:00 1970", "Thu Jan 01 00:00:00 1970", "Thu Jan  1 00:00:00 1970\n",
          "Fri Jan  1 00:00:00 1970", "Thu jan  1 00:00:00 1970", "Thu Jan  1 24:00:00 1970",
          "Thu Feb 29 00:00:00 2001", "Tue Jan  1 00:00:00 0999", "Thu Jan  1 00:00:00 10000",
          "Thu Jan  1 0a:00:00 1970"})
        expectUnparsable(text);
    expectUnparsable("Infinite");
    expectUnparsable(std::string("infinite\0", 9));
}

TEST(TimeFormat, UsesTheCLibrary) {
    struct Case {
        std::int64_t seconds;
        const char* format;
        const char* text;
    };
    const Case cases[] = {
        {0, "%a %b %e|%Z", "Thu Jan  1|GMT"},
        {1700000000, "%F %T", "2023-11-14 22:13:20"},
        {1700000000, "%Ey %Od %OH", "23 14 22"},
        {1700000000, "%%Y is %Y", "%Y is 2023"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(CTimeT(c.seconds).formatUTC(c.format), c.text);
    }
    // Long results grow the buffer instead of being cut.
    std::string format;
    for (int i = 0; i < 500; ++i) format += "%c";
    EXPECT_EQ(CTimeT(0).formatUTC(format).size(), 500u * 24u);
    // Seconds do not depend on the time zone.
    EXPECT_EQ(CTimeT(1700000007).formatLocal("%S"), "27");
}

TEST(TimeFormat, RefusesUnknownSpecifiersAndInvalidTimes) {
    for (const std::string format : {"abc%", "%Q", "%E", "%Ed", "%5Y", "%s"}) {
        SCOPED_TRACE(format);
        expectFailure([&] { (void)CTimeT(0).formatUTC(format); }, kBadFormat);
    }
    expectFailure([&] { (void)CTimeT(0).formatUTC(std::string("%Y\0%Q", 5)); }, kBadFormat);
    expectFailure([&] { (void)CTimeT::infinite().formatLocal("%Y"); }, kBadFormatTime);
    expectFailure([&] { (void)CTimeT(kLast + 1).formatUTC("%Y"); }, kBadFormatTime);
}

TEST(TimeRobustness, BadInputNeverCrashes) {
    valuetest::readHostileTexts(
        valuetest::hostileTexts({"Thu Jan  1 00:00:00 1970", "Fri Dec 31 23:59:59 9999",
                                 "Mon Jan  1 00:00:00 1", "infinite"},
                                "0123456789 :ADFJMNOSTWabcdefghilnoprtuvy"),
        CTimeT(42), [](const CTimeT& time, const std::string&, bool refused) {
            if (refused) {
                EXPECT_EQ(time.value(), 42);
            }
        });
}
