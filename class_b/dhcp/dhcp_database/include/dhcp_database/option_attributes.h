#pragma once
// An option definition (text class name "option", table "option"): how the server names, types
// and places one DHCP option. Vendor classes (CPrstVendorAttributes) have the same keys.
//
// "name", "type" and "tagpath" are read first and must be present and not blank ("An option
// type definition must include a 'name' setting.", the same for 'type' and 'tagpath'). A value
// that is not of its key's kind (numbers: "max_instances", "vendor_id", "context_vendor_id";
// flag: "vendor_oro"; "fixed_offsets": decimal offsets joined by ",") fails with "Invalid data
// for option %1." (the option's name) / "Invalid option attribute data."; "user_definable" is
// one of "allowed" (the default), "required" and "disallowed", else "Cannot deserialize
// 'user_definable' value '%1'." / "Illegal value.". The other keys are texts of the option
// model, kept as given.

#include <cstdint>
#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstOptionAttributes : public CPersistentSecuredObject<CPrstOptionAttributes> {
public:
    static const CPrstClassDef& classDef();
    CPrstOptionAttributes() = default;

    const std::string& name() const { return get<std::string>("name"); }
    void setName(const std::string& v) { put<std::string>("name", v); }
    const std::string& type() const { return get<std::string>("type"); }
    const std::string& tagPath() const { return get<std::string>("tagpath"); }
    std::uint32_t maxInstances() const { return get<std::uint32_t>("max_instances"); }
    const std::string& optionClass() const { return get<std::string>("class"); }
    const std::string& description() const { return get<std::string>("description"); }
    const std::string& defaultValue() const { return get<std::string>("default_value"); }
    const std::string& userDefinable() const { return get<std::string>("user_definable"); }
    std::uint32_t vendorId() const { return get<std::uint32_t>("vendor_id"); }
    bool vendorOro() const { return get<bool>("vendor_oro"); }
    const std::string& fixedOffsets() const { return get<std::string>("fixed_offsets"); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }

protected:
    explicit CPrstOptionAttributes(const CPrstClassDef& def) : CPersistentSecuredObject(def) {}
    // The rows of an option definition under `def`'s names and texts.
    static CPrstClassDef _declare(CPrstClassDef def);

private:
    void _readSetting(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readData(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readFixedOffsets(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readUserDefinable(const nbx::CStringMap& map, const CPrstFieldDef& row);
    [[noreturn]] void _invalidData() const;
};
