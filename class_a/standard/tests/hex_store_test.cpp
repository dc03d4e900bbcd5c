#include "standard/hex_store.h"

#include <gtest/gtest.h>

#include "value_test_support.h"

using nbx::CHexStore;
using Bytes = CHexStore::Bytes;

TEST(HexStoreText, WritesUpperCasePairsBetweenSeparators) {
    EXPECT_EQ(CHexStore(Bytes{10, 27, 255}, "-").string(), "0A-1B-FF");
    EXPECT_EQ(CHexStore(Bytes{0xDE, 0xAD}, ", ").string(), "DE, AD");
    EXPECT_EQ(CHexStore(Bytes{}, "-").string(), "");
    EXPECT_EQ(CHexStore("\x01\xfe", 2).string(), "01-FE");  // "-" by default
    Bytes all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<unsigned char>(i));
    for (const char* separator : {"-", "", "::"}) {
        CHexStore again(Bytes{9}, separator);
        again.string(CHexStore(all, separator).string());
        EXPECT_EQ(again.bytes(), all) << separator;
    }
}

TEST(HexStoreText, ReadsLenientlyAndRefusesWhatIsNotADigit) {
    // The separator is skipped, not checked; a trailing separator or a lone character after the
    // last pair is let pass.
    const struct {
        const char *text, *separator;
        Bytes bytes;
    } accepted[] = {
        {"0a:1B-fF", "-", {10, 27, 255}},
        {"0A1", "-", {10}},
        {"0A1B", "", {10, 27}},
        {"0A--1B", "::", {10, 27}},
    };
    for (const auto& c : accepted) {
        SCOPED_TRACE(std::string("'") + c.text + "' with '" + c.separator + "'");
        CHexStore store(Bytes{}, c.separator);
        EXPECT_TRUE(store.string(c.text));
        EXPECT_EQ(store.bytes(), c.bytes);
    }
    const std::pair<std::string, const char*> refused[] = {
        {"G0", "-"}, {"0A-1", "-"}, {"0A1", ""}, {"0A-1B-", "::"}, {std::string("0\0", 2), "-"}};
    for (const auto& [text, separator] : refused) {
        SCOPED_TRACE("'" + text + "' with '" + separator + "'");
        CHexStore store(Bytes{1, 2, 3}, separator);
        valuetest::expectFailure<nbx::CParseException>(
            [&] { store.string(text); },
            {"Cannot convert character to nybble.", "Invalid hexadecimal character.",
             "CHexStore::_char2Nybble"});
        EXPECT_TRUE(store.empty());  // emptied, nothing half-read
    }
}
