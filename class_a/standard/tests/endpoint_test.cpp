#include "standard/endpoint.h"

#include <ace/SOCK_Dgram.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "value_test_support.h"

using nbx::CEndpoint;
using nbx::CIPAddress;
using valuetest::expectFailure;

TEST(EndpointText, ReadsAddressAndPortAndWritesBracketsOnlyForIPv6) {
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
        {"10.0.0.1", "10.0.0.1", 0, 4, "10.0.0.1:0"},
        {"fe80::1", "fe80::1", 0, 6, "[fe80::1]:0"},  // several colons, no brackets: all address
        {"1.2.3.4:00080", "1.2.3.4", 80, 4, "1.2.3.4:80"},
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
        EXPECT_EQ(CEndpoint(CIPAddress(c.address), c.port).string(), c.written);
    }
    EXPECT_EQ(CEndpoint().string(), "0.0.0.0:0");
}

TEST(EndpointText, RefusesMalformedTextsAndKeepsTheOldValue) {
    // {text, the address part when only that is wrong}
    const std::pair<const char*, const char*> texts[] = {
        {"1.2.3.4:65536", nullptr}, {"1.2.3.4:8a", nullptr}, {"[::1", nullptr},
        {"[1.2.3.4]:80", nullptr},  {"1.2.3:80", "1.2.3"},   {"[zz::1]:80", "zz::1"},
    };
    for (const auto& [text, address] : texts) {
        SCOPED_TRACE(std::string("text '") + text + "'");
        CEndpoint endpoint("192.0.2.9:99");
        const std::string shown = address ? address : text;
        expectFailure([&] { endpoint.string(text); },
                      address
                          ? valuetest::Expected{"Cannot create an ip address.",
                                                "Text '" + shown + "' is not a valid IP address.",
                                                "CIPAddress::_set"}
                          : valuetest::Expected{"Cannot set endpoint from text.",
                                                "Text '" + shown + "' is not a valid endpoint.",
                                                "CEndpoint::_set"});
        EXPECT_EQ(endpoint.string(), "192.0.2.9:99");
    }
}

TEST(EndpointFamily, UnknownFamilyIsRefusedEverywhere) {
    ACE_INET_Addr foreign(static_cast<u_short>(5), "127.0.0.1");
    foreign.set_type(AF_UNIX);  // a family ACE knows but this system does not
    expectFailure(
        [&] { CEndpoint endpoint(foreign); },
        {"Cannot construct endpoint.", "Unknown protocol family.", "CEndpoint::CEndpoint"});

    CEndpoint endpoint("127.0.0.1:5");
    endpoint.set_type(AF_UNIX);
    expectFailure(
        [&] { (void)endpoint.family(); },
        {"Cannot resolve protocol family.", "Unknown protocol family.", "CEndpoint::family"});
    const valuetest::Expected noAddress{"Cannot resolve endpoint ip address.",
                                        "Unknown protocol family.", "CEndpoint::ip_address"};
    expectFailure([&] { (void)endpoint.ip_address(); }, noAddress);
    expectFailure([&] { (void)endpoint.string(); }, noAddress);

    // Setting a real address gives it a family again.
    endpoint.ip_address(CIPAddress("::1"));
    EXPECT_EQ(endpoint.string(), "[::1]:0");
}

TEST(EndpointAddress, SettingTheAddressKeepsThePort) {
    CEndpoint endpoint("192.0.2.1:8080");
    endpoint.ip_address(CIPAddress("2001:db8::5"));
    EXPECT_EQ(endpoint.string(), "[2001:db8::5]:8080");
    const valuetest::Expected unknown{"Cannot set endpoint address.", "Unknown ip address type.",
                                      "CEndpoint::ip_address"};
    expectFailure([&] { endpoint.ip_address(CIPAddress()); }, unknown);
    EXPECT_EQ(endpoint.string(), "[2001:db8::5]:8080");
    expectFailure([&] { CEndpoint fresh(CIPAddress(), 1); }, unknown);
}

TEST(EndpointAce, IsARealSocketAddress) {
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
    valuetest::readHostileTexts(
        valuetest::hostileTexts({"192.0.2.1:67", "[2001:db8::1]:547", "[::1]", "fe80::1"},
                                "0123456789abcdef.:[]"),
        CEndpoint("198.51.100.1:1"),
        [](const CEndpoint& endpoint, const std::string&, bool refused) {
            if (refused) {
                EXPECT_EQ(endpoint.string(), "198.51.100.1:1");
            }
        });
}
