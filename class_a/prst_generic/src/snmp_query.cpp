#include "prst_generic/snmp_query.h"

const CPrstClassDef& CPrstSNMPQuery::classDef() {
    // The record's own texts: "SMP" in its failure and a missing name without "key".
    static const CPrstClassDef def =
        CPrstClassDef("CPrstSNMPQuery", "snmp_query", "snmp_query")
            .module(NBX_MODULE_TAG)
            .site("CPrstSNMPQuery::_set")
            .failure("Failed to set an SMP query record from text.")
            .field(prst::modTime())
            .field(prst::value<std::string>("name", "NAME").requireReason("Missing 'name'."))
            .field(prst::value<std::string>("description", "DESCRIPTION"))
            .field(prst::value<std::string>("prefix_name", "PREFIX_NAME"))
            .field(prst::value<std::string>("object_name", "OBJECT_NAME"))
            .field(prst::value<std::string>("groups", "GROUPS"))
            .field(prst::domainMemberships());
    return def;
}
