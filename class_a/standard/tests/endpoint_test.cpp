#include "standard/endpoint.h"

#include <ace/SOCK_Dgram.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "value_test_support.h"

using nbx::CEndpoint;
using nbx::CIPAddress;
using valuetest::expectFailure;

TEST(EndpointText, ReadsAddressAndPortAndWritesBracketsOnlyForIPv6) {
    const struct {
        const char *text, *address;
        unsigned short port;
        int family;
        const char* written;
    } cases[] = {
        {"192.0.2.1:67", "192.0.2.1", 67, 4, "192.0.2.1:67"},
        {"[2001:db8::1]:547", "2001:db8::1", 547, 6, "[2001:db8::1]:547"},
        {"10.0.0.1", "10.0.0.1", 0, 4, "10.0.0.1:0"},
        {"[::1]", "::1", 0, 6, "[::1]:0"},
        {"fe80::1", "fe80::1", 0, 6, "[fe80::1]:0"},  // several colons, no brackets: all address
        {"1.2.3.4:00080", "1.2.3.4", 80, 4, "1.2.3.4:80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CEndpoint endpoint;
        EXPECT_TRUE(endpoint.string(c.text));
        EXPECT_EQ(endpoint.ip_address(), CIPAddress(c.address));
        EXPECT_EQ(endpoint.port(), c.port);
        EXPECT_EQ(endpoint.family().number(), c.family);
        EXPECT_EQ(endpoint.string(), c.written);
        EXPECT_EQ(CEndpoint(CIPAddress(c.address), c.port).string(), c.written);
    }
    EXPECT_EQ(CEndpoint().string(), "0.0.0.0:0");
}

TEST(EndpointText, RefusesMalformedTextsAndKeepsTheOldValue) {
    // {text, the address part when only that is wrong}
    const std::pair<const char*, const char*> texts[] = {
        {"1.2.3.4:65536", nullptr}, {"1.2.3.4:8a", nullptr},   {"[::1", nullptr},
        {"[::1]80", nullptr},       {"[1.2.3.4]:80", nullptr}, {"1.2.3:80", "1.2.3"},
    };
    for (const auto& [text, address] : texts) {
        SCOPED_TRACE(text);
        CEndpoint endpoint("192.0.2.9:99");
        expectFailure([&] { endpoint.string(text); },
                      address ? valuetest::Expected{"Cannot create an ip address.",
                                                    "Text '" + std::string(address) +
                                                        "' is not a valid IP address.",
                                                    "CIPAddress::_set"}
                              : valuetest::Expected{
                                    "Cannot set endpoint from text.",
                                    "Text '" + std::string(text) + "' is not a valid endpoint.",
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
    expectFailure([&] { (void)endpoint.string(); },
                  {"Cannot resolve endpoint ip address.", "Unknown protocol family.",
                   "CEndpoint::ip_address"});
    endpoint.ip_address(CIPAddress("::1"));  // a real address gives it a family again
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
    EXPECT_EQ(CEndpoint(bound).ip_address().string(), "127.0.0.1");
    EXPECT_NE(CEndpoint(bound).port(), 0);
    socket.close();
}

TEST(ProtocolFamily, FourAndSixInEveryFormAndNothingElse) {
    const struct {
        int number;
        const char *text, *address;
        int addrFamily;
    } cases[] = {{4, "4", "192.0.2.1", AF_INET}, {6, "6", "2001:db8::1", AF_INET6}};
    for (const auto& c : cases) {
        const CIPAddress address(c.address);
        for (const CProtocolFamily& family :
             {CProtocolFamily(c.number), CProtocolFamily(std::string(c.text)),
              CProtocolFamily(address)}) {
            EXPECT_EQ(family.number(), c.number);
            EXPECT_EQ(family.string(), c.text);
            EXPECT_EQ(family.addr_family(), c.addrFamily);
            EXPECT_EQ(family.addressType(), address.type());
        }
    }
    EXPECT_TRUE(CProtocolFamily(4) < CProtocolFamily(6));

    const valuetest::Expected unknown{"Cannot construct protocol family.",
                                      "Unknown protocol family.",
                                      "CProtocolFamily::CProtocolFamily"};
    for (int number : {0, 5, 46}) expectFailure([&] { CProtocolFamily family(number); }, unknown);
    for (const char* text : {"", "04", "4 ", "46"}) {
        expectFailure([&] { CProtocolFamily family{std::string(text)}; }, unknown);
    }
    expectFailure([&] { CProtocolFamily family{CIPAddress()}; }, unknown);
}
