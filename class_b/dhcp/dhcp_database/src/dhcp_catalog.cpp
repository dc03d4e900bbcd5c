#include "dhcp_database/dhcp_catalog.h"

#include "dhcp_database/address_pool.h"
#include "dhcp_database/network_pool.h"
#include "dhcp_database/option_attributes.h"
#include "dhcp_database/policy_record.h"
#include "dhcp_database/pool_mark.h"
#include "dhcp_database/replicate_peer.h"
#include "dhcp_database/rule.h"
#include "dhcp_database/vendor_attributes.h"
#include "prst_generic/generic_catalog.h"

void addDHCPClasses(CPrstClassCatalog& catalog) {
    addGenericClasses(catalog);
    catalog.add<CPrstReplicatePeer>();

    // Pools and their marks, policies, option and vendor definitions, rules.
    catalog.add("CPrstAddressPool",
                [](CIPrstAbstractFactory& registry, bool byTextName, unsigned family) {
                    if (family == 6) {
                        registry.registerClass<CPrstAddressPool6>(byTextName);
                    } else {
                        registry.registerClass<CPrstAddressPool4>(byTextName);
                    }
                });
    catalog.add<CPrstNetworkPool>();
    catalog.add<CPrstAPoolMark>();
    catalog.add<CPrstNPoolMark>();
    catalog.add<CPolicyRecord>();
    catalog.add<CPrstOptionAttributes>();
    catalog.add<CPrstVendorAttributes>();
    catalog.add<CPrstRule>();
}
