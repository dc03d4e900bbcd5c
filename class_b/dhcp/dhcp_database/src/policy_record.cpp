#include "dhcp_database/policy_record.h"

const CPrstClassDef& CPolicyRecord::classDef() {
    static const CPrstClassDef def =
        CPrstClassDef("CPolicyRecord", "policy", "policy")
            .module(NBX_MODULE_TAG)
            .site("CPolicyRecord::_set")
            .failure("Failed to set a policy record from text.")
            .field(prst::modTime())
            .field(prst::value<std::string>("name", "NAME").require())
            .field(prst::value<bool>("enforce", "ENFORCE"))
            .field(prst::value<std::string>("description", "DESCRIPTION"))
            .field(prst::value<CPrstDomainMemberships>("domains", "DOMAINS")
                       .as(CPrstFieldType::kString))
            .field(prst::dhcpOptions());
    return def;
}
