#include "standard/hex_store.h"

#include <gtest/gtest.h>

#include <random>

#include "value_test_support.h"

using nbx::CHexStore;
using Bytes = CHexStore::Bytes;

namespace {

Bytes read(const std::string& text, const std::string& separator = "-") {
    CHexStore store(Bytes{}, separator);
    EXPECT_TRUE(store.string(text));
    return store.bytes();
}

void expectInvalid(const std::string& text, const std::string& separator = "-") {
    SCOPED_TRACE("text '" + text + "', separator '" + separator + "'");
    CHexStore store(Bytes{1, 2, 3}, separator);
    valuetest::expectFailure<nbx::CParseException>(
        [&] { store.string(text); }, {"Cannot convert character to nybble.",
                                      "Invalid hexadecimal character.", "CHexStore::_char2Nybble"});
    EXPECT_TRUE(store.empty());  // emptied, nothing half-read
}

}  // namespace

TEST(HexStoreText, WritesUpperCasePairsBetweenSeparators) {
    struct Case {
        Bytes bytes;
        const char* separator;
        const char* text;
    };
    const Case cases[] = {
        {{10, 27, 255}, "-", "0A-1B-FF"},
        {{}, "-", ""},
        {{0}, "-", "00"},
        {{0xAB}, ":", "AB"},
        {{0x00, 0x7F, 0x80}, ":", "00:7F:80"},
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

TEST(HexStoreText, ReadsLeniently) {
    struct Case {
        const char* text;
        const char* separator;
        Bytes bytes;
    };
    const Case cases[] = {
        {"", "-", {}},
        {"0A-1B-FF", "-", {10, 27, 255}},
        {"0a:1b", "-", {10, 27}},  // the separator is skipped, not checked
        {"0a-1B-fF", "-", {10, 27, 255}},
        {"0A", "-", {10}},
        {"0A-", "-", {10}},  // trailing separator
        {"0A1", "-", {10}},  // one character after the last pair
        {"0A#1B", "-", {10, 27}},
        {"0A1B", "", {10, 27}},
        {"0A::1B", "::", {10, 27}},
        {"0A:", "::", {10}},  // text ends within the separator
        {"0A::", "::", {10}},
        {"0A--1B", "::", {10, 27}},
        {"00-00", "-", {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "' with '" + c.separator + "'");
        EXPECT_EQ(read(c.text, c.separator), c.bytes);
    }
}

TEST(HexStoreText, RefusesWhatIsNotADigit) {
    for (const char* text :
         {"0A-1", "G0", "0G", "0A-G1", "0A-1G", "A", "-0A", " 0A", "0A-1B-F", "0x0A", "+A", "gg"}) {
        expectInvalid(text);
    }
    expectInvalid(std::string("0\0", 2));
    expectInvalid(std::string("0A-\0A", 5));
    expectInvalid("0A1", "");  // no separator: the lone "1" is a half pair
    expectInvalid("0A::1", "::");
    expectInvalid("0A-1B-", "::");  // "-1" is skipped as the separator, then "B-" is a pair
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
            const CHexStore written(bytes, separator);
            CHexStore again(Bytes{9}, separator);
            again.string(written.string());
            EXPECT_EQ(again.bytes(), bytes);
        }
    }
}

TEST(HexStoreRobustness, BadInputNeverCrashes) {
    std::size_t accepted = 0, refused = 0;
    for (const char* separator : {"-", "", "::"}) {
        const auto texts = valuetest::hostileTexts({"0A-1B-FF", "0a:1b", "00", "0A1B2C", "0A::1B"},
                                                   "0123456789abcdefABCDEFgG-:", 1500);
        for (const std::string& text : texts) {
            CHexStore store(Bytes{5}, separator);
            try {
                store.string(text);
            } catch (nbx::CParseException&) {
                ++refused;
                EXPECT_TRUE(store.empty());
                continue;
            }
            ++accepted;
            // at most one byte per two characters, and the written form reads back the same
            EXPECT_LE(store.size() * 2, text.size());
            CHexStore again(Bytes{}, separator);
            again.string(store.string());
            EXPECT_EQ(again, store);
        }
    }
    EXPECT_GT(accepted, 100u);
    EXPECT_GT(refused, 100u);
}
