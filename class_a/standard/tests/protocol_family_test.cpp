#include "standard/protocol_family.h"

#include <sys/socket.h>

#include <gtest/gtest.h>

#include "value_test_support.h"

using valuetest::expectFailure;

TEST(ProtocolFamily, FourAndSixInEveryForm) {
    struct Case {
        int number;
        const char* text;
        const char* address;
        int addrFamily;
    };
    const Case cases[] = {{4, "4", "192.0.2.1", AF_INET}, {6, "6", "2001:db8::1", AF_INET6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const nbx::CIPAddress address(c.address);
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
}

TEST(ProtocolFamily, NothingElseExists) {
    const valuetest::Expected unknown{"Cannot construct protocol family.",
                                      "Unknown protocol family.",
                                      "CProtocolFamily::CProtocolFamily"};
    for (int number : {0, 5, 46}) {
        SCOPED_TRACE(number);
        expectFailure([&] { CProtocolFamily family(number); }, unknown);
    }
    for (const char* text : {"", "04", "4 ", "IPv6", "46"}) {
        SCOPED_TRACE(text);
        expectFailure([&] { CProtocolFamily family{std::string(text)}; }, unknown);
    }
    expectFailure([&] { CProtocolFamily family{nbx::CIPAddress()}; }, unknown);
}
