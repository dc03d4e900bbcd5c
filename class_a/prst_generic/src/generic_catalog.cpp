#include "prst_generic/generic_catalog.h"

#include "prst_generic/access_control.h"
#include "prst_generic/capability.h"
#include "prst_generic/device_account.h"
#include "prst_generic/domain.h"
#include "prst_generic/domain_group.h"
#include "prst_generic/key_value.h"
#include "prst_generic/role.h"
#include "prst_generic/sample.h"
#include "prst_generic/snmp_query.h"
#include "prst_generic/snmp_query_group.h"
#include "prst_generic/sql_query.h"
#include "prst_generic/sql_query_group.h"
#include "prst_generic/user_account.h"

// In the generic initializer's order.
void addGenericClasses(CPrstClassCatalog& catalog) {
    catalog.add<CPrstDeviceAccount>();
    catalog.add<CPrstUserAccount>();
    catalog.add<CPrstDomain>();
    catalog.add<CPrstDomainGroup>();
    catalog.add<CPrstDeviceAccessControl>();
    catalog.add<CPrstUserAccessControl>();
    catalog.add<CPrstKeyValue>();
    catalog.add<CPrstSample>();
    catalog.add<CPrstSQLQuery>();
    catalog.add<CPrstSQLQueryGroup>();
    catalog.add<CPrstSNMPQuery>();
    catalog.add<CPrstSNMPQueryGroup>();
    catalog.add<CPrstCapability>();
    catalog.add<CPrstRole>();
}
