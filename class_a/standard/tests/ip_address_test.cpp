#include "standard/ip_address.h"

#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "value_test_support.h"

using nbx::CIPAddress;
using valuetest::expectFailure;

namespace {

const char* const kIllegal = "Illegal operation.";
const char* const kMismatch = "Type mismatch between ip addresses.";

std::string rawHex(const CIPAddress& address) {
    std::string out;
    for (std::size_t i = 0; i < address.length(); ++i) {
        out += "0123456789abcdef"[address.raw_addr()[i] >> 4];
        out += "0123456789abcdef"[address.raw_addr()[i] & 15];
    }
    return out;
}

}  // namespace

TEST(IPAddressText, ReadsAndWritesBothFamilies) {
    const struct {
        const char *text, *raw, *written;
    } cases[] = {
        {"192.168.1.10", "c0a8010a", "192.168.1.10"},
        {"010.001.000.009", "0a010009", "10.1.0.9"},  // parts are decimal despite leading zeros
        {"2001:DB8:0:0:0:0:0:1", "20010db8000000000000000000000001", "2001:db8::1"},
        {"::ffff:192.0.2.1", "00000000000000000000ffffc0000201", "::ffff:192.0.2.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CIPAddress address(c.text);
        EXPECT_EQ(address.type(), std::strlen(c.raw) == 8 ? CIPAddress::kIPv4 : CIPAddress::kIPv6);
        EXPECT_EQ(address.addr_family(), std::strlen(c.raw) == 8 ? AF_INET : AF_INET6);
        EXPECT_EQ(rawHex(address), c.raw);
        EXPECT_EQ(address.string(), c.written);
    }
}

TEST(IPAddressText, RefusesWhatIsNotAnAddressAndForgetsTheOldValue) {
    // Short forms such as "1.2" are refused rather than guessed; an embedded NUL does not cut the
    // text short (the reason shows it as "\0").
    const std::pair<std::string, std::string> texts[] = {{"", ""},
                                                         {"1.2", "1.2"},
                                                         {"1.2.3.4.5", "1.2.3.4.5"},
                                                         {"256.1.1.1", "256.1.1.1"},
                                                         {"1..2.3", "1..2.3"},
                                                         {" 1.2.3.4", " 1.2.3.4"},
                                                         {":::", ":::"},
                                                         {"[::1]", "[::1]"},
                                                         {std::string("::1\0::2", 7), "::1\\0::2"}};
    for (const auto& [text, shown] : texts) {
        SCOPED_TRACE(shown);
        CIPAddress address("10.0.0.1");
        expectFailure([&] { address.string(text); },
                      {"Cannot create an ip address.",
                       "Text '" + shown + "' is not a valid IP address.", "CIPAddress::_set"});
        EXPECT_TRUE(address.isUnknown());
    }
}

TEST(IPAddressUnknown, EveryValueQueryIsIllegal) {
    const struct {
        const char *function, *reason;
        std::function<void(CIPAddress&)> action;
    } cases[] = {
        {"CIPAddress::set_inaddr_any", "Unknown address types do not have an 'any' value.",
         [](CIPAddress& a) { a.set_inaddr_any(); }},
        {"CIPAddress::setLoopback", "Unknown address types do not have a loopback value.",
         [](CIPAddress& a) { a.setLoopback(); }},
        {"CIPAddress::addr_family", "Unknown address types do not have an address family.",
         [](CIPAddress& a) { (void)a.addr_family(); }},
        {"CIPAddress::raw_addr", "Unknown address types cannot provide raw address values.",
         [](CIPAddress& a) { (void)a.raw_addr(); }},
        {"CIPAddress::string", "Unknown address types cannot be serialized.",
         [](CIPAddress& a) { (void)a.string(); }},
    };
    for (const auto& c : cases) {
        CIPAddress unknown;
        expectFailure([&] { c.action(unknown); }, {kIllegal, c.reason, c.function});
        EXPECT_TRUE(unknown.isUnknown());
    }
}

TEST(IPAddressValues, AnyLoopbackAndRawBytes) {
    EXPECT_TRUE(CIPAddress("0.0.0.0").isAny() && CIPAddress("::").isAny());
    EXPECT_TRUE(CIPAddress("127.1.2.3").isLoopback() && CIPAddress("::1").isLoopback());
    EXPECT_FALSE(CIPAddress("126.0.0.1").isLoopback() || CIPAddress("100::1").isLoopback());
    EXPECT_FALSE(CIPAddress("10.0.0.0").isAny() || CIPAddress("100::").isAny());  // first byte
    const unsigned char bytes[17] = {192, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 9};
    EXPECT_EQ(CIPAddress(bytes, 4).string(), "192.0.2.1");
    EXPECT_EQ(CIPAddress(bytes, 16).string(), "c000:201::1");
    CIPAddress address("10.0.0.1");
    for (std::size_t length : {0, 5, 17}) {
        expectFailure(
            [&] { address.set(bytes, length); },
            {kIllegal, "Address length does not match any known address type.", "CIPAddress::set"});
    }
    expectFailure([&] { address.set(nullptr, 4); },
                  {kIllegal, "Invalid pointer.", "CIPAddress::set"});
    EXPECT_EQ(address.string(), "10.0.0.1");  // unchanged
}

TEST(IPAddressArithmetic, OffsetsAndAddressesAreBigEndianNumbersThatWrap) {
    const std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    const struct {
        const char* start;
        char op;
        std::int64_t offset;
        const char *other, *result;  // an address operand instead of the offset
    } cases[] = {
        {"10.0.0.255", '+', 1, nullptr, "10.0.1.0"},
        {"10.0.1.0", '+', -1, nullptr, "10.0.0.255"},
        {"10.0.0.255", '-', -1, nullptr, "10.0.1.0"},
        {"0.0.0.0", '-', 1, nullptr, "255.255.255.255"},
        {"1.2.3.4", '+', 4294967296LL, nullptr, "1.2.3.4"},  // modulo 2^32
        {"::ffff:ffff", '+', 1, nullptr, "::1:0:0"},
        {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", '+', 1, nullptr, "::"},
        {"::", '-', kMin, nullptr, "::8000:0:0:0"},  // 2^63, no overflow in negating the offset
        {"::", '+', kMin, nullptr, "ffff:ffff:ffff:ffff:8000::"},
        {"::", '+', std::numeric_limits<std::int64_t>::max(), nullptr, "::7fff:ffff:ffff:ffff"},
        {"255.255.255.255", '+', 0, "0.0.0.2", "0.0.0.1"},
        {"2001:db8::ffff", '+', 0, "::1", "2001:db8::1:0"},
        {"::", '-', 0, "::1", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start) + c.op + (c.other ? c.other : std::to_string(c.offset)));
        CIPAddress address(c.start);
        if (c.other) {
            c.op == '+' ? address += CIPAddress(c.other) : address -= CIPAddress(c.other);
        } else {
            c.op == '+' ? address += c.offset : address -= c.offset;
        }
        EXPECT_EQ(address.string(), c.result);
    }
    EXPECT_EQ((CIPAddress("10.0.0.9") - 10).string(), "9.255.255.255");

    const char* const kUnknown = "Unknown address types do not support arithmetic.";
    CIPAddress v4("10.0.0.1"), none;
    expectFailure([&] { v4 += CIPAddress("::1"); },
                  {kIllegal, kMismatch, "CIPAddress::operator+="});
    expectFailure([&] { v4 -= none; }, {kIllegal, kMismatch, "CIPAddress::operator-="});
    EXPECT_EQ(v4.string(), "10.0.0.1");
    expectFailure([&] { none += 1; }, {kIllegal, kUnknown, "CIPAddress::operator+="});
    expectFailure([&] { none -= none; }, {kIllegal, kUnknown, "CIPAddress::operator-="});
}

TEST(IPAddressCompare, OrdersByNumericValueOfKnownMatchingTypes) {
    const struct {
        const char *left, *right;
        int order;
    } cases[] = {
        {"9.255.255.255", "10.0.0.0", -1},  // not text order
        {"2001:db8::", "2001:db7:ffff::", 1},
        {"::ffff:1.2.3.4", "::ffff:102:304", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " vs " + c.right);
        const CIPAddress left(c.left), right(c.right);
        EXPECT_EQ(left.compare(right), c.order);
        EXPECT_EQ(left < right, c.order < 0);
        EXPECT_EQ(left >= right, c.order >= 0);
        EXPECT_EQ(left == right, c.order == 0);
    }
    const CIPAddress v4("0.0.0.0"), v6("::"), unknown;
    expectFailure([&] { (void)(v4 < v6); }, {kIllegal, kMismatch, "CIPAddress::compare"});
    expectFailure([&] { (void)unknown.compare(v4); },
                  {"Cannot compare ip addresses of unknown type.", "", "CIPAddress::compare"});
    // Equality is total: it never throws.
    EXPECT_FALSE(v4 == v6);
    EXPECT_FALSE(v4 == unknown);
    EXPECT_TRUE(unknown == CIPAddress());
}
