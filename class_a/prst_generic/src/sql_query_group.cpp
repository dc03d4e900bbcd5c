#include "prst_generic/sql_query_group.h"

const CPrstClassDef& CPrstSQLQueryGroup::classDef() {
    static const CPrstClassDef def =
        CPrstClassDef("CPrstSQLQueryGroup", "sql_query_group", "sql_query_group")
            .module(NBX_MODULE_TAG)
            .site("CPrstSQLQueryGroup::_set")
            .failure("Failed to set a query group record from text.")
            .field(prst::modTime())
            .field(prst::value<std::string>("name", "NAME").require())
            .field(prst::value<std::string>("description", "DESCRIPTION"))
            .field(prst::domainMemberships());
    return def;
}
