#include "dhcp_base/dhcp_option_store.h"

#include <gtest/gtest.h>

#include <functional>

#include "standard/string_map.h"
#include "testing/failure.h"

namespace {

CDHCPOptionStore sample() {
    CDHCPOptionStore store;
    store.add("option-routers", "10.0.0.1");
    store.add("-option-domain-name", "");
    store.add("option-routers", "10.0.0.2");
    return store;
}

}  // namespace

TEST(OptionStoreText, LinesAndJsonAreWrittenInKeyOrderAndReadBackFaithfully) {
    CDHCPOptionStore store = sample();
    EXPECT_EQ(store.lines(),
              "-option-domain-name=\noption-routers=10.0.0.1\noption-routers=10.0.0.2\n");
    EXPECT_EQ(store.json(), R"([["-option-domain-name",""],["option-routers","10.0.0.1"],)"
                            R"(["option-routers","10.0.0.2"]])");
    CDHCPOptionStore copy;
    copy.setJson(store.json());
    EXPECT_TRUE(copy == store);

    // The option entries of a record's text that ends with the lines give the store back.
    std::string lines;
    for (const auto& entry : nbx::CStringMap("name=pool-a\n" + store.lines(), "\n", 0, false))
        if (CDHCPOptionStore::isOptionKey(entry.first))
            lines += entry.first + "=" + entry.second + "\n";
    copy.setLines(lines);
    EXPECT_TRUE(copy == store);
    copy.setLines(" option-routers = 10.0.0.1 \r\n\t\n");  // blanks and blank lines dropped
    EXPECT_EQ(copy.lines(), "option-routers=10.0.0.1\n");
}

TEST(OptionStoreText, RefusedInputLeavesTheStoreAsItWas) {
    const std::pair<std::function<void(CDHCPOptionStore&)>, const char*> cases[] = {
        {[](CDHCPOptionStore& s) { s.setLines("option-a=1\nname=x\n"); },
         "Line 2 is not an option: 'name'."},
        {[](CDHCPOptionStore& s) { s.setJson("{\"option-a\":\"1\"}"); },
         "The text is not a JSON array."},
        {[](CDHCPOptionStore& s) { s.setJson("[[\"option-a\","); },  // not JSON at all
         "The text is not a JSON array."},
        {[](CDHCPOptionStore& s) { s.setJson("[[\"option-a\",1]]"); },
         "Every element must be a pair of an option key and a text."},
        {[](CDHCPOptionStore& s) { s.add("options", "[]"); },  // the JSON form's record key
         "An option key begins with 'option' or '-option'."},
        {[](CDHCPOptionStore& s) { s.setLines("option-a=1\noption-b=\xff\n"); },
         "Line 2 is not UTF-8 text."},
        {[](CDHCPOptionStore& s) { s.set("option-routers", "\x80"); },
         "The option is not UTF-8 text."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        CDHCPOptionStore store = sample();
        EXPECT_EQ(nbx::testing::failure([&] { c.first(store); }).reason, c.second);
        EXPECT_TRUE(store == sample());
    }
}

TEST(OptionStoreSubnetMask, PrefixLengthFromTheMaskOption) {
    CDHCPOptionStore store;
    EXPECT_EQ(store.subnetMaskPrefixLength(), -1);
    for (const auto& mask : {std::pair{"255.255.240.0", 20}, std::pair{"0.0.0.0", 0}}) {
        store.set(CDHCPOptionStore::kSubnetMaskKey, mask.first);
        EXPECT_EQ(store.subnetMaskPrefixLength(), mask.second);
    }
    for (const char* bad : {"255.0.255.0", "255.255.x.0"}) {  // not contiguous; not an address
        store.set(CDHCPOptionStore::kSubnetMaskKey, bad);
        EXPECT_EQ(nbx::testing::failure([&] { store.subnetMaskPrefixLength(); }).reason,
                  "Value '" + std::string(bad) + "' is not an IPv4 subnet mask.");
    }
}
