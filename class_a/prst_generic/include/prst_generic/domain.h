#pragma once
// A domain (text class name "domain"): the unit of access control that secured objects belong
// to.

#include <cstdint>
#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstDomain : public CPersistentSecuredObject<CPrstDomain> {
public:
    static const CPrstClassDef& classDef();

    const std::string& name() const { return get<std::string>("name"); }
    void setName(const std::string& name) { put<std::string>("name", name); }
    const std::string& description() const { return get<std::string>("description"); }
    void setDescription(const std::string& text) { put<std::string>("description", text); }
    std::uint32_t priority() const { return get<std::uint32_t>("priority"); }
    void setPriority(std::uint32_t priority) { put<std::uint32_t>("priority", priority); }
    const CPrstDomainMemberships& domains() const { return get<CPrstDomainMemberships>("domains"); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }
};
