#include "standard/string_map.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "standard/decimal.h"
#include "standard/exception.h"
#include "testing/failure.h"

using nbx::CNumberConversionException;
using nbx::CStringMap;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries entriesOf(const CStringMap& map) {
    return Entries(map.begin(), map.end());
}

// "message | reason @ function" of the CNumberConversionException that `read` throws.
template <class F>
std::string conversionFailure(F&& read) {
    auto f = nbx::testing::failure<CNumberConversionException>(read);
    EXPECT_EQ(f.module, "standard");
    return f.thrown ? f.text() + " @ " + f.function : "<no CNumberConversionException>";
}

}  // namespace

TEST(Decimal, ReadsOneSignAndTheDigitsAfterIt) {
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    const struct {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const nbx::DecimalPrefix number = nbx::readDecimal(c.text);
        EXPECT_EQ(number.status, c.status);
        EXPECT_EQ(number.length, c.length);
        EXPECT_EQ(number.value, c.value);
    }
    // An object id: signed or unsigned 32-bit, nothing around it.
    std::uint32_t oid = 5;
    for (const char* refused : {"4294967296", "-2147483649", "7 ", "x"}) {
        EXPECT_FALSE(nbx::readOid(refused, oid)) << refused;
    }
    EXPECT_EQ(oid, 5u);
    EXPECT_TRUE(nbx::readOid("-1", oid) && oid == 4294967295u);
    EXPECT_TRUE(nbx::readOid("4294967295", oid) && oid == 4294967295u);
    EXPECT_TRUE(nbx::readOid("-2147483648", oid) && oid == 2147483648u);
}

TEST(StringMapText, EntriesAreWrittenInKeyOrderAndEqualKeysAreAllKept) {
    CStringMap map;
    EXPECT_TRUE(map.string("b=2\na=1\nb=0"));
    EXPECT_EQ(map.string(), "a=1\nb=2\nb=0\n");
    // Lookups find the first of equal keys; inserts go after them; erase takes them all.
    EXPECT_EQ(map.get("b"), "2");
    EXPECT_TRUE(map.has("a") && !map.has("0"));  // "0" sorts before the "a" found
    map.insert("b", "9");
    EXPECT_EQ(map.string(), "a=1\nb=2\nb=0\nb=9\n");
    EXPECT_EQ(map.erase("b"), 3u);
    EXPECT_FALSE(map.has("b"));
    EXPECT_TRUE(map.string("z=3"));  // new text replaces the old content
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
    const struct {
        const char* text;
        char quote;
        Entries expected;
    } cases[] = {
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
    for (const auto& c : cases) {
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

    crlf.setSeparator(";");
    EXPECT_EQ(crlf.wrappedString("'"), "'a=1';'b=2';");
    // The quoted form reads back through the quote-aware parser.
    EXPECT_EQ(entriesOf(CStringMap(crlf.wrappedString("'"), ";", '\'')), entriesOf(crlf));
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

TEST(StringMapTyped, SettersWriteDecimalAndOverwriteOnlyTheFirstEntry) {
    // The unsigned setter writes the signed 32-bit value and reads its own form back.
    for (const std::uint32_t value : {0u, 2147483647u, 2147483648u, 4294967295u}) {
        CStringMap map;
        map.setULong("oid", value);
        EXPECT_EQ(map.string(), "oid=" + std::to_string(static_cast<std::int32_t>(value)) + "\n");
        EXPECT_EQ(map.getULong("oid"), value);
    }
    CStringMap map("k=1\nk=2\nz=0", "\n");
    map.set("k", "a");
    map.setULong("k", 9);
    EXPECT_EQ(map.string(), "k=9\nk=2\nz=0\n");
    map.setLong("k", -5);
    EXPECT_EQ(map.string(), "k=-5\nk=2\nz=0\n");
}

TEST(StringMapTyped, NumbersAndBooleansAreReadStrictly) {
    // {reader, value, the value read or the failure's reason}
    const char* const cases[][3] = {{"u32", " +007\r", "7"},
                                    {"u32", "-1", "4294967295"},
                                    {"u32", "-2147483648", "2147483648"},
                                    {"u32", "4294967296", "Number out of range."},
                                    {"u32", "-2147483649", "Number out of range."},
                                    {"u32", "", "Invalid number."},
                                    {"u32", "12abc", "Invalid number."},
                                    {"s32", "-2147483648", "-2147483648"},
                                    {"s32", "2147483648", "Number out of range."},
                                    {"u16", "65535", "65535"},
                                    {"u16", "-1", "Number out of range."},
                                    {"bool", " TRUE ", "1"},
                                    {"bool", "Yes", "1"},
                                    {"bool", "1", "1"},
                                    {"bool", "False", "0"},
                                    {"bool", "NO", "0"},
                                    {"bool", "0", "0"},
                                    {"bool", "on", "Invalid boolean."}};
    for (const auto& c : cases) {
        const std::string type = c[0], value = c[1], result = c[2];
        SCOPED_TRACE(type + " '" + value + "'");
        CStringMap map;
        map.set("n", value);
        auto read = [&] {
            return type == "u32"   ? std::to_string(map.getULong("n"))
                   : type == "s32" ? std::to_string(map.getLong("n"))
                   : type == "u16" ? std::to_string(map.getUShort("n"))
                                   : std::to_string(map.getBool("n"));
        };
        const std::string function = type == "u32"   ? "getULong"
                                     : type == "s32" ? "getLong"
                                     : type == "u16" ? "getUShort"
                                                     : "getBool";
        if (result.back() == '.') {
            EXPECT_EQ(conversionFailure(read), "Cannot convert value '" + value +
                                                   "' of key 'n' to a " +
                                                   (type == "bool" ? "boolean" : "number") +
                                                   ". | " + result + " @ CStringMap::" + function);
        } else {
            EXPECT_EQ(read(), result);
        }
    }
}

TEST(StringMapTyped, MissingKeyTakesTheMissingValueText) {
    CStringMap map;
    EXPECT_EQ(map.get("oid"), "");
    std::string value = "untouched";
    EXPECT_FALSE(map.get("oid", value));
    EXPECT_EQ(value, "untouched");
    EXPECT_EQ(conversionFailure([&] { map.getULong("oid"); }),
              "Cannot convert value '' of key 'oid' to a number. | Invalid number. @ "
              "CStringMap::getULong");

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
    EXPECT_TRUE(defaults.getBool("flag"));
    EXPECT_FALSE(defaults.has("absent"));
}
