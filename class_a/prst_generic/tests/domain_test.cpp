#include "prst_generic/domain.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "../../oodb_persistence/tests/memory_engine.h"
#include "oodb_persistence/prst_db_session.h"
#include "prst_generic/generic_catalog.h"

namespace {

template <class F>
std::string failure(F&& call) {
    try {
        call();
    } catch (nbx::CException& e) {
        return e.message().text() + " | " + e.reason().text() + " @ " + e.module() + " " +
               e.function();
    }
    return "<no exception>";
}

const char* const kDomainText =
    "description=Lab servers\n"
    "domains=root:1,lab:-7\n"
    "groups=eng\n"
    "mdata=k=v\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "name=lab\n"
    "oid=5\n"
    "priority=10\n"
    "type=2\n";

}  // namespace

TEST(DomainNameID, TextIsNameColonId) {
    CPrstDomainNameID member;
    member.string("eng:42");
    EXPECT_EQ(member.name(), "eng");
    EXPECT_EQ(member.domainId(), 42);
    EXPECT_EQ(member.string(), "eng:42");
    member.string(":0");
    EXPECT_EQ(member.string(), ":0");
    EXPECT_EQ(CPrstDomainNameID("a", -2147483647 - 1).string(), "a:-2147483648");
}

TEST(DomainNameID, AMemberWithoutColonOrWithABadIdIsRefused) {
    const char* site = " @ prst_generic CPrstDomainNameID::string";
    for (const char* text : {"eng", "", "eng:", "eng:x", "eng:2147483648", "a:b:1", "eng:1 2"}) {
        SCOPED_TRACE(text);
        CPrstDomainNameID member("kept", 3);
        EXPECT_EQ(failure([&] { member.string(text); }),
                  std::string("Cannot deserialize domain name-id from text. | Invalid format '") +
                      text + "'." + site);
        EXPECT_EQ(member.string(), "kept:3");
    }
}

TEST(DomainMemberships, MembersAreJoinedByCommasAndBlanksAreSkipped) {
    CPrstDomainMemberships domains;
    domains.string(" root:1 , ,lab:2,");
    EXPECT_EQ(domains.members().size(), 2u);
    EXPECT_EQ(domains.string(), "root:1,lab:2");
    EXPECT_EQ(failure([&] { domains.string("root:1,broken"); }),
              "Cannot deserialize domain name-id from text. | Invalid format 'broken'. @ "
              "prst_generic CPrstDomainNameID::string");
    EXPECT_EQ(domains.string(), "root:1,lab:2");  // unchanged by the failure
    domains.string("");
    EXPECT_TRUE(domains.empty());
}

TEST(Domain, TextRoundTripsThroughANewObject) {
    CPrstDomain domain;
    domain.string(kDomainText);
    EXPECT_EQ(domain.name(), "lab");
    EXPECT_EQ(domain.priority(), 10u);
    EXPECT_EQ(domain.domains().members().at(1).domainId(), -7);
    EXPECT_EQ(domain.string(), kDomainText);
    CPrstDomain copy;
    copy.string(domain.string());
    EXPECT_EQ(copy.string(), kDomainText);
}

TEST(Domain, ReadingFailuresNameTheRecordKindOrTheMember) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"description=x\n",
         "Failed to set a domain record from text. | Missing 'name' key. @ prst_generic "
         "CPrstDomain::_set"},
        {"name=x\npriority=high\n",
         "Failed to set a domain record from text. | Invalid value 'high' for key 'priority'. @ "
         "prst_generic CPrstDomain::_set"},
        {"name=x\ndomains=root\n",
         "Cannot deserialize domain name-id from text. | Invalid format 'root'. @ prst_generic "
         "CPrstDomain::_set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstDomain domain;
        EXPECT_EQ(failure([&] { domain.string(c.text); }), c.expected);
    }
}

TEST(Domain, IsStoredAndFoundThroughTheSession) {
    CPrstClassCatalog catalog;
    addGenericClasses(catalog);
    CIPrstAbstractFactory registry;
    CPrstGenericInitializer().init({&registry, &catalog, {}, 4});
    memdb::CMemoryEngine engine;
    CPrstDBSession session(registry);
    session.open([&](const std::string& name) { return engine.lookup(name); });

    auto domain = session.newObject<CPrstDomain>();
    domain->string("name=lab\ndomains=root:1\n");
    domain->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(engine.memory().rows("domain").at(1).values.at("DOMAINS"), "root:1");
    auto found = session.find<CPrstDomain>(0, domain->oid());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->string(), domain->string());
    EXPECT_EQ(
        dynamic_cast<CPrstDomain*>(registry.createByTextName("domain", nullptr).get()) != nullptr,
        true);
}

TEST(Domain, RandomAndTruncatedTextsOnlyEverThrowExceptionRecords) {
    std::mt19937 random(20240611);
    const std::string alphabet = "=\n:,-0123456789abcnmeoidpryt \t";
    const std::string keys[] = {"name", "oid", "priority", "domains", "mod_time", "type", "mdata"};
    std::size_t thrown = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        if (round % 3 == 0) {
            text = std::string(kDomainText).substr(0, random() % std::string(kDomainText).size());
        } else {
            int entries = random() % 6;
            for (int i = 0; i < entries; ++i) {
                text += keys[random() % 7] + "=";
                int length = random() % 12;
                for (int j = 0; j < length; ++j) text += alphabet[random() % alphabet.size()];
                text += "\n";
            }
        }
        CPrstDomain domain;
        try {
            domain.string(text);
            CPrstDomain copy;
            copy.string(domain.string());  // what was accepted must be written readably
        } catch (nbx::CException&) {
            ++thrown;
        }
    }
    EXPECT_GT(thrown, 0u);
}
