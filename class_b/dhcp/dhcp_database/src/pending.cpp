#include "dhcp_database/pending.h"

#include "oodb_persistence/prst_ref_attr.h"

CPrstClassDef CPrstPending::_declare(const char* className, const char* textClassName,
                                     const char* poolClass) {
    return CPrstClassDef(className, textClassName, textClassName)
        .module(NBX_MODULE_TAG)
        .site("CPrstPending::_set")
        .failure("Cannot set a pending record from text.")
        .field(prst::modTime())
        .field(prst::value<nbx::CTimeT>("offer_time", "OFFER_TIME"))
        .field(prst::reference("source_pool", "POOL_OID", poolClass))
        .field(prst::value<nbx::CIPAddress>("ipaddr", "IPADDR"))
        .field(prst::value<nbx::CIPAddress>("relay", "RELAY"))
        .field(
            prst::value<CPrstDomainMemberships>("domains", "DOMAINS").as(CPrstFieldType::kString));
}

void CPrstPending::_set(const nbx::CStringMap&) {
    _fail(nbx::msg("This operation is not allowed."));
}

const CPrstClassDef& CPrstAddressPending::classDef() {
    static const CPrstClassDef def =
        _declare("CPrstAddressPending", "address_pending", "address_pool");
    return def;
}

const CPrstClassDef& CPrstNetworkPending::classDef() {
    static const CPrstClassDef def =
        _declare("CPrstNetworkPending", "network_pending", "network_pool");
    return def;
}
