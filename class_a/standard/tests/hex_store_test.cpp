#include "standard/hex_store.h"

#include <gtest/gtest.h>

#include <random>

#include "value_test_support.h"

using nbx::CHexStore;
using Bytes = CHexStore::Bytes;

TEST(HexStoreText, WritesUpperCasePairsBetweenSeparators) {
    struct Case {
        Bytes bytes;
        const char* separator;
        const char* text;
    };
    const Case cases[] = {
        {{10, 27, 255}, "-", "0A-1B-FF"},
        {{}, "-", ""},
        {{0xAB}, ":", "AB"},
        {{1, 2, 3}, "", "010203"},
        {{0xDE, 0xAD}, ", ", "DE, AD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CHexStore(c.bytes, c.separator).string(), c.text);
    }
    EXPECT_EQ(CHexStore().separator(), "-");
    EXPECT_EQ(CHexStore("\x01\xfe", 2).string(), "01-FE");
}

TEST(HexStoreText, ReadsLenientlyAndRefusesWhatIsNotADigit) {
    struct Case {
        const char* text;
        const char* separator;
        Bytes bytes;
    };
    // The separator is skipped, not checked; a trailing separator or a lone character after the
    // last pair is let pass.
    const Case accepted[] = {
        {"", "-", {}},
        {"0a-1B-fF", "-", {10, 27, 255}},
        {"0a:1b", "-", {10, 27}},
        {"0A-", "-", {10}},
        {"0A1", "-", {10}},
        {"0A1B", "", {10, 27}},
        {"0A::1B", "::", {10, 27}},
        {"0A:", "::", {10}},
        {"0A--1B", "::", {10, 27}},
    };
    for (const Case& c : accepted) {
        SCOPED_TRACE(std::string("'") + c.text + "' with '" + c.separator + "'");
        CHexStore store(Bytes{}, c.separator);
        EXPECT_TRUE(store.string(c.text));
        EXPECT_EQ(store.bytes(), c.bytes);
    }
    auto expectRefused = [](const std::string& text, const char* separator) {
        SCOPED_TRACE("'" + text + "' with '" + separator + "'");
        CHexStore store(Bytes{1, 2, 3}, separator);
        valuetest::expectFailure<nbx::CParseException>(
            [&] { store.string(text); },
            {"Cannot convert character to nybble.", "Invalid hexadecimal character.",
             "CHexStore::_char2Nybble"});
        EXPECT_TRUE(store.empty());  // emptied, nothing half-read
    };
    for (const char* text : {"0A-1", "G0", "0G", "0A-1G", "A", "-0A", " 0A", "0x0A"})
        expectRefused(text, "-");
    expectRefused("0A1", "");  // the lone "1" is a half pair
    expectRefused("0A::1", "::");
    expectRefused("0A-1B-", "::");  // "-1" is skipped as the separator, then "B-" is a pair
    expectRefused(std::string("0\0", 2), "-");
    expectRefused(std::string("0A-\0A", 5), "-");
}

TEST(HexStoreText, RoundTripsEveryByteWithAnySeparator) {
    Bytes all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<unsigned char>(i));
    std::mt19937 random(7);
    for (const char* separator : {"-", ":", "", " ", "::", ", "}) {
        SCOPED_TRACE(std::string("separator '") + separator + "'");
        for (int round = 0; round < 50; ++round) {
            Bytes bytes = round == 0 ? all : Bytes(random() % 40);
            if (round != 0) {
                for (auto& b : bytes) b = static_cast<unsigned char>(random());
            }
            CHexStore again(Bytes{9}, separator);
            again.string(CHexStore(bytes, separator).string());
            EXPECT_EQ(again.bytes(), bytes);
        }
    }
}

TEST(HexStoreRobustness, BadInputNeverCrashes) {
    for (const char* separator : {"-", "", "::"}) {
        SCOPED_TRACE(separator);
        valuetest::readHostileTexts<nbx::CParseException>(
            valuetest::hostileTexts({"0A-1B-FF", "0a:1b", "00", "0A1B2C", "0A::1B"},
                                    "0123456789abcdefABCDEFgG-:", 1500),
            CHexStore(Bytes{5}, separator),
            [](const CHexStore& store, const std::string& text, bool refused) {
                // emptied when refused; at most one byte per two characters when accepted
                EXPECT_TRUE(refused ? store.empty() : store.size() * 2 <= text.size());
            },
            20);
    }
}
