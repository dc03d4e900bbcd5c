// Every topic that the receiver replicates names a class that the registry of a DHCP server
// creates, for both protocol families.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dhcp_database/address_binding.h"
#include "dhcp_database/address_pool.h"
#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/network_binding.h"
#include "dhcp_database/network_pool.h"
#include "dhcp_database/option_attributes.h"
#include "dhcp_database/pkt.h"
#include "dhcp_database/policy_record.h"
#include "dhcp_database/rule.h"
#include "dhcp_database/vendor_attributes.h"
#include "oodb_persistence/prst_initializer.h"
#include "prst_generic/access_control.h"
#include "prst_generic/capability.h"
#include "prst_generic/device_account.h"
#include "prst_generic/domain.h"
#include "prst_generic/domain_group.h"
#include "prst_generic/key_value.h"
#include "prst_generic/role.h"
#include "prst_generic/snmp_query.h"
#include "prst_generic/snmp_query_group.h"
#include "prst_generic/sql_query.h"
#include "prst_generic/sql_query_group.h"
#include "prst_generic/user_account.h"

namespace {

template <class T>
bool is(CPrstUserBase* object) {
    return dynamic_cast<T*>(object) != nullptr;
}

struct Topic {
    const char* name;
    std::function<bool(CPrstUserBase*)> isRightClass;
};

// In the receiver's order.
const Topic kTopics[] = {
    {"account", is<CPrstDeviceAccount>},
    {"user_account", is<CPrstUserAccount>},
    {"domain", is<CPrstDomain>},
    {"domain_group", is<CPrstDomainGroup>},
    {"option", is<CPrstOptionAttributes>},
    {"vendor_class", is<CPrstVendorAttributes>},
    {"address_binding", is<CPrstAddressBinding>},
    {"network_binding", is<CPrstNetworkBinding>},
    {"policy", is<CPolicyRecord>},
    {"address_pool", is<CPrstAddressPool>},
    {"network_pool", is<CPrstNetworkPool>},
    {"access_control", is<CPrstDeviceAccessControl>},
    {"user_access_control", is<CPrstUserAccessControl>},
    {"keyvalue", is<CPrstKeyValue>},
    {"historical_packet", is<CPrstPkt>},
    {"sql_query", is<CPrstSQLQuery>},
    {"sql_query_group", is<CPrstSQLQueryGroup>},
    {"snmp_query", is<CPrstSNMPQuery>},
    {"snmp_query_group", is<CPrstSNMPQueryGroup>},
    {"capability", is<CPrstCapability>},
    {"user_role", is<CPrstRole>},
    {"rule", is<CPrstRule>},
};

}  // namespace

TEST(TopicRegistry, EveryReplicatedTopicCreatesAnObjectOfItsClass) {
    for (unsigned family : {4u, 6u}) {
        CPrstClassCatalog catalog;
        addDHCPClasses(catalog);
        CIPrstAbstractFactory registry;
        CPrstDHCPInitializer().init({&registry, &catalog, {}, family});
        for (const Topic& topic : kTopics) {
            SCOPED_TRACE(std::string(topic.name) + " for IPv" + std::to_string(family));
            EXPECT_TRUE(registry.knowsTextClassName(topic.name));
            CPrstObjectPtr object = registry.createByTextName(topic.name, nullptr);
            ASSERT_NE(object, nullptr);
            EXPECT_TRUE(topic.isRightClass(object.get())) << object->className();
            EXPECT_EQ(object->textClassName(), topic.name);
        }
    }
}
