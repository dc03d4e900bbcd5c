#pragma once
// A group of domains (text class name "domain_group").

#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstDomainGroup : public CPersistentSecuredObject<CPrstDomainGroup> {
public:
    static const CPrstClassDef& classDef();

    const std::string& name() const { return get<std::string>("name"); }
    void setName(const std::string& name) { put<std::string>("name", name); }
    const std::string& description() const { return get<std::string>("description"); }
    void setDescription(const std::string& text) { put<std::string>("description", text); }
};
