#pragma once
// An SNMP query (text class name "snmp_query"): an object name under a prefix, in groups.

#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstSNMPQuery : public CPersistentSecuredObject<CPrstSNMPQuery> {
public:
    static const CPrstClassDef& classDef();

    const std::string& name() const { return get<std::string>("name"); }
    const std::string& prefixName() const { return get<std::string>("prefix_name"); }
    const std::string& objectName() const { return get<std::string>("object_name"); }
    const std::string& groups() const { return get<std::string>("groups"); }
};
