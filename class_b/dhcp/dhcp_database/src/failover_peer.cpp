#include "dhcp_database/failover_peer.h"

const CPrstClassDef& CPrstFailoverPeer::classDef() {
    using S = std::string;
    using U = std::uint32_t;
    static const CPrstClassDef def =
        CPrstClassDef("CPrstFailoverPeer", "failover_peer", "failover_peer")
            .module(NBX_MODULE_TAG)
            .site("CPrstFailoverPeer::_set")
            .failure("Unable to set failover peer object.")
            .field(prst::modTime())
            .field(prst::value<S>("description", "DESCRIPTION"))
            .field(prst::value<U>("session_id", "SESSION_ID")
                       .requireReason("Missing session ID number"))
            .field(prst::value<S>("role", "ROLE").requireReason("Missing failover role"))
            .field(prst::value<S>("target", "TARGET").requireReason("Missing target value"))
            .field(prst::value<bool>("enabled", "ENABLED", true))
            .field(prst::value<U>("mclt", "MCLT"))
            .field(prst::value<U>("partner_down_disconnect_timeout",
                                  "PARTNER_DOWN_DISCONNECT_TIMEOUT"))
            .field(prst::value<U>("partner_down_initial_connect_attempts",
                                  "PARTNER_DOWN_INITIAL_CONNECT_ATTEMPTS"))
            .field(prst::value<U>("backup_percentage", "BACKUP_PERCENTAGE"))
            .field(prst::value<CPrstDomainMemberships>("domains", "DOMAINS")
                       .as(CPrstFieldType::kString));
    return def;
}
