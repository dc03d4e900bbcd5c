#pragma once
// A user role (text class name "user_role"). Its "capabilities" grant rights on domains, one
// entry "domain:right" each ("lab:read,lab:write"); user accounts hold roles in their access
// list, and the domains of those capabilities bound what a user may create in.

#include <string>
#include <vector>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstRole : public CPersistentSecuredObject<CPrstRole> {
public:
    static const CPrstClassDef& classDef();

    const std::string& name() const { return get<std::string>("name"); }
    void setName(const std::string& name) { put<std::string>("name", name); }
    const std::string& groups() const { return get<std::string>("groups"); }
    // The entries joined by "," (blanks around them and empty ones removed).
    const std::string& capabilities() const { return get<std::string>("capabilities"); }
    // The domain of every capability entry, in entry order, each once.
    std::vector<std::string> domains() const;

private:
    // Each entry must be "domain:right" with both parts present.
    void _readCapabilities(const nbx::CStringMap& map, const CPrstFieldDef& row);
};
