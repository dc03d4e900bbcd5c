#pragma once
// A named group of SNMP queries (text class name "snmp_query_group").

#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstSNMPQueryGroup : public CPersistentSecuredObject<CPrstSNMPQueryGroup> {
public:
    static const CPrstClassDef& classDef();

    const std::string& name() const { return get<std::string>("name"); }
    const std::string& description() const { return get<std::string>("description"); }
};
