// Pool marks, policies, option and vendor definitions, rules.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../../../../class_a/oodb_persistence/tests/memory_engine.h"
#include "dhcp_database/option_attributes.h"
#include "dhcp_database/policy_record.h"
#include "dhcp_database/pool_mark.h"
#include "dhcp_database/rule.h"
#include "oodb_persistence/prst_db_session.h"
#include "record_test_support.h"

using dhcptest::edited;
using dhcptest::outcome;

namespace {

const char* const kAPoolMarkText =
    "domains=\n"
    "mark=10.1.2.77\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "oid=2\n"
    "pool_oid=12\n";

const char* const kNPoolMarkText =
    "domains=root:1\n"
    "mark=2001:db8:1a0::\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "oid=-2\n"
    "pool_oid=-1\n";

const char* const kPolicyText =
    "description=Phones get the call servers\n"
    "domains=root:1,lab:4\n"
    "enforce=true\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "name=voip\n"
    "oid=6\n"
    "-option-domain-name=\n"
    "option-sip-servers=10.9.9.9\n";

const char* const kOptionText =
    "allowed=pool,policy\n"
    "class=standard\n"
    "context_vendor_id=0\n"
    "default_value=\n"
    "description=Routers on the client's subnet\n"
    "domains=\n"
    "fixed_offsets=0,4\n"
    "input_type_encoding_value=ipaddress-list\n"
    "max_instances=1\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "name=routers\n"
    "oid=3\n"
    "output_type_encoding_value=ipaddress-list\n"
    "tagpath=3\n"
    "type=array(ipaddress)\n"
    "user_definable=required\n"
    "vendor_id=0\n"
    "vendor_oro=false\n";

const char* const kVendorText =
    "allowed=\n"
    "class=vendor\n"
    "context_vendor_id=4491\n"
    "default_value=acme\n"
    "description=\n"
    "domains=\n"
    "fixed_offsets=\n"
    "input_type_encoding_value=\n"
    "max_instances=0\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "name=acme-config-file\n"
    "oid=8\n"
    "output_type_encoding_value=\n"
    "tagpath=125/4491/1\n"
    "type=string\n"
    "user_definable=disallowed\n"
    "vendor_id=4491\n"
    "vendor_oro=true\n";

const char* const kRuleText =
    "condition=(and (eq (option 60) \"acme\") (not (known)))\n"
    "description=New acme devices\n"
    "domains=\n"
    "domains_result=lab\n"
    "mod_time=Thu Jan  1 00:00:00 1970\n"
    "oid=15\n"
    "persist=true\n"
    "pri=20\n"
    "roles_result=provisioning\n";

struct Kind {
    const char* name;  // class name
    const char* text;  // a full record
};

const Kind kKinds[] = {
    {"CPrstAPoolMark", kAPoolMarkText},     {"CPrstNPoolMark", kNPoolMarkText},
    {"CPolicyRecord", kPolicyText},         {"CPrstOptionAttributes", kOptionText},
    {"CPrstVendorAttributes", kVendorText}, {"CPrstRule", kRuleText},
};

// Each class commits through its own first-class layer.
void commit(CPrstUserBase& object) {
    const CAccessToken& token = CFullAccessToken::instance();
    if (auto* mark = dynamic_cast<CPrstPoolMark*>(&object)) return mark->commit(0, token);
    if (auto* policy = dynamic_cast<CPolicyRecord*>(&object)) return policy->commit(0, token);
    if (auto* option = dynamic_cast<CPrstOptionAttributes*>(&object))
        return option->commit(0, token);
    dynamic_cast<CPrstRule&>(object).commit(0, token);
}

class RecordsTest : public ::testing::Test {
protected:
    CPrstObjectPtr make(const char* className) { return server.createClass(className); }
    dhcptest::CDHCPRegistry server{4};
};

}  // namespace

TEST_F(RecordsTest, FullRecordsAreWrittenExactlyAndRoundTrip) {
    for (bool json : {false, true}) {
        server.context->setJsonOptions(json);
        for (const Kind& kind : kKinds) {
            SCOPED_TRACE(std::string(kind.name) + (json ? " json" : " lines"));
            CPrstObjectPtr original = make(kind.name);
            server.context->setJsonOptions(false);  // the texts carry option lines
            original->string(kind.text);
            EXPECT_EQ(original->string(), kind.text);
            server.context->setJsonOptions(json);

            const std::string written = original->string();
            CPrstObjectPtr copy = make(kind.name);
            copy->string(written);
            EXPECT_EQ(copy->string(), written);
        }
    }
    server.context->setJsonOptions(false);
    CPrstObjectPtr policy = make("CPolicyRecord");
    policy->string(kPolicyText);
    server.context->setJsonOptions(true);
    EXPECT_EQ(policy->string(), edited(kPolicyText,
                                       {{"options",
                                         "[[\"-option-domain-name\",\"\"],"
                                         "[\"option-sip-servers\",\"10.9.9.9\"]]"}},
                                       {"-option-domain-name", "option-sip-servers"}));
}

TEST_F(RecordsTest, MissingRequiredKeysGiveTheirReasons) {
    struct Case {
        const char* className;
        std::string text;
        std::string expected;
        const char* site;
    } cases[] = {
        {"CPrstAPoolMark", edited(kAPoolMarkText, {}, {"pool_oid"}),
         "Cannot set apool mark record from text. | Missing 'pool_oid' key.",
         "CPrstAPoolMark::_set"},
        {"CPrstAPoolMark", edited(kAPoolMarkText, {}, {"mark"}),
         "Cannot set apool mark record from text. | Missing 'mark' key.", "CPrstAPoolMark::_set"},
        {"CPrstNPoolMark", edited(kNPoolMarkText, {}, {"mark"}),
         "Cannot set apool mark record from text. | Missing 'mark' key.", "CPrstNPoolMark::_set"},
        {"CPolicyRecord", edited(kPolicyText, {}, {"name"}),
         "Failed to set a policy record from text. | Missing 'name' key.", "CPolicyRecord::_set"},
        {"CPrstRule", edited(kRuleText, {}, {"condition"}),
         "Failed to set a rule record from text. | Missing 'condition' key.", "CPrstRule::_set"},
        {"CPrstOptionAttributes", edited(kOptionText, {}, {"name"}),
         "Failed to set an option record from text. | An option type definition must include a "
         "'name' setting.",
         "CPrstOptionAttributes::_set"},
        {"CPrstOptionAttributes", edited(kOptionText, {}, {"type"}),
         "Failed to set an option record from text. | An option type definition must include a "
         "'type' setting.",
         "CPrstOptionAttributes::_set"},
        {"CPrstOptionAttributes", edited(kOptionText, {}, {"tagpath"}),
         "Failed to set an option record from text. | An option type definition must include a "
         "'tagpath' setting.",
         "CPrstOptionAttributes::_set"},
        // A blank setting is no setting.
        {"CPrstOptionAttributes", edited(kOptionText, {{"type", ""}}),
         "Failed to set an option record from text. | An option type definition must include a "
         "'type' setting.",
         "CPrstOptionAttributes::_set"},
        {"CPrstVendorAttributes", edited(kVendorText, {}, {"tagpath"}),
         "Failed to set a vendor class record from text. | An option type definition must "
         "include a 'tagpath' setting.",
         "CPrstVendorAttributes::_set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstObjectPtr object = make(c.className);
        dhcptest::Outcome f = outcome([&] { object->string(c.text); });
        EXPECT_EQ(f.text, c.expected);
        EXPECT_EQ(f.site, std::string("dhcp_database ") + c.site);
    }
}

TEST_F(RecordsTest, OptionDefinitionsRefuseDataOfTheWrongKind) {
    const std::string invalid = "Invalid data for option routers. | Invalid option attribute data.";
    struct Case {
        const char* className;
        std::string text;
        std::string expected;
    } cases[] = {
        {"CPrstOptionAttributes", edited(kOptionText, {{"max_instances", "many"}}), invalid},
        {"CPrstOptionAttributes", edited(kOptionText, {{"vendor_id", "12abc"}}), invalid},
        {"CPrstOptionAttributes", edited(kOptionText, {{"context_vendor_id", "4294967296"}}),
         invalid},
        {"CPrstOptionAttributes", edited(kOptionText, {{"vendor_oro", "perhaps"}}), invalid},
        {"CPrstOptionAttributes", edited(kOptionText, {{"fixed_offsets", "0,,4"}}), invalid},
        {"CPrstOptionAttributes", edited(kOptionText, {{"fixed_offsets", "0,four"}}), invalid},
        {"CPrstVendorAttributes", edited(kVendorText, {{"vendor_id", "acme"}}),
         "Invalid data for option acme-config-file. | Invalid option attribute data."},
        {"CPrstOptionAttributes", edited(kOptionText, {{"user_definable", "sometimes"}}),
         "Cannot deserialize 'user_definable' value 'sometimes'. | Illegal value."},
        {"CPrstOptionAttributes", edited(kOptionText, {{"user_definable", "Allowed"}}),
         "Cannot deserialize 'user_definable' value 'Allowed'. | Illegal value."},
        {"CPrstVendorAttributes", edited(kVendorText, {{"user_definable", ""}}),
         "Cannot deserialize 'user_definable' value ''. | Illegal value."},
        {"CPrstOptionAttributes", edited(kOptionText, {{"user_definable", "allowed"}}),
         "<no exception>"},
        {"CPrstOptionAttributes", edited(kOptionText, {{"fixed_offsets", " 1, 2 "}}),
         "<no exception>"},
        // The 32-bit setter's own form of 4294967295.
        {"CPrstOptionAttributes", edited(kOptionText, {{"vendor_id", "-1"}}), "<no exception>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstObjectPtr object = make(c.className);
        EXPECT_EQ(outcome([&] { object->string(c.text); }).text, c.expected);
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

TEST_F(RecordsTest, MarksAreAPlaceInThePool) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"pool_oid=1\nmark=\n",
         "Cannot set apool mark record from text. | Invalid value '' for key 'mark'."},
        {"pool_oid=1\nmark=10.1\n",
         "Cannot set apool mark record from text. | Invalid value '10.1' for key 'mark'."},
        {"pool_oid=one\nmark=10.0.0.1\n",
         "Cannot set apool mark record from text. | Invalid value 'one' for key 'pool_oid'."},
        {"pool_oid=1\nmark=::\n", "<no exception>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstObjectPtr object = make("CPrstAPoolMark");
        EXPECT_EQ(outcome([&] { object->string(c.text); }).text, c.expected);
    }
}

TEST_F(RecordsTest, RuleConditionsAreKeptAsWritten) {
    CPrstObjectPtr rule = make("CPrstRule");
    const std::string condition = "(or (eq (relay) 10.0.0.1)  (eq x \"a=b\"))";
    rule->string("condition=" + condition + "\n");
    EXPECT_EQ(dynamic_cast<CPrstRule&>(*rule).condition(), condition);
    EXPECT_EQ(rule->string().substr(0, 11 + condition.size()), "condition=" + condition + "\n");
}

TEST_F(RecordsTest, RecordsAreStoredInTheirTablesAndReloaded) {
    memdb::CMemoryEngine engine;
    CPrstDBSession session(server.registry, server.context);
    session.open([&](const std::string& name) { return engine.lookup(name); });

    struct Stored {
        const char* className;
        const char* table;
        const char* column;  // a column to look at
        const char* value;   // its stored form
    } expectations[] = {
        {"CPrstAPoolMark", "address_pool_mark", "POOL_OID", "12"},
        {"CPrstNPoolMark", "network_pool_mark", "POOL_OID", "4294967295"},
        {"CPolicyRecord", "policy", "OPTIONS",
         "[[\"-option-domain-name\",\"\"],[\"option-sip-servers\",\"10.9.9.9\"]]"},
        {"CPrstOptionAttributes", "option", "FIXED_OFFSETS", "0,4"},
        {"CPrstVendorAttributes", "vendor_class", "VENDOR_ORO", "1"},
        {"CPrstRule", "rule", "CONDITION", "(and (eq (option 60) \"acme\") (not (known)))"},
    };
    for (std::size_t i = 0; i < std::size(kKinds); ++i) {
        const Stored& expected = expectations[i];
        SCOPED_TRACE(expected.className);
        const CIPrstFactory& factory = server.registry.factory(expected.className);
        CPrstObjectPtr object = session[factory.textClassName()].newObject(&factory);
        object->string(edited(kKinds[i].text, {}, {"oid"}));
        commit(*object);
        const CDBRecord& row = engine.memory().rows(expected.table).at(object->oid());
        EXPECT_EQ(row.values.at(expected.column), expected.value);
        EXPECT_EQ(row.values.at("META_CLASS"), std::string(expected.className) + "[simple]");

        CPrstObjectPtr found = session[factory.textClassName()].findByOID(0, object->oid());
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->className(), expected.className);
        EXPECT_EQ(found->string(), object->string());
    }
}
