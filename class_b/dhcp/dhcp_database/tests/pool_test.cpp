#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dhcp_database/address_pool.h"
#include "dhcp_database/network_pool.h"
#include "record_test_support.h"

using dhcptest::edited;
using dhcptest::thrown;

namespace {

constexpr const char* kA = "address_pool";
constexpr const char* kN = "network_pool";
constexpr const char* kPre = "CPrstPool::_preDeserialize";
constexpr const char* kSet = "CPrstPool::_set";
constexpr const char* kAddressSet = "CPrstAddressPool::_set";
constexpr const char* kNetworkPre = "CPrstNetworkPool::_preDeserialize";
constexpr const char* kNetworkPrefix = "CPrstNetworkPool::_setPrefixData";
constexpr const char* kSubPrefix = "CPrstAddressPool::setSubPrefixLen";

// Full pools, every key given, as they are written in line mode.
const char* const kPool4Text =
    "allow=known-clients\ndeny=unknown-clients\ndescription=Office floor 2\ndomains=root:1\n"
    "enabled=false\nmod_time=Thu Jan  1 00:00:00 1970\nname=office-2\noid=12\n"
    "policies=default,voip\npref_lt=3600\nprefix=10.1.2.0\nprefix_len=24\nrangesize=191\n"
    "rangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\nsession_id=7\nvalid_lt=-1\n"
    "weight=3\nxrange=10.1.2.50-10.1.2.60\noption-routers=10.1.2.1\n"
    "option-subnet-mask=255.255.255.0\n";
const char* const kPool6Text =
    "allow=\ndeny=\ndescription=\ndomains=\nenabled=true\nmod_time=Thu Jan  1 00:00:00 1970\n"
    "name=lab-v6\noid=4\npolicies=\npref_lt=1800\nprefix=2001:db8:1::\nprefix_len=64\n"
    "rangesize=65536\nrangestart=2001:db8:1::1:0\nrangestop=2001:db8:1::1:ffff\n"
    "relay=2001:db8:1::1\nsession_id=0\nvalid_lt=3600\nweight=0\nxrange=\n"
    "option-dns-servers=2001:db8::53\n";
const char* const kNetworkText =
    "allow=\ndeny=\ndescription=delegations\ndomains=\nenabled=true\n"
    "mod_time=Thu Jan  1 00:00:00 1970\nname=pd\noid=9\npolicies=\npref_lt=0\n"
    "prefix=2001:db8:100::\nprefix_len=40\nrangesize=256\nrangestart=2001:db8:100::\n"
    "rangestop=2001:db8:1ff::\nrelay=2001:db8::1\nsession_id=0\nsub_prefix_len=48\nvalid_lt=0\n"
    "weight=1\nxrange=\noption-sip-servers=2001:db8::5060\n";

// The least valid texts, the bases of the rule cases.
const char* const kMin4 =
    "rangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\nprefix_len=24\n";
const char* const kMin6 =
    "rangestart=2001:db8:1::100\nrangestop=2001:db8:1::1ff\nrelay=2001:db8:1::1\nprefix_len=64\n";
const char* const kMinNet =
    "rangestart=2001:db8:100::\nrangestop=2001:db8:1ff::\nrelay=2001:db8::1\n"
    "prefix=2001:db8:100::\nprefix_len=40\nsub_prefix_len=48\n";
const char* const kMinNet4 =
    "rangestart=10.0.0.0\nrangestop=10.0.255.0\nrelay=10.0.0.1\nprefix=10.0.0.0\n"
    "prefix_len=16\nsub_prefix_len=24\n";

// A rule case: the text of the least pool of `kind` with `changes` (see edited()) fails at
// `site` for `reason`, or is accepted.
struct RuleCase {
    const char* kind;  // "4a", "6a": address pool of IPv4, IPv6; "4n", "6n": network pool
    const char* changes;
    const char* reason;  // null: accepted
    const char* site;    // "class::function"; the class decides the message
};

// The message of a failure at `site`.
std::string messageAt(const std::string& site) {
    if (site == kSubPrefix) return "Unable to set sub-prefix length.";
    if (site.rfind("CPrstAddressPool::", 0) == 0)
        return "Cannot set address pool record from text.";
    if (site.rfind("CPrstNetworkPool::", 0) == 0)
        return "Cannot set network pool record from text.";
    return "Cannot set pool record from text.";
}

class PoolTest : public ::testing::Test {
protected:
    dhcptest::CDHCPRegistry v4{4};
    dhcptest::CDHCPRegistry v6{6};

    dhcptest::CDHCPRegistry& server(unsigned family) { return family == 6 ? v6 : v4; }
    // A pool of the text class name from the registry of `family`.
    CPrstObjectPtr pool(unsigned family, const char* textClassName = kA) {
        return server(family).create(textClassName);
    }

    // Each text read into a new pool fails as expected (or not at all).
    void expect(const std::vector<RuleCase>& cases) {
        for (const RuleCase& c : cases) {
            const std::string kind = c.kind;
            const char* base = kind == "4a"   ? kMin4
                               : kind == "6a" ? kMin6
                               : kind == "6n" ? kMinNet
                                              : kMinNet4;
            const std::string text = edited(base, c.changes);
            SCOPED_TRACE(kind + "\n" + text);
            CPrstObjectPtr object = pool(kind[0] == '6' ? 6 : 4, kind[1] == 'n' ? kN : kA);
            EXPECT_EQ(thrown([&] { object->string(text); }),
                      c.reason ? messageAt(c.site) + " | " + c.reason + " @ dhcp_database " + c.site
                               : "<no exception>");
        }
    }
};

}  // namespace

TEST_F(PoolTest, FullRecordsAreWrittenExactlyRoundTripAndAreStoredWithTheirOptions) {
    struct Case {
        unsigned family;
        const char* className;
        const char* text;
        const char* column;  // a column of the stored row, and its value
        const char* value;
    } cases[] = {
        {4, "CPrstAddressPool4", kPool4Text, "OPTIONS",
         "[[\"option-routers\",\"10.1.2.1\"],[\"option-subnet-mask\",\"255.255.255.0\"]]"},
        {6, "CPrstAddressPool6", kPool6Text, "OPTIONS",
         "[[\"option-dns-servers\",\"2001:db8::53\"]]"},
        {6, "CPrstNetworkPool", kNetworkText, "SUB_PREFIX_LEN", "48"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        dhcptest::CDHCPRegistry& s = server(c.family);
        EXPECT_EQ(dhcptest::roundTrip(s.registry, s.context, c.className, c.text), c.text);
        CPrstObjectPtr object = s.createClass(c.className);
        object->string(c.text);
        EXPECT_EQ(dhcptest::stored(s.engine, s.session, *object).values.at(c.column), c.value);
    }
    EXPECT_EQ(pool(4, kN)->className(), "CPrstNetworkPool");

    // The network pool's columns are the address pool's and its sub-prefix length.
    std::string columns[2];
    for (const CDBTableDef& table : v4.engine.opened) {
        if (table.name == kA) columns[0] = table.columns.string();
        if (table.name == kN) columns[1] = table.columns.string();
    }
    const std::string sub = "SUB_PREFIX_LEN=[__DB_TYPE_USHORT__]\n";
    ASSERT_NE(columns[1].find(sub), std::string::npos);
    EXPECT_EQ(columns[1].erase(columns[1].find(sub), sub.size()), columns[0]);
}

TEST_F(PoolTest, MissingKeysAndTheRangesFamilyOrderAndScope) {
    expect({
        {"4a", "-rangestart", "Missing 'rangestart' key.", kPre},
        {"4a", "-relay", "Missing 'relay' key.", kSet},
        {"4a", "-prefix_len", "Missing 'prefix_len' key or subnet mask option.", kAddressSet},
        {"6a", "-prefix_len", "Missing 'prefix_len' key.", kAddressSet},
        {"6n", "-sub_prefix_len", "Missing 'sub_prefix_len' key.", kNetworkPre},
        {"6n", "-prefix", "Missing 'prefix' key.", kNetworkPrefix},
        // In order, of the family and not local.
        {"4a", "rangestart=10.1.2.200;rangestop=10.1.2.10",
         "Values for keys 'rangestart' and 'rangestop' are reversed.", kPre},
        {"4a", "rangestart=2001:db8::1", "Incorrect ip address type for key 'rangestart'.", kPre},
        {"4a", "rangestart=169.254.0.10;rangestop=169.254.0.20",
         "Key 'rangestart' specifies a link-local address.", kPre},
        {"6a", "rangestop=fe80::1", "Key 'rangestop' specifies a link-local address.", kPre},
        // Link-local is fe80::/10: neither byte of it alone.
        {"6a", "rangestart=fc80::100;rangestop=fc80::1ff;relay=fc80::1", nullptr, nullptr},
        {"4a", "rangestart=127.0.0.1;rangestop=127.0.0.9",
         "Key 'rangestart' specifies a node-local address.", kPre},
        {"6a", "rangestop=ff01::1", "Key 'rangestop' specifies a node-local address.", kPre},
    });
}

TEST_F(PoolTest, TheRangeLiesInOneNetworkOfThePoolsPrefixLengthMaskAndPrefix) {
    const char* apart = "Values for keys 'rangestart' and 'rangestop' are not on the same network.";
    const char* outside =
        "The 'prefix' network does not appear to encompass the 'rangestart' value.";
    expect({
        {"4a", "rangestop=10.1.3.10", apart, kSet},
        // The length decides, not a guessed network size: a /23 holds both.
        {"4a", "rangestop=10.1.3.10;prefix_len=23", nullptr, nullptr},
        // Without "prefix_len" the subnet mask gives the length.
        {"4a", "rangestop=10.1.3.10;option-subnet-mask=255.255.254.0;-prefix_len", nullptr,
         nullptr},
        {"4a", "rangestop=10.1.3.10;option-subnet-mask=255.255.255.0;-prefix_len", apart, kSet},
        {"4a", "option-subnet-mask=255.255.0.0",
         "Key 'prefix_len' is not consistent with the specified subnet mask.", kAddressSet},
        {"4a", "option-subnet-mask=255.0.255.0", "Value '255.0.255.0' is not an IPv4 subnet mask.",
         kAddressSet},
        {"4a", "prefix_len=33", "Invalid value '33' for key 'prefix_len'.", kAddressSet},
        {"4a", "prefix=10.1.3.0", outside, kSet},
        {"4a", "prefix=10.1.2.128", nullptr, nullptr},
        {"4a", "prefix=2001:db8::", "Incorrect ip address type for key 'prefix'.", kSet},
        {"4a", "prefix=", nullptr, nullptr},
        // The subnet-mask option is an IPv4 option: an IPv6 pool needs its length.
        {"6a", "option-subnet-mask=255.255.255.0;-prefix_len", "Missing 'prefix_len' key.",
         kAddressSet},
    });

    // A mask without "prefix_len" gives the pool its length, which is then written.
    CPrstObjectPtr masked = pool(4);
    masked->string(edited(kMin4, "option-subnet-mask=255.255.254.0;-prefix_len"));
    EXPECT_EQ(dynamic_cast<CPrstPool&>(*masked).prefixLen(), 23u);
    EXPECT_NE(masked->string().find("\nprefix_len=23\n"), std::string::npos);
}

TEST_F(PoolTest, RelayLifetimesAndSubPrefixLengths) {
    const char* wrongRelay = "Incorrect ip address type for key 'relay' (giaddr).";
    const char* less = "Key 'valid_lt' cannot be less than key 'pref_lt'.";
    const char* missing = "Invalid or missing 'valid_lt' key";
    const char* fixed4 = "The sub-prefix length is fixed at 32 for address bindings.";
    const char* fixed6 = "The sub-prefix length is fixed at 128 for address bindings.";
    expect({
        // The relay may come as "giaddr" (below); "relay" wins over it.
        {"4a", "giaddr=bogus", nullptr, nullptr},
        {"6n", "relay=10.0.0.1", wrongRelay, kSet},
        // The valid lifetime is not less than the preferred one; "-1" is the largest.
        {"4a", "valid_lt=100;pref_lt=200", less, kSet},
        {"6a", "valid_lt=-1;pref_lt=4000000000", nullptr, nullptr},
        {"6a", "valid_lt=4000000000;pref_lt=-1", less, kSet},
        {"6a", "pref_lt=200", missing, kSet},
        {"6a", "valid_lt=10;pref_lt=x", "Invalid value 'x' for key 'pref_lt'.", kAddressSet},
        // Address pools hand out single addresses.
        {"4a", "sub_prefix_len=24", fixed4, kSubPrefix},
        {"6a", "sub_prefix_len=64", fixed6, kSubPrefix},
        {"6a", "sub_prefix_len=128", nullptr, nullptr},
        {"4a", "sub_prefix_len=all", "Invalid value 'all' for key 'sub_prefix_len'.", kAddressSet},
    });

    CPrstObjectPtr object = pool(4);
    object->string(edited(kMin4, "giaddr=10.1.2.254;-relay"));
    EXPECT_EQ(dynamic_cast<CPrstPool&>(*object).relay().string(), "10.1.2.254");
    EXPECT_NE(object->string().find("\nrelay=10.1.2.254\n"), std::string::npos);
    EXPECT_EQ(object->string().find("giaddr"), std::string::npos);
}

TEST_F(PoolTest, NetworkPoolsHandOutPrefixesWithinTheirOwn) {
    expect({
        {"6n", "sub_prefix_len=32", "Key 'sub_prefix_len' cannot be less than key 'prefix_len'.",
         kNetworkPrefix},
        // Read before the range: a bad length fails before a bad range.
        {"6n", "sub_prefix_len=x;rangestart=x", "Invalid value 'x' for key 'sub_prefix_len'.",
         kNetworkPre},
        {"6n", "prefix=", "Incorrect ip address type for key 'prefix'.", kNetworkPrefix},
        {"6n", "prefix=2001:db8:200::",
         "The 'prefix' network does not appear to encompass the 'rangestart' value.", kSet},
        // One class serves both families: the range decides.
        {"4n", "", nullptr, nullptr},
        {"4n", "sub_prefix_len=33", "Invalid value '33' for key 'sub_prefix_len'.", kNetworkPre},
        {"6n", "sub_prefix_len=129", "Invalid value '129' for key 'sub_prefix_len'.", kNetworkPre},
    });
    CPrstObjectPtr ipv4 = pool(4, kN);
    ipv4->string(kMinNet4);
    EXPECT_EQ(dynamic_cast<CPrstPool&>(*ipv4).family(), 4u);
}

TEST_F(PoolTest, RangeSizeCountsAddressesOrSubPrefixes) {
    struct Case {
        unsigned family;
        const char* kind;
        std::string text;
        const char* size;
    } cases[] = {
        {4, kA, edited(kMin4, "rangestart=1.0.0.0;rangestop=254.255.255.255;prefix_len=0"),
         "4261412864"},
        {6, kA,
         edited(
             kMin6,
             "rangestart=2001::;rangestop=2001:ffff:ffff:ffff:ffff:ffff:ffff:ffff;prefix_len=16"),
         "5192296858534827628530496329220096"},  // 2^112
        {6, kN, edited(kMinNet, "sub_prefix_len=40"), "1"},
        {4, kN, kMinNet4, "256"},
        // A range that is not aligned counts every sub-prefix it touches.
        {6, kN, edited(kMinNet, "rangestart=2001:db8:100:1::;rangestop=2001:db8:101::1"), "2"},
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

TEST_F(PoolTest, AnIPv4ServerHasNoIPv6AddressPool) {
    EXPECT_EQ(thrown([&] { v4.registry.factory("CPrstAddressPool6"); }, false),
              "Unable to find a factory for class 'CPrstAddressPool6'. | No such factory.");
}

TEST_F(PoolTest, AFailedTextLeavesTheKeysAppliedBeforeIt) {
    CPrstObjectPtr object = pool(4);
    EXPECT_EQ(
        thrown([&] { object->string(edited(kMin4, "oid=31;name=kept;valid_lt=1;pref_lt=2")); },
               false),
        "Cannot set pool record from text. | Key 'valid_lt' cannot be less than key 'pref_lt'.");
    auto& pool4 = dynamic_cast<CPrstPool&>(*object);
    EXPECT_EQ(object->oid(), 31u);
    EXPECT_EQ(pool4.name(), "kept");
    EXPECT_EQ(pool4.rangeStart().string(), "10.1.2.10");
}
