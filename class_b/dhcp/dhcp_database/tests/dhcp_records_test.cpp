// Pool marks, policies, option and vendor definitions, rules; the options of a record in either
// text form; the classes of the replicated topics.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dhcp_database/option_attributes.h"
#include "dhcp_database/policy_record.h"
#include "dhcp_database/pool_mark.h"
#include "dhcp_database/prst_dhcp_options.h"
#include "dhcp_database/replicated_topics.h"
#include "dhcp_database/rule.h"
#include "record_test_support.h"

using dhcptest::edited;
using dhcptest::thrown;

namespace {

const char* const kAPoolMarkText =
    "domains=\nmark=10.1.2.77\nmod_time=Thu Jan  1 00:00:00 1970\noid=2\npool_oid=12\n";
const char* const kNPoolMarkText =
    "domains=root:1\nmark=2001:db8:1a0::\nmod_time=Thu Jan  1 00:00:00 1970\noid=-2\n"
    "pool_oid=-1\n";
const char* const kPolicyText =
    "description=Phones get the call servers\ndomains=root:1,lab:4\nenforce=true\n"
    "mod_time=Thu Jan  1 00:00:00 1970\nname=voip\noid=6\n-option-domain-name=\n"
    "option-sip-servers=10.9.9.9\n";
const char* const kOptionText =
    "allowed=pool,policy\nclass=standard\ncontext_vendor_id=0\ndefault_value=\n"
    "description=Routers on the client's subnet\ndomains=\nfixed_offsets=0,4\n"
    "input_type_encoding_value=ipaddress-list\nmax_instances=1\n"
    "mod_time=Thu Jan  1 00:00:00 1970\nname=routers\noid=3\n"
    "output_type_encoding_value=ipaddress-list\ntagpath=3\ntype=array(ipaddress)\n"
    "user_definable=required\nvendor_id=0\nvendor_oro=false\n";
const char* const kVendorText =
    "allowed=\nclass=vendor\ncontext_vendor_id=4491\ndefault_value=acme\ndescription=\n"
    "domains=\nfixed_offsets=\ninput_type_encoding_value=\nmax_instances=0\n"
    "mod_time=Thu Jan  1 00:00:00 1970\nname=acme-config-file\noid=8\n"
    "output_type_encoding_value=\ntagpath=125/4491/1\ntype=string\n"
    "user_definable=disallowed\nvendor_id=4491\nvendor_oro=true\n";
const char* const kRuleText =
    "condition=(and (eq (option 60) \"acme\") (not (known)))\ndescription=New acme devices\n"
    "domains=\ndomains_result=lab\nmod_time=Thu Jan  1 00:00:00 1970\noid=15\npersist=true\n"
    "pri=20\nroles_result=provisioning\n";

struct Kind {
    const char* name;     // class name
    const char* text;     // a full record
    const char* failure;  // the message of its failures to read a text
    const char* column;   // a column of the stored record, and its value
    const char* value;
};

const Kind kKinds[] = {
    {"CPrstAPoolMark", kAPoolMarkText, "Cannot set apool mark record from text.", "POOL_OID", "12"},
    {"CPrstNPoolMark", kNPoolMarkText, "Cannot set apool mark record from text.", "POOL_OID",
     "4294967295"},
    {"CPolicyRecord", kPolicyText, "Failed to set a policy record from text.", "OPTIONS",
     "[[\"-option-domain-name\",\"\"],[\"option-sip-servers\",\"10.9.9.9\"]]"},
    {"CPrstOptionAttributes", kOptionText, "Failed to set an option record from text.",
     "FIXED_OFFSETS", "0,4"},
    {"CPrstVendorAttributes", kVendorText, "Failed to set a vendor class record from text.",
     "VENDOR_ORO", "1"},
    {"CPrstRule", kRuleText, "Failed to set a rule record from text.", "CONDITION",
     "(and (eq (option 60) \"acme\") (not (known)))"},
};

class RecordsTest : public ::testing::Test {
protected:
    CPrstObjectPtr make(const char* className) { return server.createClass(className); }
    dhcptest::CDHCPRegistry server{4};
};

}  // namespace

TEST_F(RecordsTest, FullRecordsAreWrittenExactlyRoundTripAndAreStoredAndReloaded) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(dhcptest::roundTrip(server.registry, server.context, kind.name, kind.text),
                  kind.text);
        CPrstObjectPtr object = make(kind.name);
        object->string(kind.text);
        EXPECT_EQ(dhcptest::stored(server.engine, server.session, *object).values.at(kind.column),
                  kind.value);
    }
}

TEST_F(RecordsTest, EachOptionModeReadsAndWritesOnlyItsOwnFormOfTheOptions) {
    CPrstObjectPtr policy = make("CPolicyRecord");
    policy->string(kPolicyText);
    server.context->setJsonOptions(true);
    const std::string json = policy->string();
    EXPECT_EQ(json,
              edited(kPolicyText,
                     "--option-domain-name;-option-sip-servers;options="
                     "[[\"-option-domain-name\",\"\"],[\"option-sip-servers\",\"10.9.9.9\"]]"));
    CPrstObjectPtr copy = make("CPolicyRecord");
    copy->string(json + "option-time-offset=3600\n");  // lines are not read in this mode
    EXPECT_EQ(copy->string(), json);
    EXPECT_EQ(thrown([&] { copy->string("name=a\noptions={\"x\":1}\n"); }),
              "Failed to set a policy record from text. | The text is not a JSON array. @ "
              "dhcp_database CPolicyRecord::_set");
    server.context->setJsonOptions(false);
    copy->string(json);  // and the JSON entry is not read in line mode
    EXPECT_EQ(copy->string().find("option-"), std::string::npos);

    // The options are stored as JSON text, which holds UTF-8 only.
    EXPECT_EQ(thrown([&] { policy->string("name=a\noption-x=\xff\xfe\n"); }, false),
              "Failed to set a policy record from text. | Line 1 is not UTF-8 text.");
    policy->string("name=a\noption-x=caf\xc3\xa9\n");
    server.context->setJsonOptions(true);
    EXPECT_NE(policy->string().find("\noptions=[[\"option-x\",\"caf\xc3\xa9\"]]\n"),
              std::string::npos);
}

TEST_F(RecordsTest, MissingKeysAndBadValuesGiveTheirReasons) {
    // The failure of kKinds[kind] to read a text, for `reason`.
    auto fail = [](std::size_t kind, const std::string& reason) {
        return std::string(kKinds[kind].failure) + " | " + reason + " @ dhcp_database " +
               kKinds[kind].name + "::_set";
    };
    const std::string option = "An option type definition must include a ";
    const std::string at = " @ dhcp_database CPrstOptionAttributes::_set";
    struct Case {
        std::size_t kind;  // in kKinds
        std::string text;
        std::string expected;
    } cases[] = {
        {0, edited(kAPoolMarkText, "-pool_oid"), fail(0, "Missing 'pool_oid' key.")},
        {2, edited(kPolicyText, "-name"), fail(2, "Missing 'name' key.")},
        {5, edited(kRuleText, "-condition"), fail(5, "Missing 'condition' key.")},
        {3, edited(kOptionText, "-name"), fail(3, option + "'name' setting.")},
        {4, edited(kVendorText, "-tagpath"), fail(4, option + "'tagpath' setting.")},
        // A mark is a place in the pool.
        {0, "pool_oid=1\nmark=\n", fail(0, "Invalid value '' for key 'mark'.")},
        // Option definitions refuse data of the wrong kind under the definition's name.
        {3, edited(kOptionText, "max_instances=many"),
         "Invalid data for option routers. | Invalid option attribute data." + at},
        {3, edited(kOptionText, "user_definable=sometimes"),
         "Cannot deserialize 'user_definable' value 'sometimes'. | Illegal value." + at},
        {3, edited(kOptionText, "vendor_id=-1"), "<no exception>"},  // the setter's 4294967295
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstObjectPtr object = make(kKinds[c.kind].name);
        EXPECT_EQ(thrown([&] { object->string(c.text); }), c.expected);
    }
    // An absent "user_definable" is "allowed".
    CPrstObjectPtr fresh = make("CPrstOptionAttributes");
    fresh->string("name=ntp\ntype=ipaddress\ntagpath=42\n");
    EXPECT_NE(fresh->string().find("\nuser_definable=allowed\n"), std::string::npos);
}

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
        dhcptest::CDHCPRegistry server(family);
        for (const auto& topic : topics) {
            SCOPED_TRACE(std::string(topic.topic) + " for IPv" + std::to_string(family));
            CPrstObjectPtr object = server.create(topic.topic);
            ASSERT_NE(object, nullptr);
            EXPECT_EQ(object->className(), family == 4 ? topic.v4 : topic.v6);
            EXPECT_EQ(object->textClassName(), topic.topic);
        }
    }
}
