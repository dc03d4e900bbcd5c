// Domain memberships: "name:id" members joined by commas.

#include <gtest/gtest.h>

#include <string>

#include "../../oodb_persistence/tests/test_support.h"
#include "prst_generic/domain.h"

using prsttest::failure;
using prsttest::site;

TEST(DomainNameID, TextIsNameColonIdAndAnythingElseIsRefused) {
    CPrstDomainNameID member;
    member.string("eng:42");
    EXPECT_EQ(member.name(), "eng");
    EXPECT_EQ(member.domainId(), 42);
    EXPECT_EQ(member.string(), "eng:42");
    EXPECT_EQ(CPrstDomainNameID("a", -2147483647 - 1).string(), "a:-2147483648");

    for (const char* text : {"eng", "eng:x", "eng:2147483648", "a:b:1"}) {
        SCOPED_TRACE(text);
        CPrstDomainNameID kept("kept", 3);
        EXPECT_EQ(failure([&] { kept.string(text); }),
                  std::string("Cannot deserialize domain name-id from text. | Invalid format '") +
                      text + "'.");
        EXPECT_EQ(site([&] { kept.string(text); }), "prst_generic CPrstDomainNameID::string");
        EXPECT_EQ(kept.string(), "kept:3");
    }
}

TEST(DomainMemberships, MembersAreJoinedByCommasAndBlanksAreSkipped) {
    CPrstDomainMemberships domains;
    EXPECT_TRUE(domains.string(" root:1 , ,lab:2,"));
    EXPECT_EQ(domains.members().size(), 2u);
    EXPECT_EQ(domains.string(), "root:1,lab:2");
    EXPECT_EQ(failure([&] { domains.string("root:1,broken"); }),
              "Cannot deserialize domain name-id from text. | Invalid format 'broken'.");
    EXPECT_EQ(domains.string(), "root:1,lab:2");  // unchanged by the failure
    domains.string("");
    EXPECT_TRUE(domains.empty());
}
