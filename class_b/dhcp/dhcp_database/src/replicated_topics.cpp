#include "dhcp_database/replicated_topics.h"

#include <algorithm>

const std::vector<std::string>& replicatedTopics() {
    static const std::vector<std::string> kTopics = {
        "account",
        "user_account",
        "domain",
        "domain_group",
        "option",
        "vendor_class",
        "address_binding",
        "network_binding",
        "policy",
        "address_pool",
        "network_pool",
        "access_control",
        "user_access_control",
        "keyvalue",
        "historical_packet",
        "sql_query",
        "sql_query_group",
        "snmp_query",
        "snmp_query_group",
        "capability",
        "user_role",
        "rule",
    };
    return kTopics;
}

bool isReplicatedTopic(const std::string& topic) {
    const auto& topics = replicatedTopics();
    return std::find(topics.begin(), topics.end(), topic) != topics.end();
}
