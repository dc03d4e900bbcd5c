#pragma once
// A named group of SQL queries (text class name "sql_query_group").

#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstSQLQueryGroup : public CPersistentSecuredObject<CPrstSQLQueryGroup> {
public:
    static const CPrstClassDef& classDef();

    const std::string& name() const { return get<std::string>("name"); }
    const std::string& description() const { return get<std::string>("description"); }
};
