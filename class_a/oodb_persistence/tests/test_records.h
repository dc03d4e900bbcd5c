#pragma once
// Record classes of the tests: each is a declaration table plus, where a test needs one, a rule
// of its own.

#include <cstdint>
#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "oodb_persistence/prst_ref_attr.h"

class CTestOwner : public CPersistentSecuredObject<CTestOwner> {
public:
    static const CPrstClassDef& classDef() {
        static const CPrstClassDef def =
            CPrstClassDef("CTestOwner", "owner", "test_owners")
                .site("CTestOwner::_set")
                .failure("Failed to set an owner record from text.")
                .field(prst::modTime())
                .field(prst::value<std::string>("name", "NAME").require());
        return def;
    }
    const std::string& name() const { return get<std::string>("name"); }
    void setName(const std::string& name) { put<std::string>("name", name); }
};

class CTestGadget : public CPersistentSecuredObject<CTestGadget> {
public:
    static const CPrstClassDef& classDef() {
        static const CPrstClassDef def =
            CPrstClassDef("CTestGadget", "gadget", "test_gadgets")
                .site("CTestGadget::_set")
                .failure("Failed to set a gadget record from text.")
                .field(prst::modTime())
                .field(prst::value<std::string>("name", "NAME").require())
                .field(prst::value<std::uint32_t>("size", "SIZE"))
                .field(prst::value<bool>("enabled", "ENABLED", true))
                .field(prst::value<nbx::CIPAddress>("address", "ADDRESS"))
                .field(prst::binary("blob", "BLOB"))
                .field(prst::reference<CTestGadget, CTestOwner>("owner", "OWNER_OID"))
                .field(prst::derived<std::string>("label",
                                                  [](const CPrstUserBase& self) {
                                                      return self.get<std::string>("name") + "#" +
                                                             std::to_string(
                                                                 self.get<std::uint32_t>("size"));
                                                  }))
                .field(prst::link2Many("parts", "PARTS"));
        return def;
    }
    const std::string& name() const { return get<std::string>("name"); }
    void setName(const std::string& name) { put<std::string>("name", name); }
    std::uint32_t size() const { return get<std::uint32_t>("size"); }
    void setSize(std::uint32_t size) { put<std::uint32_t>("size", size); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }
    CPrstRefAttr<CTestGadget, CTestOwner>& owner() {
        return attrAs<CPrstRefAttr<CTestGadget, CTestOwner>>("owner");
    }
    CPrstLink2ManyAttr& parts() { return attrAs<CPrstLink2ManyAttr>("parts"); }

    // Records the order in which the reader saw the keys.
    std::string seen;

protected:
    void _preDeserialize(const nbx::CStringMap& map) override {
        seen += "pre(oid=" + prst::signed32(oid()) + ",name=" + get<std::string>("name") + ")";
        (void)map;
    }
};

// Shares the gadget table; the meta-class entry tells its records apart.
class CTestWideGadget : public CPersistentSecuredObject<CTestWideGadget> {
public:
    static const CPrstClassDef& classDef() {
        static const CPrstClassDef def =
            CPrstClassDef("CTestWideGadget", "gadget", "test_gadgets")
                .field(prst::value<std::string>("name", "NAME").require())
                .field(prst::value<std::string>("width", "WIDTH"));
        return def;
    }
};

// A complex class: its "extra" lives in a second table.
class CTestComplex : public CPersistentSecuredObject<CTestComplex> {
public:
    static const CPrstClassDef& classDef() {
        static const CPrstClassDef def =
            CPrstClassDef("CTestComplex", "complex_thing", "test_complex")
                .prototype("test_complex_extra")
                .field(prst::value<std::string>("name", "NAME"))
                .field(prst::value<std::string>("extra", "EXTRA").in("test_complex_extra"));
        return def;
    }
};
