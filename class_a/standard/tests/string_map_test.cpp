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

// --- parsing and writing --------------------------------------------------------------------

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
    EXPECT_EQ(map.erase("b"), 0u);
    // New text replaces the old content; empty text gives an empty map.
    EXPECT_TRUE(map.string("z=3"));
    EXPECT_EQ(map.string(), "z=3\n");
    EXPECT_TRUE(map.string(""));
    EXPECT_EQ(map.size(), 0u);
    EXPECT_EQ(map.string(), "");

    nbx::CObject& object = map;
    EXPECT_TRUE(object.setString("b=2\na=1"));
    std::string out;
    object.getString(out);
    EXPECT_EQ(out, "a=1\nb=2\n");
    EXPECT_TRUE(object.setString(nullptr));
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(object.className(), "nbx::CStringMap");
}

TEST(StringMapText, TokensAndFieldsAreTrimmedAsSpecifiedPerStep) {
    struct Case {
        const char* text;
        Entries expected;
    };
    const Case cases[] = {
        // Token: leading and trailing blanks go; the key loses its tab; the value keeps its "=".
        {"  key\t=  some=value \n\n", {{"key", "some=value"}}},
        // One pass of each trim: the blank before the trailing tab stays in the key.
        {"key \t=v", {{"key ", "v"}}},
        // Tabs then blanks at the front of a field: leading blanks run first, so a blank after a
        // tab stays.
        {"k=\t v", {{"k", " v"}}},
        {"k= \tv", {{"k", "v"}}},
        // Trailing blanks run before trailing tabs: "v\t " loses both, "v \t" keeps the blank.
        {"a=v \t\nb=v\t ", {{"a", "v "}, {"b", "v"}}},
        // No "=": a key with the empty value.
        {"flag", {{"flag", ""}}},
        {"=v", {{"", "v"}}},
        // Blank lines, lines of blanks and a final separator give no entry.
        {"\n   \n\na=1\n\n", {{"a", "1"}}},
        // A line of tabs is not empty after the token trim (it only removes blanks).
        {"\t\n", {{"", ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(entriesOf(parse(c.text)), c.expected);
    }
}

TEST(StringMapText, QuotedTokensLoseQuotesThenBlanksAtBothEnds) {
    struct Case {
        const char* text;
        Entries expected;
    };
    const Case cases[] = {
        {"'a=x;y';'b=z'", {{"a", "x;y"}, {"b", "z"}}},  // the separator inside quotes stays
        // Quotes first, then blanks: blanks outside the quotes stay glued to them.
        {"''a=1'';", {{"a", "1"}}},
        {"' a = 1 '", {{"a", "1"}}},
        {" 'a=1' ", {{"'a", "1'"}}},
        // A separator that opens a token ends the (empty) token: no entry.
        {";;'a=1';;'b=2'", {{"a", "1"}, {"b", "2"}}},
        // A separator not preceded by the quote stays, even at the end of the text.
        {"'a=1;b=2", {{"a", "1;b=2"}}},
        // Only quotes: empty after the trim.
        {"'''';'';", {}},
        // Quotes inside the value are not touched.
        {"'a=x'y';", {{"a", "x'y"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(entriesOf(CStringMap(c.text, ";", '\'')), c.expected);
    }
    // Without the quote character every ";" cuts, and the apostrophes stay.
    CStringMap plain("'a=x;y';'b=z'", ";", 0);
    EXPECT_EQ(entriesOf(plain), (Entries{{"'a", "x"}, {"'b", "z'"}, {"y'", ""}}));
    EXPECT_EQ(plain.string(), "'a=x;'b=z';y'=;");
}

TEST(StringMapText, MultiCharacterEmptyAndWrappingSeparators) {
    CStringMap crlf("b=2\r\na=1\r\n", "\r\n");
    EXPECT_EQ(entriesOf(crlf), (Entries{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(crlf.string(), "a=1\r\nb=2\r\n");
    // Nothing to cut at: the whole text is one entry.
    EXPECT_EQ(entriesOf(CStringMap("a=1\nb=2", "")), (Entries{{"a", "1\nb=2"}}));

    CStringMap map = parse("b=2\na=1");
    EXPECT_EQ(map.wrappedString("\""), "\"a=1\"\n\"b=2\"\n");
    map.setSeparator(";");
    EXPECT_EQ(map.wrappedString("'"), "'a=1';'b=2';");
    // The quoted form reads back through the quote-aware parser.
    EXPECT_EQ(entriesOf(CStringMap(map.wrappedString("'"), ";", '\'')), entriesOf(map));
    EXPECT_EQ(CStringMap().wrappedString("'"), "");
}

// --- key comparison -------------------------------------------------------------------------

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

    CStringMap original("'K=1';", ";", '\'', true);
    CStringMap copy(original);
    copy.set("k", "2");
    EXPECT_EQ(original.get("K"), "1");
    EXPECT_EQ(copy.string(), "K=2;");
    EXPECT_TRUE(copy.string("'a=x;y';"));
    EXPECT_EQ(copy.get("A"), "x;y");

    CStringMap assigned;
    assigned = original;
    EXPECT_EQ(assigned.get("k"), "1");
    EXPECT_EQ(assigned.string(), "K=1;");
}

// --- typed access ---------------------------------------------------------------------------

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
    const char* const cases[][3] = {{"u32", "+7", "7"},
                                    {"u32", " 12 ", "12"},
                                    {"u32", "5\r", "5"},
                                    {"u32", "007", "7"},
                                    {"u32", "-1", "4294967295"},
                                    {"u32", "4294967295", "4294967295"},
                                    {"u32", "-2147483648", "2147483648"},
                                    {"u32", "4294967296", "range"},
                                    {"u32", "-2147483649", "range"},
                                    {"u32", "99999999999999999999999999", "range"},
                                    {"u32", "", "invalid"},
                                    {"u32", "12abc", "invalid"},
                                    {"u32", "0x10", "invalid"},
                                    {"u32", "1 2", "invalid"},
                                    {"u32", "-", "invalid"},
                                    {"u32", "--1", "invalid"},
                                    {"s32", "-2147483648", "-2147483648"},
                                    {"s32", "2147483648", "range"},
                                    {"s32", "x", "invalid"},
                                    {"u16", "65535", "65535"},
                                    {"u16", "65536", "range"},
                                    {"u16", "-1", "range"},
                                    {"u16", "1.5", "invalid"}};
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
    EXPECT_EQ(f.className, "nbx::CStringMap");
    EXPECT_EQ(f.severity, nbx::SEVERITY_ERROR);
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
        {"true", true},   {"TRUE", true},   {"Yes", true}, {"1", true},  {" true ", true},
        {"false", false}, {"False", false}, {"NO", false}, {"0", false},
    };
    for (const auto& c : accepted) {
        SCOPED_TRACE(c.first);
        CStringMap map;
        map.set("b", c.first);
        EXPECT_EQ(map.getBool("b"), c.second);
    }
    for (const char* refused : {"", "2", "on", "truth", "t"}) {
        SCOPED_TRACE(refused);
        CStringMap map;
        map.set("b", refused);
        EXPECT_EQ(conversionFailure([&] { map.getBool("b"); }),
                  std::string("Cannot convert value '") + refused +
                      "' of key 'b' to a boolean. | Invalid boolean.");
    }
}

// --- any text is accepted -------------------------------------------------------------------

TEST(StringMapFuzz, RandomTextNeverFailsAndEntriesKeepTheSyntaxRules) {
    std::mt19937 random(20240611u);
    // Characters that matter to the parser, plus arbitrary bytes.
    static const char kAlphabet[] = "==  \t\t\n\n;;''\"\"ab\r\0\xff";
    const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
    const char* separators[] = {"\n", ";", "\r\n", "=", " ", ""};
    const char quotes[] = {0, '\'', '\n', ' ', '='};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 64);
        for (int i = 0; i < length; ++i) {
            text += (random() % 4 == 0) ? static_cast<char>(random() % 256)
                                        : alphabet[random() % alphabet.size()];
        }
        const std::string separator = separators[random() % 6];
        const char quote = quotes[random() % 5];
        const bool caseInsensitive = random() % 2 == 0;
        SCOPED_TRACE(::testing::PrintToString(text) + " sep " +
                     ::testing::PrintToString(separator) + " quote " + std::to_string(quote));

        CStringMap map(caseInsensitive);
        map.setSeparator(separator);
        map.setQuote(quote);
        ASSERT_TRUE(map.string(text));
        ASSERT_LE(map.size(), text.size());
        for (const auto& entry : map) {
            // The key ends before the first "=" of its token.
            ASSERT_EQ(entry.first.find('='), std::string::npos);
            if (quote == 0 && !separator.empty()) {
                ASSERT_EQ(entry.first.find(separator), std::string::npos);
                ASSERT_EQ(entry.second.find(separator), std::string::npos);
            }
        }
        // The written form is accepted again, and so is reading through every accessor.
        CStringMap again(map.string(), separator, quote, caseInsensitive);
        for (const auto& entry : map) {
            ASSERT_TRUE(map.has(entry.first));
            try {
                map.getULong(entry.first);
                map.getBool(entry.first);
            } catch (CNumberConversionException&) {
            }
        }
    }
}
