// References by name: COIDTranslator in both directions, both strict modes and with raw ids.

#include "oodb_persistence/oid_translator.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using prsttest::failure;

namespace {

class TranslatorTest : public prsttest::SessionTest {
protected:
    TranslatorTest() {
        for (const char* name : {"Ann", "O'Neil"}) {
            auto owner = session.newObject<CTestOwner>();
            owner->setName(name);
            owner->commit(0, CFullAccessToken::instance());
        }
        engine.memory().log.clear();
    }

    COIDTranslator<CTestGadget, CTestOwner> translator() {
        return COIDTranslator<CTestGadget, CTestOwner>(session.context());
    }
};

}  // namespace

TEST_F(TranslatorTest, ToNameFindsTheNameOrFallsBackByStrictness) {
    struct Case {
        std::uint32_t oid;
        bool strict;
        const char* expected;
    } cases[] = {
        {1, true, "Ann"},
        {2, false, "O'Neil"},
        {7, false, "7"},
        {0x80000000u, false, ""},
        {kNoKey, false, ""},
        {7, true, "Cannot find name of record with OID=7.of type CTestOwner | No such record."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.oid) + (c.strict ? " strict" : " lenient"));
        std::string result;
        std::string thrown = failure([&] { result = translator()._toName(c.oid, c.strict); });
        EXPECT_EQ(thrown == "<no exception>" ? result : thrown, c.expected);
    }
    EXPECT_EQ(prsttest::site([&] { translator()._toName(9, true); }),
              "oodb_persistence COIDTranslator<SRC,DEST>::_toName");
    EXPECT_EQ(engine.memory().log.front(), "execute test_owners: generic.oid OID=1\n");
}

TEST_F(TranslatorTest, ToOIDFindsTheRecordOrAcceptsANumber) {
    struct Case {
        const char* name;
        bool strict;
        std::uint32_t oid;  // kNoKey with a failure text
        const char* failure;
    } cases[] = {
        {"Ann", true, 1, nullptr},
        {"O'Neil", false, 2, nullptr},
        {"42", true, 42, nullptr},
        {"4294967295", true, 4294967295u, nullptr},
        {"", false, kNoKey, nullptr},
        {"-1", false, kNoKey, nullptr},
        {"-2147483648", false, 0x80000000u, nullptr},
        {"", true, 0, "Cannot find OID of record  of type CTestOwner. | No such record."},
        {"Bob", false, 0, "Cannot find OID of record Bob of type CTestOwner. | No such record."},
        {"4294967296", false, 0,
         "Cannot find OID of record 4294967296 of type CTestOwner. | No such record."},
        {"+5", true, 0, "Cannot find OID of record +5 of type CTestOwner. | No such record."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.strict ? " strict" : " lenient"));
        if (c.failure) {
            EXPECT_EQ(failure([&] { translator().toOID(c.name, c.strict); }), c.failure);
        } else {
            EXPECT_EQ(translator().toOID(c.name, c.strict), c.oid);
        }
    }
}

TEST_F(TranslatorTest, RawIdsPassOIDsThroughWithoutLookups) {
    session.context()->setRawIds(true);
    EXPECT_EQ(translator()._toName(1, true), "1");
    EXPECT_EQ(translator()._toName(kNoKey, true), "-1");
    EXPECT_EQ(translator().toOID("1", true), 1u);
    EXPECT_EQ(translator().toOID("-1", true), kNoKey);
    EXPECT_EQ(failure([&] { translator().toOID("Ann", false); }),
              "Cannot find OID of record Ann of type CTestOwner. | No such record.");
    EXPECT_TRUE(engine.memory().log.empty());
}

TEST_F(TranslatorTest, ReferencesCrossTheTextFormByName) {
    auto gadget = session.newObject<CTestGadget>();
    gadget->setName("g");
    gadget->owner().setId({"owner", 2});
    const std::string text = gadget->string();
    EXPECT_NE(text.find("owner=O'Neil\n"), std::string::npos);

    auto copy = session.newObject<CTestGadget>();
    copy->string(text);
    EXPECT_EQ(copy->owner().value(), 2u);
    copy->string("name=g\nowner=\n");
    EXPECT_EQ(copy->owner().value(), kNoKey);

    // An owner that is gone is written by its number and read back as that number.
    gadget->owner().set(9);
    copy->string(gadget->string());
    EXPECT_EQ(copy->owner().value(), 9u);

    session.context()->setRawIds(true);
    gadget->owner().set(2);
    EXPECT_NE(gadget->string().find("owner=2\n"), std::string::npos);
}

TEST_F(TranslatorTest, ADestinationIsFoundByItsTextClassOnlyThroughTheRegistryAndASession) {
    CPrstOIDTranslatorBase byText(session.context(), "owner");
    EXPECT_EQ(byText._toName(1, true), "Ann");
    EXPECT_EQ(byText.toOID("O'Neil", true), 2u);

    // A text class the registry does not know: no lookup, numbers only, the text class named.
    CPrstOIDTranslatorBase unknown(session.context(), "vehicle");
    engine.memory().log.clear();
    EXPECT_EQ(unknown._toName(1, false), "1");
    EXPECT_EQ(unknown.toOID("12", true), 12u);
    EXPECT_EQ(failure([&] { unknown.toOID("Ann", true); }),
              "Cannot find OID of record Ann of type vehicle. | No such record.");
    EXPECT_EQ(failure([&] { unknown._toName(1, true); }),
              "Cannot find name of record with OID=1.of type vehicle | No such record.");
    EXPECT_TRUE(engine.memory().log.empty());

    // Without a session likewise.
    COIDTranslator<CTestGadget, CTestOwner> alone(nullptr);
    EXPECT_EQ(alone._toName(3, false), "3");
    EXPECT_EQ(alone.toOID("3", true), 3u);
    EXPECT_EQ(failure([&] { alone.toOID("Ann", true); }),
              "Cannot find OID of record Ann of type CTestOwner. | No such record.");
}
