#include "dhcp_database/dhcp_catalog.h"

#include "dhcp_database/address_binding.h"
#include "dhcp_database/f_binding.h"
#include "dhcp_database/failover_peer.h"
#include "dhcp_database/network_binding.h"
#include "dhcp_database/pending.h"
#include "dhcp_database/pkt.h"
#include "dhcp_database/replicate_peer.h"
#include "prst_generic/generic_catalog.h"

namespace {

// A binding class registers the variant of the protocol instance's family.
template <class V4, class V6>
void addBindingFamily(CPrstClassCatalog& catalog, const char* className) {
    catalog.add(className, [](CIPrstAbstractFactory& registry, bool byTextName, unsigned family) {
        if (family == 6) {
            registry.registerClass<V6>(byTextName);
        } else {
            registry.registerClass<V4>(byTextName);
        }
    });
}

}  // namespace

void addDHCPClasses(CPrstClassCatalog& catalog) {
    addGenericClasses(catalog);
    catalog.add<CPrstReplicatePeer>();
    // Bindings, pendings, failover records and packets.
    catalog.add<CPrstPkt>();
    addBindingFamily<CPrstAddressBinding4, CPrstAddressBinding6>(catalog, "CPrstAddressBinding");
    addBindingFamily<CPrstNetworkBinding, CPrstNetworkBinding6>(catalog, "CPrstNetworkBinding");
    catalog.add<CPrstAddressPending>();
    catalog.add<CPrstNetworkPending>();
    catalog.add<CPrstFailoverPeer>();
    addBindingFamily<CPrstFAddressBinding4, CPrstFAddressBinding6>(catalog, "CPrstFAddressBinding");
    addBindingFamily<CPrstFNetworkBinding, CPrstFNetworkBinding6>(catalog, "CPrstFNetworkBinding");
}
