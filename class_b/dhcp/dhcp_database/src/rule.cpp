#include "dhcp_database/rule.h"

const CPrstClassDef& CPrstRule::classDef() {
    using S = std::string;
    static const CPrstClassDef def =
        CPrstClassDef("CPrstRule", "rule", "rule")
            .module(NBX_MODULE_TAG)
            .site("CPrstRule::_set")
            .failure("Failed to set a rule record from text.")
            .field(prst::modTime())
            .field(prst::value<S>("condition", "CONDITION").as(CPrstFieldType::kExpr).require())
            .field(prst::value<S>("description", "DESCRIPTION"))
            .field(prst::value<S>("domains_result", "DOMAINS_RESULT"))
            .field(prst::value<S>("roles_result", "ROLES_RESULT"))
            .field(prst::value<std::uint32_t>("pri", "PRI"))
            .field(prst::value<bool>("persist", "PERSIST"))
            .field(prst::value<CPrstDomainMemberships>("domains", "DOMAINS")
                       .as(CPrstFieldType::kString));
    return def;
}
