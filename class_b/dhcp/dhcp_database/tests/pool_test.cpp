#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../../../../class_a/oodb_persistence/tests/memory_engine.h"
#include "dhcp_database/address_pool.h"
#include "dhcp_database/network_pool.h"
#include "oodb_persistence/prst_db_session.h"
#include "record_test_support.h"

using dhcptest::edited;
using dhcptest::outcome;

namespace {

constexpr const char* kPool = "Cannot set pool record from text.";
constexpr const char* kAddressPool = "Cannot set address pool record from text.";
constexpr const char* kNetworkPool = "Cannot set network pool record from text.";
constexpr const char* kPre = "dhcp_database CPrstPool::_preDeserialize";
constexpr const char* kSet = "dhcp_database CPrstPool::_set";
constexpr const char* kAddressSet = "dhcp_database CPrstAddressPool::_set";

// A full IPv4 pool, every key given, as it is written in line mode.
const char* const kPool4Text =
    "allow=known-clients\n"
    "deny=unknown-clients\n"
    "description=Office floor 2\n"
    "domains=root:1\n"
    "enabled=false\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "name=office-2\n"
    "oid=12\n"
    "policies=default,voip\n"
    "pref_lt=3600\n"
    "prefix=10.1.2.0\n"
    "prefix_len=24\n"
    "rangesize=191\n"
    "rangestart=10.1.2.10\n"
    "rangestop=10.1.2.200\n"
    "relay=10.1.2.1\n"
    "session_id=7\n"
    "valid_lt=-1\n"
    "weight=3\n"
    "xrange=10.1.2.50-10.1.2.60\n"
    "option-routers=10.1.2.1\n"
    "option-subnet-mask=255.255.255.0\n";

const char* const kPool6Text =
    "allow=\n"
    "deny=\n"
    "description=\n"
    "domains=\n"
    "enabled=true\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "name=lab-v6\n"
    "oid=4\n"
    "policies=\n"
    "pref_lt=1800\n"
    "prefix=2001:db8:1::\n"
    "prefix_len=64\n"
    "rangesize=65536\n"
    "rangestart=2001:db8:1::1:0\n"
    "rangestop=2001:db8:1::1:ffff\n"
    "relay=2001:db8:1::1\n"
    "session_id=0\n"
    "valid_lt=3600\n"
    "weight=0\n"
    "xrange=\n"
    "option-dns-servers=2001:db8::53\n";

const char* const kNetworkText =
    "allow=\n"
    "deny=\n"
    "description=delegations\n"
    "domains=\n"
    "enabled=true\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "name=pd\n"
    "oid=9\n"
    "policies=\n"
    "pref_lt=0\n"
    "prefix=2001:db8:100::\n"
    "prefix_len=40\n"
    "rangesize=256\n"
    "rangestart=2001:db8:100::\n"
    "rangestop=2001:db8:1ff::\n"
    "relay=2001:db8::1\n"
    "session_id=0\n"
    "sub_prefix_len=48\n"
    "valid_lt=0\n"
    "weight=1\n"
    "xrange=\n"
    "option-sip-servers=2001:db8::5060\n";

// The least valid texts, the bases of the rule cases.
const char* const kMin4 =
    "rangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\nprefix_len=24\n";
const char* const kMin6 =
    "rangestart=2001:db8:1::100\nrangestop=2001:db8:1::1ff\nrelay=2001:db8:1::1\nprefix_len=64\n";
const char* const kMinNet =
    "rangestart=2001:db8:100::\nrangestop=2001:db8:1ff::\nrelay=2001:db8::1\n"
    "prefix=2001:db8:100::\nprefix_len=40\nsub_prefix_len=48\n";

struct RuleCase {
    unsigned family;
    const char* kind;  // text class name
    std::string text;
    std::string expected;  // "message | reason" or "<no exception>"
    std::string site;      // "module function"; empty: not checked
};

class PoolTest : public ::testing::Test {
protected:
    dhcptest::CDHCPRegistry v4{4};
    dhcptest::CDHCPRegistry v6{6};

    // A pool of the text class name from the registry of `family`.
    CPrstObjectPtr pool(unsigned family, const char* textClassName = "address_pool") {
        return (family == 6 ? v6 : v4).create(textClassName);
    }

    // Each text read into a new pool fails as expected (or not at all).
    void expect(const std::vector<RuleCase>& cases) {
        for (const RuleCase& c : cases) {
            SCOPED_TRACE("IPv" + std::to_string(c.family) + " " + c.kind + "\n" + c.text);
            CPrstObjectPtr object = pool(c.family, c.kind);
            dhcptest::Outcome f = outcome([&] { object->string(c.text); });
            EXPECT_EQ(f.text, c.expected);
            if (!c.site.empty()) {
                EXPECT_EQ(f.site, c.site);
            }
        }
    }
};

}  // namespace

TEST_F(PoolTest, FullRecordsAreWrittenInKeyOrderWithTheirOptionsAfter) {
    struct Case {
        unsigned family;
        const char* kind;
        const char* text;
        const char* className;
    } cases[] = {
        {4, "address_pool", kPool4Text, "CPrstAddressPool4"},
        {6, "address_pool", kPool6Text, "CPrstAddressPool6"},
        {6, "network_pool", kNetworkText, "CPrstNetworkPool"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        CPrstObjectPtr object = pool(c.family, c.kind);
        EXPECT_EQ(object->className(), c.className);
        object->string(c.text);
        EXPECT_EQ(object->string(), c.text);
    }
}

TEST_F(PoolTest, JsonModeCarriesTheOptionsAsOneEntry) {
    CPrstObjectPtr object = pool(4);
    object->string(kPool4Text);
    v4.context->setJsonOptions(true);
    EXPECT_EQ(object->string(), edited(kPool4Text,
                                       {{"options",
                                         "[[\"option-routers\",\"10.1.2.1\"],"
                                         "[\"option-subnet-mask\",\"255.255.255.0\"]]"}},
                                       {"option-routers", "option-subnet-mask"}));
}

class PoolRoundTrip : public PoolTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PoolRoundTrip, ObjectToTextToNewObjectGivesTheSameText) {
    const bool json = GetParam();
    struct Case {
        unsigned family;
        const char* kind;
        const char* text;
    } cases[] = {
        {4, "address_pool", kPool4Text},
        {6, "address_pool", kPool6Text},
        {6, "network_pool", kNetworkText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " IPv" + std::to_string(c.family) +
                     (json ? " json" : " lines"));
        dhcptest::CDHCPRegistry& server = c.family == 6 ? v6 : v4;
        server.context->setJsonOptions(false);
        CPrstObjectPtr original = pool(c.family, c.kind);
        original->string(c.text);
        server.context->setJsonOptions(json);

        const std::string written = original->string();
        EXPECT_EQ(written.find("\noption-") == std::string::npos, json);
        EXPECT_EQ(written.find("\noptions=[[") != std::string::npos, json);
        CPrstObjectPtr copy = pool(c.family, c.kind);
        copy->string(written);
        EXPECT_EQ(copy->string(), written);
        EXPECT_TRUE(dynamic_cast<CPrstPool&>(*copy).options() ==
                    dynamic_cast<CPrstPool&>(*original).options());
    }
}

INSTANTIATE_TEST_SUITE_P(OptionModes, PoolRoundTrip, ::testing::Bool());

TEST_F(PoolTest, MissingRequiredKeysNameTheKey) {
    const std::vector<RuleCase> cases = {
        {4, "address_pool", edited(kMin4, {}, {"rangestop"}),
         std::string(kPool) + " | Missing 'rangestop' key.", kPre},
        {4, "address_pool", edited(kMin4, {}, {"rangestart"}),
         std::string(kPool) + " | Missing 'rangestart' key.", kPre},
        {4, "address_pool", edited(kMin4, {}, {"relay"}),
         std::string(kPool) + " | Missing 'relay' key.", kSet},
        {6, "address_pool", edited(kMin6, {}, {"relay"}),
         std::string(kPool) + " | Missing 'relay' key.", kSet},
        {4, "address_pool", edited(kMin4, {}, {"prefix_len"}),
         std::string(kAddressPool) + " | Missing 'prefix_len' key or subnet mask option.",
         kAddressSet},
        {6, "address_pool", edited(kMin6, {}, {"prefix_len"}),
         std::string(kAddressPool) + " | Missing 'prefix_len' key.", kAddressSet},
        {6, "network_pool", edited(kMinNet, {}, {"sub_prefix_len"}),
         std::string(kNetworkPool) + " | Missing 'sub_prefix_len' key.",
         "dhcp_database CPrstNetworkPool::_preDeserialize"},
        {6, "network_pool", edited(kMinNet, {}, {"prefix"}),
         std::string(kNetworkPool) + " | Missing 'prefix' key.",
         "dhcp_database CPrstNetworkPool::_setPrefixData"},
        {6, "network_pool", edited(kMinNet, {}, {"prefix_len"}),
         std::string(kNetworkPool) + " | Missing 'prefix_len' key.",
         "dhcp_database CPrstNetworkPool::_setPrefixData"},
        {6, "network_pool", edited(kMinNet, {}, {"relay"}),
         std::string(kPool) + " | Missing 'relay' key.", kSet},
    };
    expect(cases);
}

TEST_F(PoolTest, TheRangeMustBeOfTheFamilyInOrderAndNotLocal) {
    auto reason = [](const char* text) { return std::string(kPool) + " | " + text; };
    const std::vector<RuleCase> cases = {
        {4, "address_pool",
         edited(kMin4, {{"rangestart", "10.1.2.200"}, {"rangestop", "10.1.2.10"}}),
         reason("Values for keys 'rangestart' and 'rangestop' are reversed."), kPre},
        {6, "address_pool",
         edited(kMin6, {{"rangestart", "2001:db8:1::1ff"}, {"rangestop", "2001:db8:1::100"}}),
         reason("Values for keys 'rangestart' and 'rangestop' are reversed."), kPre},
        {4, "address_pool",
         edited(kMin4, {{"rangestart", "10.1.2.10"}, {"rangestop", "10.1.2.10"}}), "<no exception>",
         ""},
        {4, "address_pool", edited(kMin4, {{"rangestart", "2001:db8::1"}}),
         reason("Incorrect ip address type for key 'rangestart'."), kPre},
        {4, "address_pool", edited(kMin4, {{"rangestop", "2001:db8::1"}}),
         reason("Incorrect ip address type for key 'rangestop'."), kPre},
        {6, "address_pool", edited(kMin6, {{"rangestart", "10.1.2.10"}}),
         reason("Incorrect ip address type for key 'rangestart'."), kPre},
        {6, "address_pool", edited(kMin6, {{"rangestop", "10.1.2.10"}}),
         reason("Incorrect ip address type for key 'rangestop'."), kPre},
        {4, "address_pool", edited(kMin4, {{"rangestart", "10.1.2"}}),
         reason("Incorrect ip address type for key 'rangestart'."), kPre},
        {4, "address_pool", edited(kMin4, {{"rangestop", ""}}),
         reason("Incorrect ip address type for key 'rangestop'."), kPre},
        {6, "network_pool", edited(kMinNet, {{"rangestop", "10.0.0.1"}}),
         reason("Incorrect ip address type for key 'rangestop'."), kPre},
        // link-local
        {4, "address_pool",
         edited(kMin4, {{"rangestart", "169.254.0.10"}, {"rangestop", "169.254.0.20"}}),
         reason("Key 'rangestart' specifies a link-local address."), kPre},
        {6, "address_pool", edited(kMin6, {{"rangestart", "fe80::10"}, {"rangestop", "fe80::20"}}),
         reason("Key 'rangestart' specifies a link-local address."), kPre},
        {6, "address_pool", edited(kMin6, {{"rangestop", "fe80::1"}}),
         reason("Key 'rangestop' specifies a link-local address."), kPre},
        {6, "address_pool", edited(kMin6, {{"rangestart", "ff02::1"}, {"rangestop", "ff02::2"}}),
         reason("Key 'rangestart' specifies a link-local address."), kPre},
        {4, "address_pool",
         edited(kMin4, {{"rangestart", "169.253.255.1"}, {"rangestop", "169.253.255.9"}}),
         "<no exception>", ""},
        // node-local
        {4, "address_pool",
         edited(kMin4, {{"rangestart", "127.0.0.1"}, {"rangestop", "127.0.0.9"}}),
         reason("Key 'rangestart' specifies a node-local address."), kPre},
        {4, "address_pool",
         edited(kMin4, {{"rangestart", "126.255.255.1"}, {"rangestop", "127.0.0.1"}}),
         reason("Key 'rangestop' specifies a node-local address."), kPre},
        {6, "address_pool", edited(kMin6, {{"rangestart", "::1"}}),
         reason("Key 'rangestart' specifies a node-local address."), kPre},
        {6, "address_pool", edited(kMin6, {{"rangestop", "ff01::1"}}),
         reason("Key 'rangestop' specifies a node-local address."), kPre},
    };
    expect(cases);
}

TEST_F(PoolTest, TheRangeLiesInOneNetworkOfThePoolsPrefixLength) {
    auto reason = [](const char* text) { return std::string(kPool) + " | " + text; };
    const std::string apart =
        "Values for keys 'rangestart' and 'rangestop' are not on the same network.";
    const std::vector<RuleCase> cases = {
        {4, "address_pool", edited(kMin4, {{"rangestop", "10.1.3.10"}}), reason(apart.c_str()),
         kSet},
        // The length decides, not a guessed network size: a /23 holds both.
        {4, "address_pool", edited(kMin4, {{"rangestop", "10.1.3.10"}, {"prefix_len", "23"}}),
         "<no exception>", ""},
        // Without "prefix_len" the subnet mask gives the length.
        {4, "address_pool",
         edited(kMin4, {{"rangestop", "10.1.3.10"}, {"option-subnet-mask", "255.255.254.0"}},
                {"prefix_len"}),
         "<no exception>", ""},
        {4, "address_pool",
         edited(kMin4, {{"rangestop", "10.1.3.10"}, {"option-subnet-mask", "255.255.255.0"}},
                {"prefix_len"}),
         reason(apart.c_str()), kSet},
        {6, "address_pool", edited(kMin6, {{"rangestop", "2001:db8:2::1"}}), reason(apart.c_str()),
         kSet},
        {6, "address_pool", edited(kMin6, {{"rangestop", "2001:db8:2::1"}, {"prefix_len", "46"}}),
         "<no exception>", ""},
        {6, "network_pool", edited(kMinNet, {{"rangestop", "2001:db8:200::"}}),
         reason(apart.c_str()), kSet},
    };
    expect(cases);
}

TEST_F(PoolTest, PrefixLengthSubnetMaskAndPrefixAgree) {
    const std::string address = std::string(kAddressPool) + " | ";
    const std::vector<RuleCase> cases = {
        {4, "address_pool", edited(kMin4, {{"option-subnet-mask", "255.255.0.0"}}),
         address + "Key 'prefix_len' is not consistent with the specified subnet mask.",
         kAddressSet},
        {4, "address_pool", edited(kMin4, {{"option-subnet-mask", "255.255.255.0"}}),
         "<no exception>", ""},
        {4, "address_pool", edited(kMin4, {{"option-subnet-mask", "255.0.255.0"}}),
         address + "Value '255.0.255.0' is not an IPv4 subnet mask.", kAddressSet},
        {4, "address_pool", edited(kMin4, {{"prefix_len", "33"}}),
         address + "Invalid value '33' for key 'prefix_len'.", kAddressSet},
        {6, "address_pool", edited(kMin6, {{"prefix_len", "129"}}),
         address + "Invalid value '129' for key 'prefix_len'.", kAddressSet},
        {4, "address_pool", edited(kMin4, {{"prefix", "10.1.3.0"}}),
         std::string(kPool) +
             " | The 'prefix' network does not appear to encompass the 'rangestart' value.",
         kSet},
        {4, "address_pool", edited(kMin4, {{"prefix", "10.1.2.128"}}), "<no exception>", ""},
        {6, "address_pool", edited(kMin6, {{"prefix", "2001:db8:2::"}}),
         std::string(kPool) +
             " | The 'prefix' network does not appear to encompass the 'rangestart' value.",
         kSet},
        {4, "address_pool", edited(kMin4, {{"prefix", "2001:db8::"}}),
         std::string(kPool) + " | Incorrect ip address type for key 'prefix'.", kSet},
        {4, "address_pool", edited(kMin4, {{"prefix", ""}}), "<no exception>", ""},
        // The subnet-mask option is an IPv4 option: an IPv6 pool needs its length.
        {6, "address_pool",
         edited(kMin6, {{"option-subnet-mask", "255.255.255.0"}}, {"prefix_len"}),
         address + "Missing 'prefix_len' key.", kAddressSet},
    };
    expect(cases);

    // A mask without "prefix_len" gives the pool its length, which is then written.
    CPrstObjectPtr masked = pool(4);
    masked->string(edited(kMin4, {{"option-subnet-mask", "255.255.254.0"}}, {"prefix_len"}));
    EXPECT_EQ(dynamic_cast<CPrstPool&>(*masked).prefixLen(), 23u);
    EXPECT_NE(masked->string().find("\nprefix_len=23\n"), std::string::npos);
}

TEST_F(PoolTest, RelayIsRequiredOfThePoolsFamilyAndMayComeAsGiaddr) {
    const std::string pool4 = edited(kMin4, {{"giaddr", "10.1.2.254"}}, {"relay"});
    CPrstObjectPtr object = pool(4);
    object->string(pool4);
    EXPECT_EQ(dynamic_cast<CPrstPool&>(*object).relay().string(), "10.1.2.254");
    EXPECT_NE(object->string().find("\nrelay=10.1.2.254\n"), std::string::npos);
    EXPECT_EQ(object->string().find("giaddr"), std::string::npos);

    const std::string wrong =
        std::string(kPool) + " | Incorrect ip address type for key 'relay' (giaddr).";
    const std::vector<RuleCase> cases = {
        {6, "address_pool", edited(kMin6, {{"giaddr", "2001:db8:1::2"}}, {"relay"}),
         "<no exception>", ""},
        // "relay" wins over "giaddr".
        {4, "address_pool", edited(kMin4, {{"giaddr", "bogus"}}), "<no exception>", ""},
        {4, "address_pool", edited(kMin4, {{"relay", "2001:db8::1"}}), wrong, kSet},
        {4, "address_pool", edited(kMin4, {{"giaddr", "2001:db8::1"}}, {"relay"}), wrong, kSet},
        {6, "address_pool", edited(kMin6, {{"relay", "10.0.0.1"}}), wrong, kSet},
        {6, "address_pool", edited(kMin6, {{"relay", ""}}), wrong, kSet},
        {6, "network_pool", edited(kMinNet, {{"relay", "10.0.0.1"}}), wrong, kSet},
    };
    expect(cases);
}

TEST_F(PoolTest, ValidLifetimeIsNotLessThanPreferred) {
    const std::string less =
        std::string(kPool) + " | Key 'valid_lt' cannot be less than key 'pref_lt'.";
    const std::string missing = std::string(kPool) + " | Invalid or missing 'valid_lt' key";
    const std::vector<RuleCase> cases = {
        {6, "address_pool", edited(kMin6, {{"valid_lt", "100"}, {"pref_lt", "200"}}), less, kSet},
        {4, "address_pool", edited(kMin4, {{"valid_lt", "100"}, {"pref_lt", "200"}}), less, kSet},
        {6, "address_pool", edited(kMin6, {{"valid_lt", "200"}, {"pref_lt", "200"}}),
         "<no exception>", ""},
        // "-1" is the largest lifetime (infinite), not a negative one.
        {6, "address_pool", edited(kMin6, {{"valid_lt", "-1"}, {"pref_lt", "4000000000"}}),
         "<no exception>", ""},
        {6, "address_pool", edited(kMin6, {{"valid_lt", "4000000000"}, {"pref_lt", "-1"}}), less,
         kSet},
        {6, "address_pool", edited(kMin6, {{"pref_lt", "200"}}), missing, kSet},
        {6, "address_pool", edited(kMin6, {{"valid_lt", "soon"}}), missing, kSet},
        {6, "address_pool", edited(kMin6, {{"valid_lt", "10"}, {"pref_lt", "x"}}),
         std::string(kAddressPool) + " | Invalid value 'x' for key 'pref_lt'.", kAddressSet},
        {6, "network_pool", edited(kMinNet, {{"valid_lt", "1"}, {"pref_lt", "2"}}), less, kSet},
    };
    expect(cases);
}

TEST_F(PoolTest, AddressPoolsHaveAFixedSubPrefixLength) {
    const std::vector<RuleCase> cases = {
        {4, "address_pool", edited(kMin4, {{"sub_prefix_len", "24"}}),
         "Unable to set sub-prefix length. | The sub-prefix length is fixed at 32 for address "
         "bindings.",
         "dhcp_database CPrstAddressPool::setSubPrefixLen"},
        {6, "address_pool", edited(kMin6, {{"sub_prefix_len", "64"}}),
         "Unable to set sub-prefix length. | The sub-prefix length is fixed at 128 for address "
         "bindings.",
         "dhcp_database CPrstAddressPool::setSubPrefixLen"},
        {4, "address_pool", edited(kMin4, {{"sub_prefix_len", "32"}}), "<no exception>", ""},
        {6, "address_pool", edited(kMin6, {{"sub_prefix_len", "128"}}), "<no exception>", ""},
        {4, "address_pool", edited(kMin4, {{"sub_prefix_len", "all"}}),
         std::string(kAddressPool) + " | Invalid value 'all' for key 'sub_prefix_len'.",
         kAddressSet},
    };
    expect(cases);

    CPrstObjectPtr object = pool(6);
    auto& pool6 = dynamic_cast<CPrstPool&>(*object);
    EXPECT_EQ(outcome([&] { pool6.setSubPrefixLen(64); }).text,
              "Unable to set sub-prefix length. | The sub-prefix length is fixed at 128 for "
              "address bindings.");
    EXPECT_EQ(pool6.subPrefixLen(), 128u);
}

TEST_F(PoolTest, NetworkPoolsHandOutPrefixesWithinTheirOwn) {
    const std::string network = std::string(kNetworkPool) + " | ";
    const char* prefixSite = "dhcp_database CPrstNetworkPool::_setPrefixData";
    const char* preSite = "dhcp_database CPrstNetworkPool::_preDeserialize";
    const char* const min4 =
        "rangestart=10.0.0.0\nrangestop=10.0.255.0\nrelay=10.0.0.1\nprefix=10.0.0.0\n"
        "prefix_len=16\nsub_prefix_len=24\n";
    const std::vector<RuleCase> cases = {
        {6, "network_pool", edited(kMinNet, {{"sub_prefix_len", "32"}}),
         network + "Key 'sub_prefix_len' cannot be less than key 'prefix_len'.", prefixSite},
        {6, "network_pool", edited(kMinNet, {{"sub_prefix_len", "40"}}), "<no exception>", ""},
        {6, "network_pool", edited(kMinNet, {{"sub_prefix_len", "129"}}),
         network + "Invalid value '129' for key 'sub_prefix_len'.", preSite},
        // Read before the range: a bad length fails before a bad range.
        {6, "network_pool", edited(kMinNet, {{"sub_prefix_len", "x"}, {"rangestart", "x"}}),
         network + "Invalid value 'x' for key 'sub_prefix_len'.", preSite},
        {6, "network_pool", edited(kMinNet, {{"prefix", ""}}),
         network + "Incorrect ip address type for key 'prefix'.", prefixSite},
        {6, "network_pool", edited(kMinNet, {{"prefix", "2001:db8:200::"}}),
         std::string(kPool) +
             " | The 'prefix' network does not appear to encompass the 'rangestart' value.",
         kSet},
        // One class serves both families: the range decides.
        {4, "network_pool", min4, "<no exception>", ""},
        {4, "network_pool", edited(min4, {{"sub_prefix_len", "33"}}),
         network + "Invalid value '33' for key 'sub_prefix_len'.", preSite},
        {4, "network_pool", edited(min4, {{"prefix", "2001:db8::"}}),
         std::string(kPool) + " | Incorrect ip address type for key 'prefix'.", kSet},
        {4, "network_pool", edited(min4, {{"rangestart", "junk"}}),
         std::string(kPool) + " | Incorrect ip address type for key 'rangestart'.", kPre},
    };
    expect(cases);

    CPrstObjectPtr ipv4 = pool(4, "network_pool");
    ipv4->string(min4);
    EXPECT_EQ(dynamic_cast<CPrstPool&>(*ipv4).family(), 4u);
    EXPECT_NE(ipv4->string().find("\nrangesize=256\n"), std::string::npos);
}

TEST_F(PoolTest, RangeSizeCountsAddressesOrSubPrefixes) {
    struct Case {
        unsigned family;
        const char* kind;
        std::string text;
        const char* size;
    } cases[] = {
        {4, "address_pool", kMin4, "191"},
        {4, "address_pool",
         edited(kMin4,
                {{"rangestart", "1.0.0.0"}, {"rangestop", "254.255.255.255"}, {"prefix_len", "0"}}),
         "4261412864"},
        {6, "address_pool",
         edited(kMin6, {{"rangestart", "2001::"},
                        {"rangestop", "2001:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
                        {"prefix_len", "16"}}),
         "5192296858534827628530496329220096"},  // 2^112
        {6, "network_pool", kMinNet, "256"},
        {6, "network_pool", edited(kMinNet, {{"sub_prefix_len", "40"}}), "1"},
        // A range that is not aligned counts every sub-prefix it touches.
        {6, "network_pool",
         edited(kMinNet, {{"rangestart", "2001:db8:100:1::"}, {"rangestop", "2001:db8:101::1"}}),
         "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstObjectPtr object = pool(c.family, c.kind);
        object->string(c.text);
        EXPECT_EQ(dynamic_cast<CPrstPool&>(*object).rangeSize(), c.size);
        EXPECT_NE(object->string().find(std::string("\nrangesize=") + c.size + "\n"),
                  std::string::npos);
    }
    EXPECT_EQ(dynamic_cast<CPrstPool&>(*pool(4)).rangeSize(), "0");  // no range yet
}

TEST_F(PoolTest, TheProtocolFamilyPicksTheAddressPoolVariant) {
    EXPECT_EQ(pool(4)->className(), "CPrstAddressPool4");
    EXPECT_EQ(pool(6)->className(), "CPrstAddressPool6");
    EXPECT_EQ(pool(4, "network_pool")->className(), "CPrstNetworkPool");
    EXPECT_EQ(outcome([&] { v4.registry.factory("CPrstAddressPool6"); }).text,
              "Unable to find a factory for class 'CPrstAddressPool6'. | No such factory.");
    // An IPv6 text given to an IPv4 server's pool is refused at its range.
    EXPECT_EQ(outcome([&] { pool(4)->string(kPool6Text); }).text,
              std::string(kPool) + " | Incorrect ip address type for key 'rangestart'.");
}

TEST_F(PoolTest, PoolsAreStoredWithTheirOptionsAndReloaded) {
    for (unsigned family : {4u, 6u}) {
        SCOPED_TRACE(family);
        dhcptest::CDHCPRegistry& server = family == 6 ? v6 : v4;
        memdb::CMemoryEngine engine;
        CPrstDBSession session(server.registry, server.context);
        session.open([&](const std::string& name) { return engine.lookup(name); });

        CPrstObjectPtr stored = session["address_pool"].newObject();
        stored->string(edited(family == 6 ? kPool6Text : kPool4Text, {}, {"oid"}));
        dynamic_cast<CPrstPool&>(*stored).commit(0, CFullAccessToken::instance());
        CPrstObjectPtr network = session["network_pool"].newObject();
        network->string(edited(kNetworkText, {}, {"oid"}));
        dynamic_cast<CPrstPool&>(*network).commit(0, CFullAccessToken::instance());

        const CDBRecord& row = engine.memory().rows("address_pool").at(stored->oid());
        EXPECT_EQ(row.values.at("META_CLASS"),
                  family == 6 ? "CPrstAddressPool6[simple]" : "CPrstAddressPool4[simple]");
        EXPECT_EQ(row.values.at("OPTIONS"),
                  family == 6 ? "[[\"option-dns-servers\",\"2001:db8::53\"]]"
                              : "[[\"option-routers\",\"10.1.2.1\"],[\"option-subnet-mask\","
                                "\"255.255.255.0\"]]");
        EXPECT_EQ(
            engine.memory().rows("network_pool").at(network->oid()).values.at("SUB_PREFIX_LEN"),
            "48");

        for (CPrstObjectPtr* object : {&stored, &network}) {
            CPrstObjectPtr found =
                session[(*object)->textClassName()].findByOID(0, (*object)->oid());
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(found->className(), (*object)->className());
            EXPECT_EQ(found->string(), (*object)->string());
        }
    }

    memdb::CMemoryEngine engine;
    CPrstDBSession session(v4.registry, v4.context);
    session.open([&](const std::string& name) { return engine.lookup(name); });
    std::string columns[2];
    for (const CDBTableDef& table : engine.opened) {
        if (table.name == "address_pool") columns[0] = table.columns.string();
        if (table.name == "network_pool") columns[1] = table.columns.string();
    }
    const std::string common =
        "ALLOW=[__DB_TYPE_STRING__]\nDENY=[__DB_TYPE_STRING__]\n"
        "DESCRIPTION=[__DB_TYPE_STRING__]\nDOMAINS=[__DB_TYPE_STRING__]\n"
        "ENABLED=[__DB_TYPE_BOOL__]\nMETA_CLASS=[__DB_TYPE_STRING__]\n"
        "MOD_TIME=[__DB_TYPE_TIME_STAMP__]\nNAME=[__DB_TYPE_STRING__]\n"
        "OPTIONS=[__DB_TYPE_COBJECT__]\nPOLICIES=[__DB_TYPE_STRING__]\n"
        "PREFIX=[__DB_TYPE_IP_ADDRESS__]\nPREFIX_LEN=[__DB_TYPE_USHORT__]\n"
        "PREF_LT=[__DB_TYPE_UINT32__]\nRANGESTART=[__DB_TYPE_IP_ADDRESS__]\n"
        "RANGESTOP=[__DB_TYPE_IP_ADDRESS__]\nRELAY=[__DB_TYPE_IP_ADDRESS__]\n"
        "SESSION_ID=[__DB_TYPE_UINT32__]\n";
    const std::string tail =
        "VALID_LT=[__DB_TYPE_UINT32__]\nWEIGHT=[__DB_TYPE_UINT32__]\n"
        "XRANGE=[__DB_TYPE_TEXT_BLOB__]\n";
    EXPECT_EQ(columns[0], common + tail);
    EXPECT_EQ(columns[1], common + "SUB_PREFIX_LEN=[__DB_TYPE_USHORT__]\n" + tail);
}

TEST_F(PoolTest, AFailedTextLeavesTheKeysAppliedBeforeIt) {
    CPrstObjectPtr object = pool(4);
    EXPECT_EQ(
        outcome([&] {
            object->string(edited(
                kMin4, {{"oid", "31"}, {"name", "kept"}, {"valid_lt", "1"}, {"pref_lt", "2"}}));
        }).text,
        std::string(kPool) + " | Key 'valid_lt' cannot be less than key 'pref_lt'.");
    auto& pool4 = dynamic_cast<CPrstPool&>(*object);
    EXPECT_EQ(object->oid(), 31u);
    EXPECT_EQ(pool4.name(), "kept");
    EXPECT_EQ(pool4.rangeStart().string(), "10.1.2.10");
}
