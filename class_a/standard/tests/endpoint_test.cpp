#include "standard/endpoint.h"

#include <ace/SOCK_Dgram.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "value_test_support.h"

using nbx::CEndpoint;
using nbx::CIPAddress;
using valuetest::expectFailure;

namespace {

void expectMalformed(const std::string& text) {
    SCOPED_TRACE("text '" + text + "'");
    CEndpoint endpoint("192.0.2.9:99");
    expectFailure([&] { endpoint.string(text); },
                  {"Cannot set endpoint from text.", "Text '" + text + "' is not a valid endpoint.",
                   "CEndpoint::_set"});
    EXPECT_EQ(endpoint.string(), "192.0.2.9:99");  // unchanged
}

void expectBadAddress(const std::string& text, const std::string& addressPart) {
    SCOPED_TRACE("text '" + text + "'");
    CEndpoint endpoint("192.0.2.9:99");
    expectFailure([&] { endpoint.string(text); },
                  {"Cannot create an ip address.",
                   "Text '" + addressPart + "' is not a valid IP address.", "CIPAddress::_set"});
    EXPECT_EQ(endpoint.string(), "192.0.2.9:99");
}

// An endpoint whose family ACE knows but this system does not.
CEndpoint foreignEndpoint() {
    CEndpoint endpoint("127.0.0.1:5");
    endpoint.set_type(AF_UNIX);
    return endpoint;
}

}  // namespace

TEST(EndpointText, WritesBracketsOnlyForIPv6) {
    EXPECT_EQ(CEndpoint(CIPAddress("2001:db8::1"), 547).string(), "[2001:db8::1]:547");
    EXPECT_EQ(CEndpoint(CIPAddress("192.0.2.1"), 67).string(), "192.0.2.1:67");
    EXPECT_EQ(CEndpoint().string(), "0.0.0.0:0");
    EXPECT_EQ(CEndpoint(CIPAddress("::"), 65535).string(), "[::]:65535");
}

TEST(EndpointText, ReadsAddressAndPort) {
    struct Case {
        const char* text;
        const char* address;
        unsigned short port;
        int family;
        const char* written;
    };
    const Case cases[] = {
        {"192.0.2.1:67", "192.0.2.1", 67, 4, "192.0.2.1:67"},
        {"[2001:db8::1]:547", "2001:db8::1", 547, 6, "[2001:db8::1]:547"},
        {"[::1]", "::1", 0, 6, "[::1]:0"},
        {"10.0.0.1", "10.0.0.1", 0, 4, "10.0.0.1:0"},
        {"fe80::1", "fe80::1", 0, 6, "[fe80::1]:0"},  // several colons, no brackets: all address
        {"1.2.3.4:65535", "1.2.3.4", 65535, 4, "1.2.3.4:65535"},
        {"1.2.3.4:00080", "1.2.3.4", 80, 4, "1.2.3.4:80"},
        {"[::ffff:1.2.3.4]:0", "::ffff:1.2.3.4", 0, 6, "[::ffff:1.2.3.4]:0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CEndpoint endpoint;
        EXPECT_TRUE(endpoint.string(c.text));
        EXPECT_EQ(endpoint.ip_address(), CIPAddress(c.address));
        EXPECT_EQ(endpoint.port(), c.port);
        EXPECT_EQ(endpoint.get_port_number(), c.port);
        EXPECT_EQ(endpoint.family().number(), c.family);
        EXPECT_EQ(endpoint.string(), c.written);
        EXPECT_EQ(CEndpoint(endpoint.string()), endpoint);
    }
}

TEST(EndpointText, RefusesMalformedTexts) {
    for (const char* text :
         {"1.2.3.4:", "1.2.3.4:65536", "1.2.3.4:-1", "1.2.3.4:8a", "1.2.3.4: 80", "1.2.3.4:123456",
          "[::1", "[::1]x", "[::1]:", "[::1]:x", "[::1]]:1", "[1.2.3.4]:80", "[::1]:99999"}) {
        expectMalformed(text);
    }
    expectBadAddress("", "");
    expectBadAddress("1.2.3:80", "1.2.3");
    expectBadAddress(":80", "");
    expectBadAddress("[zz::1]:80", "zz::1");
    expectBadAddress("[]:80", "");
    expectBadAddress("localhost:80", "localhost");
    expectBadAddress("1:2:3", "1:2:3");
}

TEST(EndpointFamily, UnknownFamilyIsRefusedEverywhere) {
    ACE_INET_Addr foreign(static_cast<u_short>(5), "127.0.0.1");
    foreign.set_type(AF_UNIX);
    expectFailure(
        [&] { CEndpoint endpoint(foreign); },
        {"Cannot construct endpoint.", "Unknown protocol family.", "CEndpoint::CEndpoint"});

    const CEndpoint endpoint = foreignEndpoint();
    expectFailure(
        [&] { (void)endpoint.family(); },
        {"Cannot resolve protocol family.", "Unknown protocol family.", "CEndpoint::family"});
    expectFailure([&] { (void)endpoint.ip_address(); },
                  {"Cannot resolve endpoint ip address.", "Unknown protocol family.",
                   "CEndpoint::ip_address"});
    expectFailure([&] { (void)endpoint.string(); },
                  {"Cannot resolve endpoint ip address.", "Unknown protocol family.",
                   "CEndpoint::ip_address"});

    // Setting a real address gives it a family again.
    CEndpoint repaired = foreignEndpoint();
    repaired.ip_address(CIPAddress("::1"));
    EXPECT_EQ(repaired.string(), "[::1]:0");
}

TEST(EndpointAddress, SettingTheAddressKeepsThePort) {
    CEndpoint endpoint("192.0.2.1:8080");
    endpoint.ip_address(CIPAddress("2001:db8::5"));
    EXPECT_EQ(endpoint.string(), "[2001:db8::5]:8080");
    endpoint.ip_address(CIPAddress("10.1.2.3"));
    EXPECT_EQ(endpoint.string(), "10.1.2.3:8080");
    endpoint.port(9);
    EXPECT_EQ(endpoint.string(), "10.1.2.3:9");

    expectFailure(
        [&] { endpoint.ip_address(CIPAddress()); },
        {"Cannot set endpoint address.", "Unknown ip address type.", "CEndpoint::ip_address"});
    EXPECT_EQ(endpoint.string(), "10.1.2.3:9");
    expectFailure(
        [&] { CEndpoint fresh(CIPAddress(), 1); },
        {"Cannot set endpoint address.", "Unknown ip address type.", "CEndpoint::ip_address"});
}

TEST(EndpointAce, IsARealSocketAddress) {
    // From ACE's own address, and back into ACE's view of it.
    const CEndpoint fromAce(ACE_INET_Addr(static_cast<u_short>(6767), "127.0.0.1"));
    EXPECT_EQ(fromAce.string(), "127.0.0.1:6767");
    const CEndpoint v6("[::1]:547");
    char host[64];
    EXPECT_STREQ(v6.get_host_addr(host, sizeof host), "::1");
    EXPECT_EQ(v6.get_type(), AF_INET6);

    // The operating system takes it: bind to an ephemeral loopback port and read it back.
    ACE_SOCK_Dgram socket;
    ASSERT_EQ(socket.open(CEndpoint("127.0.0.1:0")), 0);
    ACE_INET_Addr bound;
    ASSERT_EQ(socket.get_local_addr(bound), 0);
    const CEndpoint local(bound);
    EXPECT_EQ(local.ip_address().string(), "127.0.0.1");
    EXPECT_NE(local.port(), 0);
    socket.close();
}

TEST(EndpointRobustness, BadInputNeverCrashes) {
    const auto texts =
        valuetest::hostileTexts({"192.0.2.1:67", "[2001:db8::1]:547", "[::1]", "10.0.0.1",
                                 "fe80::1", "1.2.3.4:65535", "[::ffff:1.2.3.4]:0"},
                                "0123456789abcdef.:[]", 4000);
    std::size_t accepted = 0, refused = 0;
    for (const std::string& text : texts) {
        CEndpoint endpoint("198.51.100.1:1");
        try {
            endpoint.string(text);
        } catch (nbx::CException&) {
            ++refused;
            EXPECT_EQ(endpoint.string(), "198.51.100.1:1");
            continue;
        }
        ++accepted;
        EXPECT_EQ(CEndpoint(endpoint.string()), endpoint) << text;
    }
    EXPECT_GT(accepted, 100u);
    EXPECT_GT(refused, 100u);
}
