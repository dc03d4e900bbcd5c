#include "standard/ip_address.h"

#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "value_test_support.h"

using nbx::CIPAddress;
using valuetest::expectFailure;

namespace {

const char* const kIllegal = "Illegal operation.";
const char* const kMismatch = "Type mismatch between ip addresses.";

std::string rawHex(const CIPAddress& address) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < address.length(); ++i) {
        out += kDigits[address.raw_addr()[i] >> 4];
        out += kDigits[address.raw_addr()[i] & 15];
    }
    return out;
}

}  // namespace

TEST(IPAddressText, ReadsAndWritesBothFamilies) {
    struct Case {
        const char* text;
        CIPAddress::Type type;
        const char* raw;
        const char* written;
    };
    const Case cases[] = {
        {"192.168.1.10", CIPAddress::kIPv4, "c0a8010a", "192.168.1.10"},
        // parts are decimal even with leading zeros
        {"010.001.000.009", CIPAddress::kIPv4, "0a010009", "10.1.0.9"},
        {"2001:DB8:0:0:0:0:0:1", CIPAddress::kIPv6, "20010db8000000000000000000000001",
         "2001:db8::1"},
        {"::ffff:192.0.2.1", CIPAddress::kIPv6, "00000000000000000000ffffc0000201",
         "::ffff:192.0.2.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CIPAddress address(c.text);
        EXPECT_EQ(address.type(), c.type);
        EXPECT_EQ(rawHex(address), c.raw);
        EXPECT_EQ(address.string(), c.written);
        CIPAddress again;
        EXPECT_TRUE(again.string(address.string()));
        EXPECT_EQ(again, address);
    }
}

TEST(IPAddressText, RefusesWhatIsNotAnAddressAndForgetsTheOldValue) {
    // Short forms such as "1.2" are refused rather than guessed; an embedded NUL does not cut the
    // text short (the reason shows it as "\0").
    auto expectRefused = [](const std::string& text) {
        std::string shown;
        for (char c : text) shown += c ? std::string(1, c) : "\\0";
        SCOPED_TRACE("text '" + shown + "'");
        CIPAddress address("10.0.0.1");
        expectFailure([&] { address.string(text); },
                      {"Cannot create an ip address.",
                       "Text '" + shown + "' is not a valid IP address.", "CIPAddress::_set"});
        EXPECT_TRUE(address.isUnknown());
    };
    for (const char* text : {"", "1.2", "1.2.3.4.5", "256.1.1.1", " 1.2.3.4", "localhost",
                             ":::", "::1%lo", "[::1]", "1.2.3.4:80"})
        expectRefused(text);
    expectRefused(std::string("::1\0::2", 7));
}

TEST(IPAddressUnknown, EveryValueQueryIsIllegal) {
    struct Case {
        const char* function;
        const char* reason;
        std::function<void(CIPAddress&)> action;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        CIPAddress unknown;
        expectFailure([&] { c.action(unknown); }, {kIllegal, c.reason, c.function});
        EXPECT_TRUE(unknown.isUnknown());
    }
}

TEST(IPAddressValues, AnyAndLoopbackFollowTheType) {
    for (const char* start : {"192.0.2.7", "2001:db8::7"}) {
        SCOPED_TRACE(start);
        CIPAddress address(start);
        const bool v4 = address.type() == CIPAddress::kIPv4;
        EXPECT_EQ(address.addr_family(), v4 ? AF_INET : AF_INET6);
        EXPECT_FALSE(address.isAny() || address.isLoopback());
        address.set_inaddr_any();
        EXPECT_TRUE(address.isAny());
        EXPECT_EQ(address.string(), v4 ? "0.0.0.0" : "::");
        address.setLoopback();
        EXPECT_TRUE(address.isLoopback());
        EXPECT_EQ(address.string(), v4 ? "127.0.0.1" : "::1");
    }
}

TEST(IPAddressValues, RawBytesChooseTheType) {
    const unsigned char bytes[17] = {192, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 9};
    EXPECT_EQ(CIPAddress(bytes, 4).string(), "192.0.2.1");
    EXPECT_EQ(CIPAddress(bytes, 16).string(), "c000:201::1");
    for (std::size_t length : {0, 5, 17}) {
        SCOPED_TRACE(length);
        CIPAddress address("10.0.0.1");
        expectFailure(
            [&] { address.set(bytes, length); },
            {kIllegal, "Address length does not match any known address type.", "CIPAddress::set"});
        EXPECT_EQ(address.string(), "10.0.0.1");  // unchanged
    }
    CIPAddress address;
    expectFailure([&] { address.set(nullptr, 4); },
                  {kIllegal, "Invalid pointer.", "CIPAddress::set"});
}

TEST(IPAddressArithmetic, OffsetsAndAddressesAreBigEndianNumbersThatWrap) {
    const std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    const std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    struct Case {
        const char* start;
        char op;
        std::int64_t offset;
        const char* other;  // an address operand instead of the offset
        const char* result;
    };
    const Case cases[] = {
        {"10.0.0.255", '+', 1, nullptr, "10.0.1.0"},
        {"10.0.1.0", '+', -1, nullptr, "10.0.0.255"},
        {"10.0.0.255", '-', -1, nullptr, "10.0.1.0"},
        {"0.0.0.0", '-', 1, nullptr, "255.255.255.255"},
        {"1.2.3.4", '+', 4294967296LL, nullptr, "1.2.3.4"},  // modulo 2^32
        {"1.2.3.4", '+', kMin, nullptr, "1.2.3.4"},          // -2^63 is 0 modulo 2^32
        {"::ffff:ffff", '+', 1, nullptr, "::1:0:0"},
        {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", '+', 1, nullptr, "::"},
        {"::", '-', kMin, nullptr, "::8000:0:0:0"},  // 2^63, no overflow in negating the offset
        {"::", '+', kMin, nullptr, "ffff:ffff:ffff:ffff:8000::"},
        {"::", '+', kMax, nullptr, "::7fff:ffff:ffff:ffff"},
        {"255.255.255.255", '+', 0, "0.0.0.2", "0.0.0.1"},
        {"0.0.0.0", '-', 0, "0.0.0.1", "255.255.255.255"},
        {"2001:db8::ffff", '+', 0, "::1", "2001:db8::1:0"},
        {"::", '-', 0, "::1", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
    };
    for (const Case& c : cases) {
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
}

TEST(IPAddressArithmetic, NeedsKnownMatchingTypes) {
    const char* const kUnknown = "Unknown address types do not support arithmetic.";
    CIPAddress v4("10.0.0.1");
    const CIPAddress v6("::1");
    const CIPAddress unknown;
    expectFailure([&] { v4 += v6; }, {kIllegal, kMismatch, "CIPAddress::operator+="});
    expectFailure([&] { v4 -= unknown; }, {kIllegal, kMismatch, "CIPAddress::operator-="});
    EXPECT_EQ(v4.string(), "10.0.0.1");

    CIPAddress none;
    expectFailure([&] { none += 1; }, {kIllegal, kUnknown, "CIPAddress::operator+="});
    expectFailure([&] { none -= unknown; }, {kIllegal, kUnknown, "CIPAddress::operator-="});
}

TEST(IPAddressCompare, OrdersByNumericValueOfKnownMatchingTypes) {
    struct Case {
        const char* left;
        const char* right;
        int order;
    };
    const Case cases[] = {
        {"9.255.255.255", "10.0.0.0", -1},  // not text order
        {"2001:db8::", "2001:db7:ffff::", 1},
        {"::ffff:1.2.3.4", "::ffff:102:304", 0},
    };
    for (const Case& c : cases) {
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

TEST(IPAddressRobustness, BadInputNeverCrashes) {
    valuetest::readHostileTexts(
        valuetest::hostileTexts({"192.168.1.10", "255.255.255.255", "2001:db8::1", "fe80::1:2:3:4",
                                 "::ffff:192.0.2.1", "1:2:3:4:5:6:7:8"},
                                "0123456789abcdefABCDEF.:x"),
        CIPAddress(), [](const CIPAddress& address, const std::string&, bool refused) {
            EXPECT_EQ(address.isUnknown(), refused);
        });
}
