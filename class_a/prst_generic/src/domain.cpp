#include "prst_generic/domain.h"

const CPrstClassDef& CPrstDomain::classDef() {
    static const CPrstClassDef def =
        CPrstClassDef("CPrstDomain", "domain", "domain")
            .module(NBX_MODULE_TAG)
            .site("CPrstDomain::_set")
            .failure("Failed to set a domain record from text.")
            .field(prst::modTime())
            .field(prst::value<std::uint32_t>("priority", "PRIORITY"))
            .field(prst::value<std::string>("name", "NAME").require())
            .field(prst::value<std::string>("description", "DESCRIPTION"))
            .field(prst::value<std::string>("mdata", "MDATA").as(CPrstFieldType::kTextBlob))
            .field(prst::value<std::uint32_t>("type", "TYPE"))
            .field(prst::value<std::string>("groups", "GROUPS"))
            .field(prst::domainMemberships());
    return def;
}
