// Persistent objects without a database: declarations, attributes, meta entries, text form.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "oodb_persistence/prst_attr_functor.h"
#include "test_support.h"

using prsttest::failure;

namespace {

// Declarations that do not match their tables, one per index.
template <int N>
struct CTestBroken : public CIPersistentObject<CTestBroken<N>> {
    static const CPrstClassDef& classDef() {
        using prst::value;
        static const CPrstClassDef defs[] = {
            CPrstClassDef("CTestTwice", "twice", "twice")
                .field(value<std::string>("x", "X1"))
                .field(value<std::string>("x", "X2")),
            CPrstClassDef("CTestBadSimple", "bad", "bad")
                .field(value<std::string>("x", "X").in("elsewhere")),
            CPrstClassDef("CTestBadComplex", "bad", "bad")
                .prototype("bad_extra")
                .field(value<std::string>("x", "X").in("elsewhere")),
            CPrstClassDef("CTestDupColumn", "bad", "bad")
                .field(value<std::string>("x", "X"))
                .field(value<std::string>("y", "X")),
        };
        return defs[N];
    }
};

// A gadget with every field set.
std::unique_ptr<CTestGadget> fullGadget() {
    auto gadget = std::make_unique<CTestGadget>();
    gadget->setOID(17);
    gadget->setName("alpha");
    gadget->setSize(4294967295u);
    gadget->put<bool>("enabled", false);
    gadget->put<nbx::CIPAddress>("address", nbx::CIPAddress("10.0.0.1"));
    gadget->put<nbx::CHexStore>("blob", nbx::CHexStore({0x0A, 0x1B}));
    gadget->put<nbx::CTimeT>("mod_time", nbx::CTimeT(0));
    gadget->parts().registerPeer(3, "wheel");
    return gadget;
}

const char* const kFullText =
    "address=10.0.0.1\n"
    "blob=0A-1B\n"
    "enabled=false\n"
    "label=alpha#4294967295\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "name=alpha\n"
    "oid=17\n"
    "owner=\n"
    "size=-1\n";

}  // namespace

// --- declarations and attributes --------------------------------------------------------------

TEST(PrstUserBase, DeclarationsThatDoNotMatchTheirTablesAreRefused) {
    const std::string init = "Unable to initialize persistent object of type ";
    EXPECT_EQ(failure([] { CTestBroken<0> x; }),
              "Cannot register attribute 'x' in object of type 'CTestTwice'. | Attribute is "
              "already registered.");
    EXPECT_EQ(failure([] { CTestBroken<1> x; }),
              init +
                  "'CTestBadSimple'. | Simple persistent class illegally refers to prototype "
                  "'elsewhere'.");
    EXPECT_EQ(failure([] { CTestBroken<2> x; }),
              init + "'CTestBadComplex'. | Unable to find required prototype 'elsewhere'.");
    EXPECT_EQ(failure([] { CTestBroken<3> x; }),
              init +
                  "'CTestDupColumn'. | The definition of persistent class 'CTestDupColumn' "
                  "does not match its persistent attributes.");
}

TEST(PrstUserBase, AttributesAreRegisteredOnceAndLookedUpByNameAndType) {
    CTestGadget gadget;
    gadget.registerAttr(std::make_unique<CPrstAttr<std::int32_t>>("extra", -4));
    EXPECT_EQ(gadget.get<std::int32_t>("extra"), -4);
    EXPECT_EQ(
        prsttest::site([&] { gadget.registerAttr(std::make_unique<CPrstAttr<int>>("extra")); }),
        "oodb_persistence CPrstUserBase::registerAttr");
    CPrstLinkByNameAttr byName("members");
    const struct {
        std::function<void()> call;
        const char* expected;
    } refused[] = {
        {[&] { gadget.attr("colour"); },
         "Cannot find persistent attribute 'colour'. | No such attribute."},
        {[&] { gadget.get<std::uint32_t>("name"); },
         "Cannot find persistent attribute 'name'. | The attribute of 'CTestGadget' holds "
         "another type."},
        // Collections and derived values take no text.
        {[&] { gadget.parts().setText(gadget, "wheel"); },
         "Cannot deserialize persistent collections. | No support for it."},
        {[&] { byName.setText(gadget, "x"); },
         "Cannot deserialize persistent link objects. | No support for it."},
        {[&] { gadget.attr("label").setText(gadget, "x"); },
         "Cannot set attribute 'label' from text. | The attribute is read only."},
        {[&] {
             gadget.owner().setId({"gadget", 3});
         },
         "Input id prototype 'gadget' does not match foreign key prototype 'owner'. | Cannot "
         "update from foreign key."},
    };
    for (const auto& c : refused) EXPECT_EQ(failure(c.call), c.expected);
}

TEST(PrstUserBase, OnlyRealChangesMarkAnAttributeModified) {
    CTestGadget gadget;
    gadget.clearModified();
    gadget.setSize(0);
    EXPECT_FALSE(gadget.modified());
    gadget.setSize(1);
    EXPECT_TRUE(gadget.attr("size").modified());
    EXPECT_FALSE(gadget.attr("name").modified());
    // A copy keeps the values and the marks, independently of the original.
    CTestGadget copy(gadget);
    copy.setName("copy");
    EXPECT_EQ(gadget.name(), "");
    EXPECT_TRUE(copy.attr("size").modified());
}

TEST(PrstAttrFunctor, ConvertsStoredAttributesOnly) {
    auto gadget = fullGadget();
    // The stored form of a 32-bit value is unsigned; its text is signed.
    EXPECT_EQ(CPrstAttrFunctor::convertTo(*gadget, "size"), "4294967295");
    EXPECT_EQ(CPrstAttrFunctor::convertTo(*gadget, "mod_time"), "0");
    EXPECT_EQ(CPrstAttrFunctor::convertTo(*gadget, "enabled"), "0");
    CPrstAttrFunctor::convertFrom(*gadget, "size", "12");
    EXPECT_EQ(gadget->size(), 12u);
    for (const char* stored : {"9223372036854775807", "-9223372036854775808"}) {
        CPrstAttrFunctor::convertFrom(*gadget, "mod_time", stored);
        EXPECT_EQ(CPrstAttrFunctor::convertTo(*gadget, "mod_time"), stored);
    }
    for (const std::string name : {"label", "colour"}) {  // derived, unknown
        const std::string expected =
            "Cannot find converter for attribute '" + name + "'. | No such attribute.";
        EXPECT_EQ(failure([&] { CPrstAttrFunctor::convertTo(*gadget, name); }), expected);
        EXPECT_EQ(failure([&] { CPrstAttrFunctor::convertFrom(*gadget, name, "1"); }), expected);
    }
}

TEST(PrstAttr, LinkCollectionKeepsItsMembersInSequence) {
    CPrstLink2ManyAttr links("parts");
    EXPECT_EQ(failure([&] { links.front(); }), "Cannot access link 0 of 'parts'. | No such link.");
    links.registerPeer(5, "a");
    links.registerPeer(6, "b");
    links.registerPeer(5, "again");  // already a member
    links.registerPeer(7, "c");
    EXPECT_EQ(links.size(), 3u);
    EXPECT_EQ(links.back().seqNr, 2u);
    EXPECT_EQ(links.text(CTestGadget()), "a,b,c");
    links.pop_front();
    EXPECT_EQ(links.front().nameKey, "b");
    EXPECT_TRUE(links.deRegisterPeer(7));
    EXPECT_FALSE(links.deRegisterPeer(7));
    links.pop_back();
    EXPECT_TRUE(links.empty());
}

// --- meta-class entry -------------------------------------------------------------------------

TEST(PrstMetaEntry, SplitsAtTheBracketsAndOnlyComplexMeansComplex) {
    struct Case {
        const char* text;
        const char* className;
        bool complex;
    } cases[] = {
        {"CPrstDomain[simple]", "CPrstDomain", false},
        {"CPrstPool[complex]", "CPrstPool", true},
        {"CPrstPool[Complex]", "CPrstPool", false},
        {"CPrstPool[complex]tail", "CPrstPool", true},
        {"CPrstPool", "CPrstPool", false},
        {"", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstMetaEntry entry = CPrstMetaEntry::parse(c.text);
        EXPECT_EQ(entry.className, c.className);
        EXPECT_EQ(entry.complex, c.complex);
        CPrstMetaEntry again = CPrstMetaEntry::parse(entry.string());
        EXPECT_EQ(again.className, entry.className);
        EXPECT_EQ(again.complex, entry.complex);
    }
    EXPECT_EQ(CTestComplex().metaEntry().string(), "CTestComplex[complex]");
    EXPECT_EQ(CTestGadget().metaEntry().string(), "CTestGadget[simple]");
}

// --- text form --------------------------------------------------------------------------------

TEST(PrstText, AnObjectWritesEveryKeyInKeyOrderAndTheTextRoundTrips) {
    EXPECT_EQ(fullGadget()->string(), kFullText);
    CTestGadget copy;
    copy.string(kFullText);
    EXPECT_EQ(copy.string(), kFullText);
    EXPECT_EQ(copy.oid(), 17u);
    EXPECT_EQ(copy.size(), 4294967295u);
    EXPECT_TRUE(copy.parts().empty());  // links are not part of the text
}

TEST(PrstText, OidIsReadFirstUnknownKeysAreIgnoredAndAbsentKeysLeaveValuesAlone) {
    CTestGadget gadget;
    gadget.setSize(8);
    gadget.string("name=beta\noid=12\nbogus=1\n");
    EXPECT_EQ(gadget.seen, "pre(oid=12,name=)");  // before the rows
    EXPECT_EQ(gadget.name(), "beta");
    EXPECT_EQ(gadget.size(), 8u);
    EXPECT_EQ(gadget.string().find("bogus"), std::string::npos);
    gadget.string("name=x\n");
    EXPECT_EQ(gadget.oid(), 12u);
    // A failure keeps the keys applied before it.
    EXPECT_THROW(gadget.string("oid=3\nname=kept\nsize=bad\n"), nbx::CException);
    EXPECT_EQ(gadget.oid(), 3u);
    EXPECT_EQ(gadget.name(), "kept");
}

TEST(PrstText, MissingOrBadValuesFailUnderTheRecordsText) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"size=3\n", "Failed to set a gadget record from text. | Missing 'name' key."},
        {"name=x\nsize=abc\n",
         "Failed to set a gadget record from text. | Invalid value 'abc' for key 'size'."},
        {"name=x\nowner=Nobody\n",
         "Cannot find OID of record Nobody of type CTestOwner. | No such record."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CTestGadget gadget;
        EXPECT_EQ(failure([&] { gadget.string(c.text); }), c.expected);
    }
    CTestGadget gadget;
    EXPECT_EQ(prsttest::site([&] { gadget.string("size=1"); }),
              "oodb_persistence CTestGadget::_set");
}

namespace {

// A record with a reason of its own for a missing key, a key whose absence restores a default
// and a rule that fails with its own message at its own site.
class CTestTuned : public CIPersistentObject<CTestTuned> {
public:
    static const CPrstClassDef& classDef() {
        static const CPrstClassDef def =
            CPrstClassDef("CTestTuned", "tuned", "tuned")
                .site("CTestTuned::_set")
                .failure("Failed to set a tuned record from text.")
                .field(prst::value<std::string>("label", "LABEL").requireReason("No label."))
                .field(prst::value<std::uint32_t>("delay", "DELAY", 9).absentAs("0"))
                .field(prst::value<std::string>("even", "EVEN").read(&CTestTuned::_readEven));
        return def;
    }

    int oddLine = 0;  // where _readEven throws

private:
    void _readEven(const nbx::CStringMap& map, const CPrstFieldDef& row) {
        std::string value;
        if (!map.get(row.key, value)) return;
        if (value.size() % 2) {
            oddLine = __LINE__ + 1;
            _failWith(nbx::msg("Value '%1' is odd.", value), nbx::msg("Length %1.", value.size()),
                      "CTestTuned::_readEven");
        }
        put<std::string>(row.name, value);
    }
};

}  // namespace

TEST(PrstText, RowsMayTuneTheirMissingReasonTheirAbsentValueAndTheirFailureSite) {
    CTestTuned tuned;
    EXPECT_EQ(failure([&] { tuned.string("delay=4\n"); }),
              "Failed to set a tuned record from text. | No label.");
    EXPECT_EQ(prsttest::site([&] { tuned.string("delay=4\n"); }),
              "oodb_persistence CTestTuned::_set");

    EXPECT_EQ(tuned.get<std::uint32_t>("delay"), 9u);  // the declared initial value
    tuned.string("label=l\ndelay=4\n");
    EXPECT_EQ(tuned.get<std::uint32_t>("delay"), 4u);
    tuned.string("label=l\n");
    EXPECT_EQ(tuned.get<std::uint32_t>("delay"), 0u);  // absent: read as "0"

    EXPECT_EQ(failure([&] { tuned.string("label=l\neven=abc\n"); }),
              "Value 'abc' is odd. | Length 3.");
    EXPECT_EQ(prsttest::site([&] { tuned.string("label=l\neven=abc\n"); }),
              "oodb_persistence CTestTuned::_readEven");
    // Each failure names the line that threw it, not the helper that built the record.
    EXPECT_EQ(prsttest::where([&] { tuned.string("label=l\neven=abc\n"); }),
              "prst_object_test.cpp:" + std::to_string(tuned.oddLine));
    const std::string missing = prsttest::where([&] { tuned.string("delay=4\n"); });
    const std::string invalid = prsttest::where([&] { tuned.string("label=l\ndelay=x\n"); });
    EXPECT_EQ(missing.rfind("prst_user_base.cpp:", 0), 0u) << missing;
    EXPECT_EQ(invalid.rfind("prst_user_base.cpp:", 0), 0u) << invalid;
    EXPECT_NE(missing, invalid);
    tuned.string("label=l\neven=ab\n");
    EXPECT_EQ(tuned.string(), "delay=0\neven=ab\nlabel=l\n");
}
