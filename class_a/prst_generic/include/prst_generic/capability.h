#pragma once
// A capability (text class name "capability"): the rights that a role holds on records of the
// target classes. The target classes are a comma list of text class names the registry knows,
// "*" (every class) or empty; its text key is "target_class".

#include <cstdint>
#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "oodb_persistence/prst_ref_attr.h"
#include "prst_generic/domain_memberships.h"
#include "prst_generic/role.h"

class CPrstCapability : public CPersistentSecuredObject<CPrstCapability> {
public:
    static const CPrstClassDef& classDef();

    const std::string& description() const { return get<std::string>("description"); }
    const std::string& targetClasses() const { return get<std::string>("target_class"); }
    // The rights bit set (1 read, 2 write).
    std::uint32_t rights() const { return get<std::uint32_t>("rights"); }
    void setRights(std::uint32_t rights) { put<std::uint32_t>("rights", rights); }
    // The OID of the role; written by the role's name.
    std::uint32_t roleId() const { return get<std::uint32_t>("role_id"); }
    void setRole(const CPrstSimpleID& role) {
        attrAs<CPrstRefAttr<CPrstCapability, CPrstRole>>("role_id").setId(role);
    }

private:
    void _readTargetClasses(const nbx::CStringMap& map, const CPrstFieldDef& row);
};
