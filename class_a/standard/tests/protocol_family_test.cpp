#include "standard/protocol_family.h"

#include <sys/socket.h>

#include <gtest/gtest.h>

#include "value_test_support.h"

using valuetest::expectFailure;

namespace {

const valuetest::Failure kUnknownFamily{"Cannot construct protocol family.",
                                        "Unknown protocol family.",
                                        "CProtocolFamily::CProtocolFamily"};

}  // namespace

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
        const CProtocolFamily byNumber(c.number), byText(std::string(c.text)),
            byAddress(nbx::CIPAddress(c.address));
        for (const CProtocolFamily& family : {byNumber, byText, byAddress}) {
            EXPECT_EQ(family.number(), c.number);
            EXPECT_EQ(family.string(), c.text);
            EXPECT_EQ(family.addr_family(), c.addrFamily);
            EXPECT_EQ(family.addressType(), nbx::CIPAddress(c.address).type());
        }
    }
    EXPECT_NE(CProtocolFamily(4), CProtocolFamily(6));
    EXPECT_TRUE(CProtocolFamily(4) < CProtocolFamily(6));
}

TEST(ProtocolFamily, NothingElseExists) {
    for (int number : {0, 1, 5, -4, -6, 46, 64, 10}) {
        SCOPED_TRACE(number);
        expectFailure([&] { CProtocolFamily family(number); }, kUnknownFamily);
    }
    for (const char* text : {"", "04", " 4", "4 ", "v4", "IPv6", "46", "+4", "6\n", "4.0"}) {
        SCOPED_TRACE(text);
        expectFailure([&] { CProtocolFamily family{std::string(text)}; }, kUnknownFamily);
    }
    expectFailure([&] { CProtocolFamily family{nbx::CIPAddress()}; }, kUnknownFamily);
}

TEST(ProtocolFamily, BadInputNeverCrashes) {
    std::size_t accepted = 0;
    for (const std::string& text : valuetest::hostileTexts({"4", "6", "46"}, "0123456789", 2000)) {
        try {
            const CProtocolFamily family(text);
            ++accepted;
            EXPECT_EQ(family.string(), text);
        } catch (nbx::CException& e) {
            EXPECT_EQ(e.reason().text(), "Unknown protocol family.");
        }
    }
    EXPECT_GT(accepted, 0u);
}
