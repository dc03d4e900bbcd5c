#include "standard/time_t.h"

#include <gtest/gtest.h>

#include <random>

#include "value_test_support.h"

using nbx::CTimeT;
using valuetest::expectFailure;

namespace {

constexpr std::int64_t kFirst = -62135596800LL;  // Mon Jan  1 00:00:00 1
constexpr std::int64_t kLast = 253402300799LL;   // Fri Dec 31 23:59:59 9999

}  // namespace

TEST(TimeText, WritesAsctimeFormInUtcAndReadsItBack) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "Thu Jan  1 00:00:00 1970"},
        {-1, "Wed Dec 31 23:59:59 1969"},
        {2147483648LL, "Tue Jan 19 03:14:08 2038"},  // past the 32-bit limit
        {kLast, "Fri Dec 31 23:59:59 9999"},
        {-30641760000LL, "Tue Jan  1 00:00:00 999"},
    };
    for (const auto& [seconds, text] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(CTimeT(seconds).dateUTC(), text);
        EXPECT_EQ(CTimeT(seconds).string(), text);
        CTimeT back;
        EXPECT_TRUE(back.string(text));
        EXPECT_EQ(back.value(), seconds);
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

TEST(TimeText, InfiniteRoundTripsAndTimesWithoutATextAreRefused) {
    CTimeT time(5);
    EXPECT_TRUE(time.string("infinity"));
    EXPECT_TRUE(time.isInfinite());
    EXPECT_EQ(time.string(), "infinite");
    EXPECT_GT(CTimeT::infinite(), CTimeT(kLast));

    const valuetest::Expected invalid{"Cannot display time string.", "Invalid time.",
                                      "CTimeT::dateUTC"};
    for (std::int64_t value : {kLast + 1, kFirst - 1, CTimeT::kInfinite}) {
        SCOPED_TRACE(value);
        expectFailure([&] { (void)CTimeT(value).dateUTC(); }, invalid);
    }
    expectFailure([&] { (void)CTimeT(kFirst - 1).string(); }, invalid);
}

TEST(TimeText, ReadsOnlyTheWrittenForm) {
    // Day padded with zero or not at all, asctime's line feed, wrong weekday, fields out of
    // range, no such day, a zero-padded year with the right weekday, and NULs.
    for (const std::string& text : std::initializer_list<std::string>{
             "Thu Jan 1 00:00:00 1970", "Thu Jan 01 00:00:00 1970", "Thu Jan  1 00:00:00 1970\n",
             "Fri Jan  1 00:00:00 1970", "Thu jan  1 00:00:00 1970", "Thu Jan  1 24:00:00 1970",
             "Thu Feb 29 00:00:00 2001", "Tue Jan  1 00:00:00 0999", "Thu Jan  1 00:00:00 10000",
             "Thu Jan  1 0a:00:00 1970", "Thu Jan  1 00.00:00 1970", "Infinite",
             std::string("infinite\0", 9)}) {
        SCOPED_TRACE("text '" + text + "'");
        CTimeT time(1234);
        expectFailure([&] { time.string(text); },
                      {"Cannot parse time string.", "Invalid time.", "CTimeT::_set"});
        EXPECT_EQ(time.value(), 1234);  // unchanged
    }
}

TEST(TimeFormat, UsesTheCLibraryAndRefusesUnknownSpecifiers) {
    const std::pair<const char*, const char*> cases[] = {
        {"%a %b %e|%Z", "Tue Nov 14|GMT"},
        {"%F %T", "2023-11-14 22:13:20"},
        {"%Ey %Od %OH", "23 14 22"},
        {"%%Y is %Y", "%Y is 2023"},
    };
    for (const auto& [format, text] : cases) EXPECT_EQ(CTimeT(1700000000).formatUTC(format), text);
    // Long results grow the buffer instead of being cut.
    std::string format;
    for (int i = 0; i < 500; ++i) format += "%c";
    EXPECT_EQ(CTimeT(0).formatUTC(format).size(), 500u * 24u);
    // Seconds do not depend on the time zone.
    EXPECT_EQ(CTimeT(1700000007).formatLocal("%S"), "27");

    const valuetest::Expected badFormat{"Cannot format time string.", "Invalid format specifier.",
                                        "CTimeT::_formattedTime"};
    for (const std::string& format : std::initializer_list<std::string>{
             "abc%", "%Q", "%E", "%Ed", "%5Y", "%s", std::string("%Y\0%Q", 5)}) {
        SCOPED_TRACE(format);
        expectFailure([&] { (void)CTimeT(0).formatUTC(format); }, badFormat);
    }
    const valuetest::Expected badTime{"Cannot format time string.", "Invalid time.",
                                      "CTimeT::_formattedTime"};
    expectFailure([&] { (void)CTimeT::infinite().formatLocal("%Y"); }, badTime);
    expectFailure([&] { (void)CTimeT(kLast + 1).formatUTC("%Y"); }, badTime);
}
