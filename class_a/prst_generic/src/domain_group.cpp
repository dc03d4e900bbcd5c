#include "prst_generic/domain_group.h"

const CPrstClassDef& CPrstDomainGroup::classDef() {
    // A group failure reads like a domain's: the group is part of the domain record family.
    static const CPrstClassDef def =
        CPrstClassDef("CPrstDomainGroup", "domain_group", "domain_group")
            .module(NBX_MODULE_TAG)
            .site("CPrstDomainGroup::_set")
            .failure("Failed to set a domain record from text.")
            .field(prst::modTime())
            .field(prst::value<std::string>("name", "NAME").require())
            .field(prst::value<std::string>("description", "DESCRIPTION"))
            .field(prst::domainMemberships());
    return def;
}
