#include "dhcp_database/dhcp_catalog.h"

#include "dhcp_database/replicate_peer.h"
#include "prst_generic/generic_catalog.h"

void addDHCPClasses(CPrstClassCatalog& catalog) {
    addGenericClasses(catalog);
    catalog.add<CPrstReplicatePeer>();
}
