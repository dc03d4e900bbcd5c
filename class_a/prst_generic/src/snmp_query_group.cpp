#include "prst_generic/snmp_query_group.h"

const CPrstClassDef& CPrstSNMPQueryGroup::classDef() {
    static const CPrstClassDef def =
        CPrstClassDef("CPrstSNMPQueryGroup", "snmp_query_group", "snmp_query_group")
            .module(NBX_MODULE_TAG)
            .site("CPrstSNMPQueryGroup::_set")
            .failure("Failed to set a SNMP query group record from text.")
            .field(prst::modTime())
            .field(prst::value<std::string>("name", "NAME").require())
            .field(prst::value<std::string>("description", "DESCRIPTION"))
            .field(prst::domainMemberships());
    return def;
}
