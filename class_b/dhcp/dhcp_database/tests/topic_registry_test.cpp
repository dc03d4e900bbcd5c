// Every topic that the receiver replicates names a class that the registry of a DHCP server
// creates, for both protocol families.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/replicated_topics.h"
#include "oodb_persistence/prst_initializer.h"

TEST(TopicRegistry, EveryReplicatedTopicCreatesAnObjectOfItsClass) {
    // In the receiver's order, with the class of each family where they differ.
    const struct {
        const char* topic;
        std::string v4, v6 = v4;
    } topics[] = {
        {"account", "CPrstDeviceAccount"},
        {"user_account", "CPrstUserAccount"},
        {"domain", "CPrstDomain"},
        {"domain_group", "CPrstDomainGroup"},
        {"option", "CPrstOptionAttributes"},
        {"vendor_class", "CPrstVendorAttributes"},
        {"address_binding", "CPrstAddressBinding4", "CPrstAddressBinding6"},
        {"network_binding", "CPrstNetworkBinding", "CPrstNetworkBinding6"},
        {"policy", "CPolicyRecord"},
        {"address_pool", "CPrstAddressPool4", "CPrstAddressPool6"},
        {"network_pool", "CPrstNetworkPool"},
        {"access_control", "CPrstDeviceAccessControl"},
        {"user_access_control", "CPrstUserAccessControl"},
        {"keyvalue", "CPrstKeyValue"},
        {"historical_packet", "CPrstPkt"},
        {"sql_query", "CPrstSQLQuery"},
        {"sql_query_group", "CPrstSQLQueryGroup"},
        {"snmp_query", "CPrstSNMPQuery"},
        {"snmp_query_group", "CPrstSNMPQueryGroup"},
        {"capability", "CPrstCapability"},
        {"user_role", "CPrstRole"},
        {"rule", "CPrstRule"},
    };
    std::vector<std::string> names;
    for (const auto& topic : topics) {
        names.push_back(topic.topic);
        EXPECT_TRUE(isReplicatedTopic(topic.topic)) << topic.topic;
    }
    EXPECT_EQ(replicatedTopics(), names);
    EXPECT_FALSE(isReplicatedTopic("replicate_peer"));
    for (unsigned family : {4u, 6u}) {
        CPrstClassCatalog catalog;
        addDHCPClasses(catalog);
        CIPrstAbstractFactory registry;
        CPrstDHCPInitializer().init({&registry, &catalog, {}, family});
        for (const auto& topic : topics) {
            SCOPED_TRACE(std::string(topic.topic) + " for IPv" + std::to_string(family));
            CPrstObjectPtr object = registry.createByTextName(topic.topic, nullptr);
            ASSERT_NE(object, nullptr);
            EXPECT_EQ(object->className(), family == 4 ? topic.v4 : topic.v6);
            EXPECT_EQ(object->textClassName(), topic.topic);
        }
    }
}
