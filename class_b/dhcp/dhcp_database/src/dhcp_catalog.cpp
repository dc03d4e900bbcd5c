#include "dhcp_database/dhcp_catalog.h"

#include "dhcp_database/address_binding.h"
#include "dhcp_database/address_pool.h"
#include "dhcp_database/f_binding.h"
#include "dhcp_database/failover_peer.h"
#include "dhcp_database/network_binding.h"
#include "dhcp_database/network_pool.h"
#include "dhcp_database/option_attributes.h"
#include "dhcp_database/pending.h"
#include "dhcp_database/pkt.h"
#include "dhcp_database/policy_record.h"
#include "dhcp_database/pool_mark.h"
#include "dhcp_database/replicate_peer.h"
#include "dhcp_database/rule.h"
#include "dhcp_database/vendor_attributes.h"
#include "prst_generic/generic_catalog.h"

namespace {

// A class with address-family variants registers the variant of the protocol instance's family.
template <class V4, class V6>
void addFamily(CPrstClassCatalog& catalog, const char* className) {
    catalog.add(className, [](CIPrstAbstractFactory& registry, bool byTextName, unsigned family) {
        if (family == 6) {
            registry.registerClass<V6>(byTextName);
        } else {
            registry.registerClass<V4>(byTextName);
        }
    });
}

}  // namespace

// In the order of the DHCP initializer's class list.
void addDHCPClasses(CPrstClassCatalog& catalog) {
    addGenericClasses(catalog);
    catalog.add<CPrstPkt>();
    catalog.add<CPolicyRecord>();
    catalog.add<CPrstOptionAttributes>();
    catalog.add<CPrstVendorAttributes>();
    addFamily<CPrstAddressPool4, CPrstAddressPool6>(catalog, "CPrstAddressPool");
    catalog.add<CPrstNetworkPool>();
    addFamily<CPrstAddressBinding4, CPrstAddressBinding6>(catalog, "CPrstAddressBinding");
    addFamily<CPrstNetworkBinding, CPrstNetworkBinding6>(catalog, "CPrstNetworkBinding");
    catalog.add<CPrstAddressPending>();
    catalog.add<CPrstNetworkPending>();
    catalog.add<CPrstRule>();
    catalog.add<CPrstReplicatePeer>();
    catalog.add<CPrstFailoverPeer>();
    catalog.add<CPrstAPoolMark>();
    catalog.add<CPrstNPoolMark>();
    addFamily<CPrstFAddressBinding4, CPrstFAddressBinding6>(catalog, "CPrstFAddressBinding");
    addFamily<CPrstFNetworkBinding, CPrstFNetworkBinding6>(catalog, "CPrstFNetworkBinding");
}
