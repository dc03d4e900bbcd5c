// Pool marks, policies, option and vendor definitions, rules.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dhcp_database/option_attributes.h"
#include "dhcp_database/policy_record.h"
#include "dhcp_database/pool_mark.h"
#include "dhcp_database/rule.h"
#include "record_test_support.h"

using dhcptest::edited;
using dhcptest::outcome;

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
    CPrstObjectPtr policy = make("CPolicyRecord");
    policy->string(kPolicyText);
    server.context->setJsonOptions(true);
    EXPECT_EQ(policy->string(), edited(kPolicyText,
                                       "--option-domain-name;-option-sip-servers;options="
                                       "[[\"-option-domain-name\",\"\"],"
                                       "[\"option-sip-servers\",\"10.9.9.9\"]]"));
}

TEST_F(RecordsTest, MissingKeysAndBadValuesGiveTheirReasons) {
    // The failure of kKinds[kind] to read a text, for `reason`.
    auto fail = [](std::size_t kind, const std::string& reason) {
        return std::string(kKinds[kind].failure) + " | " + reason;
    };
    const std::string option = "An option type definition must include a ";
    const std::string invalid = "Invalid data for option routers. | Invalid option attribute data.";
    const std::string illegal = "Cannot deserialize 'user_definable' value ";
    struct Case {
        std::size_t kind;  // in kKinds
        std::string text;
        std::string expected;  // "message | reason"; empty: accepted
    } cases[] = {
        {0, edited(kAPoolMarkText, "-pool_oid"), fail(0, "Missing 'pool_oid' key.")},
        {0, edited(kAPoolMarkText, "-mark"), fail(0, "Missing 'mark' key.")},
        {2, edited(kPolicyText, "-name"), fail(2, "Missing 'name' key.")},
        {5, edited(kRuleText, "-condition"), fail(5, "Missing 'condition' key.")},
        {3, edited(kOptionText, "-name"), fail(3, option + "'name' setting.")},
        {3, edited(kOptionText, "-type"), fail(3, option + "'type' setting.")},
        {3, edited(kOptionText, "-tagpath"), fail(3, option + "'tagpath' setting.")},
        {4, edited(kVendorText, "-tagpath"), fail(4, option + "'tagpath' setting.")},
        // A mark is a place in the pool.
        {0, "pool_oid=1\nmark=\n", fail(0, "Invalid value '' for key 'mark'.")},
        // Option definitions refuse data of the wrong kind under the definition's name.
        {3, edited(kOptionText, "max_instances=many"), invalid},
        {4, edited(kVendorText, "vendor_id=acme"),
         "Invalid data for option acme-config-file. | Invalid option attribute data."},
        {3, edited(kOptionText, "user_definable=sometimes"),
         illegal + "'sometimes'. | Illegal value."},
        {3, edited(kOptionText, "vendor_id=-1"), ""},  // the 32-bit setter's 4294967295
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstObjectPtr object = make(kKinds[c.kind].name);
        const dhcptest::Outcome f = outcome([&] { object->string(c.text); });
        EXPECT_EQ(f.text, c.expected.empty() ? "<no exception>" : c.expected);
        if (c.expected.rfind(kKinds[c.kind].failure, 0) == 0) {
            EXPECT_EQ(f.site, std::string("dhcp_database ") + kKinds[c.kind].name + "::_set");
        }
    }
    // An absent "user_definable" is "allowed".
    CPrstObjectPtr fresh = make("CPrstOptionAttributes");
    fresh->string("name=ntp\ntype=ipaddress\ntagpath=42\n");
    EXPECT_NE(fresh->string().find("\nuser_definable=allowed\n"), std::string::npos);
}

TEST_F(RecordsTest, OptionTextThatIsNotUtf8IsRefused) {
    // The options are stored as JSON text, which holds UTF-8 only: such a record could be read
    // but never committed nor written in the JSON form.
    CPrstObjectPtr policy = make("CPolicyRecord");
    EXPECT_EQ(outcome([&] { policy->string("name=a\noption-x=\xff\xfe\n"); }).text,
              "Failed to set a policy record from text. | Line 1 is not UTF-8 text.");
    policy->string("name=a\noption-x=caf\xc3\xa9\n");
    server.context->setJsonOptions(true);
    EXPECT_EQ(policy->string(),
              "description=\ndomains=\nenforce=false\nmod_time=Thu Jan  1 "
              "00:00:00 1970\nname=a\noid=-1\noptions=[[\"option-x\",\"caf\xc3\xa9\"]]\n");
}

TEST_F(RecordsTest, RuleConditionsAreKeptAsWritten) {
    CPrstObjectPtr rule = make("CPrstRule");
    const std::string condition = "(or (eq (relay) 10.0.0.1)  (eq x \"a=b\"))";
    rule->string("condition=" + condition + "\n");
    EXPECT_EQ(dynamic_cast<CPrstRule&>(*rule).condition(), condition);
    EXPECT_EQ(rule->string().substr(0, 11 + condition.size()), "condition=" + condition + "\n");
}
