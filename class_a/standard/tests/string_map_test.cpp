#include "standard/string_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "standard/exception.h"
#include "testing/failure.h"

using nbx::CNumberConversionException;
using nbx::CStringMap;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries entriesOf(const CStringMap& map) {
    return Entries(map.begin(), map.end());
}

// "message | reason" of the CNumberConversionException that `read` throws.
template <class F>
std::string conversionFailure(F&& read) {
    auto f = nbx::testing::failure<CNumberConversionException>(read);
    return f.thrown ? f.text() : "<no CNumberConversionException>";
}

// Parses `text` with the default settings.
CStringMap parse(const std::string& text) {
    CStringMap map;
    EXPECT_TRUE(map.string(text));
    return map;
}

}  // namespace

TEST(StringMapText, EntriesAreWrittenInKeyOrderAndEqualKeysAreAllKept) {
    CStringMap map = parse("b=2\na=1\nb=0");
    EXPECT_EQ(entriesOf(map), (Entries{{"a", "1"}, {"b", "2"}, {"b", "0"}}));
    EXPECT_EQ(map.string(), "a=1\nb=2\nb=0\n");
    // Lookups find the first of equal keys; inserts go after them; erase takes them all.
    EXPECT_EQ(map.get("b"), "2");
    EXPECT_EQ(map.getULong("b"), 2u);
    map.insert("b", "9");
    EXPECT_EQ(map.string(), "a=1\nb=2\nb=0\nb=9\n");
    EXPECT_EQ(map.erase("b"), 3u);
    EXPECT_FALSE(map.has("b"));
    // New text replaces the old content.
    EXPECT_TRUE(map.string("z=3"));
    EXPECT_EQ(map.string(), "z=3\n");

    nbx::CObject& object = map;
    EXPECT_TRUE(object.setString("b=2\na=1"));
    std::string out;
    object.getString(out);
    EXPECT_EQ(out, "a=1\nb=2\n");
    EXPECT_TRUE(object.setString(nullptr));
    EXPECT_TRUE(map.empty());
}

TEST(StringMapText, TokensAndFieldsAreTrimmedStepByStep) {
    struct Case {
        const char* text;
        char quote;
        Entries expected;
    };
    const Case cases[] = {
        // Token: leading and trailing blanks go; the key loses its tab; the value keeps its "=".
        {"  key\t=  some=value ;;", 0, {{"key", "some=value"}}},
        // One pass of each trim: the blank before the trailing tab stays in the key.
        {"key \t=v", 0, {{"key ", "v"}}},
        // Leading blanks run before leading tabs, trailing blanks before trailing tabs.
        {"k=\t v;a=v \t;b=v\t ", 0, {{"a", "v "}, {"b", "v"}, {"k", " v"}}},
        // No "=": a key with the empty value; a line of tabs is not empty after the token trim.
        {";   ;flag;\t", 0, {{"", ""}, {"flag", ""}}},
        // Without the quote character every ";" cuts, and the apostrophes stay.
        {"'a=x;y';'b=z'", 0, {{"'a", "x"}, {"'b", "z'"}, {"y'", ""}}},
        {"'a=x;y';'b=z'", '\'', {{"a", "x;y"}, {"b", "z"}}},
        // Quotes first, then blanks: blanks outside the quotes stay glued to them.
        {"' a = 1 ';;; 'b=1' ", '\'', {{"'b", "1'"}, {"a", "1"}}},
        // A separator not preceded by the quote stays, even at the end of the text.
        {"'a=1;b=2", '\'', {{"a", "1;b=2"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(entriesOf(CStringMap(c.text, ";", c.quote)), c.expected);
    }
}

TEST(StringMapText, MultiCharacterEmptyAndWrappingSeparators) {
    CStringMap crlf("b=2\r\na=1\r\n", "\r\n");
    EXPECT_EQ(entriesOf(crlf), (Entries{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(crlf.string(), "a=1\r\nb=2\r\n");
    // Nothing to cut at: the whole text is one entry.
    EXPECT_EQ(entriesOf(CStringMap("a=1\nb=2", "")), (Entries{{"a", "1\nb=2"}}));

    CStringMap map = parse("b=2\na=1");
    map.setSeparator(";");
    EXPECT_EQ(map.wrappedString("'"), "'a=1';'b=2';");
    // The quoted form reads back through the quote-aware parser.
    EXPECT_EQ(entriesOf(CStringMap(map.wrappedString("'"), ";", '\'')), entriesOf(map));
    EXPECT_EQ(CStringMap().wrappedString("'"), "");
}

TEST(StringMapKeys, CaseSettingRulesLookupsOrderAndCopies) {
    CStringMap map(true);
    map.insert("Sync.Interval", "5");
    map.insert("SYNC.INTERVAL", "6");
    EXPECT_EQ(map.get("sync.INTERVAL"), "5");
    map.set("sync.interval", "7");
    EXPECT_EQ(map.string(), "Sync.Interval=7\nSYNC.INTERVAL=6\n");
    EXPECT_EQ(map.erase("SyNc.InTeRvAl"), 2u);

    CStringMap sensitive;
    sensitive.insert("Sync.Interval", "5");
    EXPECT_FALSE(sensitive.has("sync.interval"));
    sensitive.set("sync.interval", "7");
    EXPECT_EQ(sensitive.size(), 2u);

    // '_' (0x5F) lies between the upper-case and the lower-case letters, so the two orders differ.
    const char* text = "a=1\n_=2\nB=3\nab=4\nAb=5\n\xff=6";
    EXPECT_EQ(CStringMap(text, "\n", 0, false).string(), "Ab=5\nB=3\n_=2\na=1\nab=4\n\xff=6\n");
    EXPECT_EQ(CStringMap(text, "\n", 0, true).string(), "a=1\nab=4\nAb=5\nB=3\n_=2\n\xff=6\n");

    // Copies keep the separator, the quote and the case setting.
    CStringMap original("'K=1';", ";", '\'', true);
    CStringMap copy;
    copy = original;
    copy.set("k", "2");
    EXPECT_EQ(original.get("K"), "1");
    EXPECT_EQ(copy.string(), "K=2;");
    EXPECT_TRUE(copy.string("'a=x;y';"));
    EXPECT_EQ(copy.get("A"), "x;y");
}

TEST(StringMapTyped, SettersWriteDecimalAndOverwriteOnlyTheFirstEntryOrInsert) {
    // The unsigned setter writes the signed 32-bit value and reads its own form back.
    for (const std::uint32_t value : {0u, 2147483647u, 2147483648u, 4294967295u}) {
        SCOPED_TRACE(value);
        CStringMap map;
        map.setULong("oid", value);
        EXPECT_EQ(map.string(), "oid=" + std::to_string(static_cast<std::int32_t>(value)) + "\n");
        EXPECT_EQ(map.getULong("oid"), value);
    }
    CStringMap map = parse("k=1\nk=2\nz=0");
    map.set("k", "a");
    map.setULong("k", 9);
    EXPECT_EQ(map.string(), "k=9\nk=2\nz=0\n");
    map.setUShort("port", 65535);
    map.setBool("on", true);
    map.setBool("off", false);
    map.setLong("k", -5);
    EXPECT_EQ(map.string(), "k=-5\nk=2\noff=false\non=true\nport=65535\nz=0\n");
    EXPECT_EQ(map.getUShort("port"), 65535);
    EXPECT_TRUE(map.getBool("on"));
    EXPECT_FALSE(map.getBool("off"));
    EXPECT_EQ(map.getLong("k"), -5);
}

TEST(StringMapTyped, NumbersAreDecimalAndEverythingElseIsRefused) {
    // {reader, value, the number read or the failure}
    const char* const cases[][3] = {{"u32", " +007\r", "7"},
                                    {"u32", "-1", "4294967295"},
                                    {"u32", "-2147483648", "2147483648"},
                                    {"u32", "4294967296", "range"},
                                    {"u32", "-2147483649", "range"},
                                    {"u32", "", "invalid"},
                                    {"u32", "12abc", "invalid"},
                                    {"u32", "0x10", "invalid"},
                                    {"s32", "-2147483648", "-2147483648"},
                                    {"s32", "2147483648", "range"},
                                    {"u16", "65535", "65535"},
                                    {"u16", "-1", "range"}};
    for (const auto& c : cases) {
        const std::string type = c[0], value = c[1], result = c[2];
        SCOPED_TRACE(type + " '" + value + "'");
        CStringMap map;
        map.set("n", value);
        auto read = [&] {
            return type == "u32"   ? std::to_string(map.getULong("n"))
                   : type == "s32" ? std::to_string(map.getLong("n"))
                                   : std::to_string(map.getUShort("n"));
        };
        if (result == "range" || result == "invalid") {
            EXPECT_EQ(conversionFailure(read),
                      "Cannot convert value '" + value + "' of key 'n' to a number. | " +
                          (result == "range" ? "Number out of range." : "Invalid number."));
        } else {
            EXPECT_EQ(read(), result);
        }
    }
    CStringMap map;
    map.set("oid", "twelve");
    auto f = nbx::testing::failure<CNumberConversionException>([&] { map.getULong("oid"); });
    EXPECT_EQ(f.function, "CStringMap::getULong");
    EXPECT_EQ(f.module, "standard");
}

TEST(StringMapTyped, MissingKeyTakesTheMissingValueText) {
    CStringMap map;
    EXPECT_EQ(map.get("oid"), "");
    std::string value = "untouched";
    EXPECT_FALSE(map.get("oid", value));
    EXPECT_EQ(value, "untouched");
    EXPECT_EQ(conversionFailure([&] { map.getULong("oid"); }),
              "Cannot convert value '' of key 'oid' to a number. | Invalid number.");

    // A derived map supplies its own text for absent keys.
    class Defaults : public CStringMap {
    protected:
        std::string missingValue(const std::string& key) const override {
            return key == "flag" ? "yes" : "17";
        }
    };
    Defaults defaults;
    defaults.set("present", "3");
    EXPECT_EQ(defaults.getULong("present"), 3u);
    EXPECT_EQ(defaults.getULong("absent"), 17u);
    EXPECT_EQ(defaults.get("absent"), "17");
    EXPECT_TRUE(defaults.getBool("flag"));
    EXPECT_FALSE(defaults.has("absent"));
}

TEST(StringMapTyped, BooleanWordsInAnyCase) {
    const std::pair<const char*, bool> accepted[] = {
        {" TRUE ", true}, {"Yes", true}, {"1", true}, {"False", false}, {"NO", false}, {"0", false},
    };
    for (const auto& c : accepted) {
        SCOPED_TRACE(c.first);
        CStringMap map;
        map.set("b", c.first);
        EXPECT_EQ(map.getBool("b"), c.second);
    }
    for (const char* refused : {"", "on"}) {
        SCOPED_TRACE(refused);
        CStringMap map;
        map.set("b", refused);
        EXPECT_EQ(conversionFailure([&] { map.getBool("b"); }),
                  std::string("Cannot convert value '") + refused +
                      "' of key 'b' to a boolean. | Invalid boolean.");
    }
}

TEST(StringMapFuzz, RandomTextNeverFailsAndKeysStopAtTheFirstEquals) {
    std::mt19937 random(20240611u);
    static const char kAlphabet[] = "== \t\n;;''ab\r\0\xff";
    const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
    const char* separators[] = {"\n", ";", "\r\n", ""};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int i = random() % 64; i > 0; --i) text += alphabet[random() % alphabet.size()];
        const std::string separator = separators[random() % 4];
        const char quote = random() % 2 ? '\'' : 0;
        SCOPED_TRACE(::testing::PrintToString(text) + " sep " +
                     ::testing::PrintToString(separator));
        CStringMap map(text, separator, quote, random() % 2 == 0);
        const bool cut = quote == 0 && !separator.empty();
        for (const auto& entry : map) {
            ASSERT_EQ(entry.first.find('='), std::string::npos);
            if (cut) {
                ASSERT_EQ(entry.second.find(separator), std::string::npos);
            }
        }
        // Every written entry has its "=", so none is lost when the text is read again.
        if (cut) {
            EXPECT_EQ(CStringMap(map.string(), separator, quote).size(), map.size());
        }
    }
}
