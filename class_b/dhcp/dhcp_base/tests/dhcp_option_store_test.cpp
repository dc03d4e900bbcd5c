#include "dhcp_base/dhcp_option_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "standard/exception.h"
#include "standard/string_map.h"
#include "testing/failure.h"

namespace {

CDHCPOptionStore sample() {
    CDHCPOptionStore store;
    store.add("option-routers", "10.0.0.1");
    store.add("-option-domain-name", "");
    store.add("option-routers", "10.0.0.2");
    store.add("option-subnet-mask", "255.255.255.0");
    return store;
}

}  // namespace

TEST(OptionStoreText, LinesAndJsonAreWrittenInKeyOrderAndReadBackFaithfully) {
    CDHCPOptionStore store = sample();
    EXPECT_EQ(store.lines(),
              "-option-domain-name=\noption-routers=10.0.0.1\noption-routers=10.0.0.2\n"
              "option-subnet-mask=255.255.255.0\n");
    EXPECT_EQ(store.json(),
              R"([["-option-domain-name",""],["option-routers","10.0.0.1"],)"
              R"(["option-routers","10.0.0.2"],["option-subnet-mask","255.255.255.0"]])");
    CDHCPOptionStore copy;
    copy.setLines(store.lines());
    EXPECT_TRUE(copy == store);
    copy.setJson("[]");
    EXPECT_TRUE(copy.empty());
    copy.setJson(store.json());
    EXPECT_TRUE(copy == store);

    // A record appends the lines to its own text; the reader collects the option entries of the
    // parsed map again. The store must come out the same.
    nbx::CStringMap record;
    record.set("name", "pool-a");
    std::string lines;
    for (const auto& entry : nbx::CStringMap(record.string() + store.lines(), "\n", 0, false)) {
        if (CDHCPOptionStore::isOptionKey(entry.first))
            lines += entry.first + "=" + entry.second + "\n";
    }
    CDHCPOptionStore back;
    back.setLines(lines);
    EXPECT_TRUE(back == store);
}

TEST(OptionStoreText, RefusedInputLeavesTheStoreAsItWas) {
    struct Case {
        const char* what;
        std::function<void(CDHCPOptionStore&)> action;
        const char* reason;
    };
    const Case cases[] = {
        {"non-option line", [](CDHCPOptionStore& s) { s.setLines("option-a=1\nname=x\n"); },
         "Line 2 is not an option: 'name'."},
        {"malformed json", [](CDHCPOptionStore& s) { s.setJson("[[\"option-a\",\"1\"]"); },
         "The text is not a JSON array."},
        {"json object", [](CDHCPOptionStore& s) { s.setJson("{\"option-a\":\"1\"}"); },
         "The text is not a JSON array."},
        {"json triple", [](CDHCPOptionStore& s) { s.setJson("[[\"option-a\",\"1\",\"2\"]]"); },
         "Every element must be a pair of an option key and a text."},
        {"json number", [](CDHCPOptionStore& s) { s.setJson("[[\"option-a\",1]]"); },
         "Every element must be a pair of an option key and a text."},
        {"json foreign key", [](CDHCPOptionStore& s) { s.setJson("[[\"name\",\"x\"]]"); },
         "Every element must be a pair of an option key and a text."},
        {"add foreign key", [](CDHCPOptionStore& s) { s.add("pool", "x"); },
         "An option key begins with 'option' or '-option'."},
        {"the json carrier key", [](CDHCPOptionStore& s) { s.add("options", "[]"); },
         "An option key begins with 'option' or '-option'."},
        // The JSON form (the stored form) holds UTF-8 text only.
        {"non-UTF-8 line", [](CDHCPOptionStore& s) { s.setLines("option-a=1\noption-b=\xff\n"); },
         "Line 2 is not UTF-8 text."},
        {"non-UTF-8 value", [](CDHCPOptionStore& s) { s.add("option-a", "caf\xc3"); },
         "The option is not UTF-8 text."},
        {"non-UTF-8 key", [](CDHCPOptionStore& s) { s.add("option-\xe9", "x"); },
         "The option is not UTF-8 text."},
        {"non-UTF-8 replacement", [](CDHCPOptionStore& s) { s.set("option-routers", "\x80"); },
         "The option is not UTF-8 text."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CDHCPOptionStore store = sample();
        EXPECT_EQ(nbx::testing::failure([&] { c.action(store); }).reason, c.reason);
        EXPECT_TRUE(store == sample());
    }
}

TEST(OptionStoreSubnetMask, PrefixLengthFromTheMaskOption) {
    CDHCPOptionStore store;
    EXPECT_EQ(store.subnetMaskPrefixLength(), -1);
    const std::pair<const char*, int> masks[] = {
        {"255.255.255.0", 24}, {"255.255.255.255", 32}, {"0.0.0.0", 0}, {"255.255.240.0", 20}};
    for (const auto& mask : masks) {
        SCOPED_TRACE(mask.first);
        store.set(CDHCPOptionStore::kSubnetMaskKey, mask.first);
        EXPECT_EQ(store.subnetMaskPrefixLength(), mask.second);
    }
    for (const char* bad : {"255.0.255.0", "::ffff", "mask", ""}) {
        SCOPED_TRACE(bad);
        store.set(CDHCPOptionStore::kSubnetMaskKey, bad);
        EXPECT_EQ(nbx::testing::failure([&] { store.subnetMaskPrefixLength(); }).reason,
                  std::string("Value '") + bad + "' is not an IPv4 subnet mask.");
    }
}

TEST(OptionStoreText, RandomTextsNeverCrash) {
    std::mt19937 random(7);
    const std::string alphabet = "option-=[]\",{}\n \\0123456789abc\xc3\xa9\xff";
    int accepted = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        for (int n = random() % 40; n > 0; --n) text += alphabet[random() % alphabet.size()];
        CDHCPOptionStore store;
        try {
            (i % 2 ? store.setJson(text) : store.setLines(text));
            ++accepted;
            EXPECT_NO_THROW(store.json());
        } catch (nbx::CException&) {
        }
    }
    EXPECT_GT(accepted, 0);
}
