// The generic record classes as a family: texts, required keys, storage; the domain memberships
// text.

#include <gtest/gtest.h>

#include <string>

#include "generic_store.h"

using generictest::edited;
using generictest::thrown;

namespace {

struct Record {
    const char* textClassName;
    const char* className;
    const char* input;     // every key the class writes
    const char* required;  // the keys it cannot do without, joined by ','
    const char* failure;   // "message | " and " @ module function" of its failures to read text
    const char* site;
};

const Record kRecords[] = {
    {"account", "CPrstDeviceAccount",
     "acl=lab,root\nclass=cable-modem\ndescription=Front desk\ndomains=root:1\nenabled=false\n"
     "mod_time=Thu Jan  1 00:00:00 1970\nname=desk-2\noid=11\nreconfig_time=30\n"
     "reprov_time=60\nsubscriber_id=S-100\nsubscription_id=P-7\n",
     "name,class", "Failed to set an account record from text.", "CPrstAccount::_set"},
    {"user_account", "CPrstUserAccount",
     "acl=operators,viewers\nclass=staff\ndescription=Night shift\ndomains=root:1\n"
     "enabled=true\nmin_create_rights=lab:write,root\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "name=bob\noid=12\npass=s3cret\nreconfig_time=0\nreprov_time=5\nsubscriber_id=\n"
     "subscription_id=\n",
     "name", "Failed to set an account record from text.", "CPrstUserAccount::_set"},
    {"domain", "CPrstDomain",
     "description=Lab servers\ndomains=root:1,lab:-7\ngroups=eng\nmdata=k=v\n"
     "mod_time=Thu Jan  1 00:00:00 1970\nname=eng\noid=13\npriority=10\ntype=2\n",
     "name", "Failed to set a domain record from text.", "CPrstDomain::_set"},
    {"domain_group", "CPrstDomainGroup",
     "description=Lab domains\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\nname=labs\n"
     "oid=14\n",
     "name", "Failed to set a domain record from text.", "CPrstDomainGroup::_set"},
    {"access_control", "CPrstDeviceAccessControl",
     "access_id=desk-1\ndomain_id=lab\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=15\n",
     "access_id,domain_id", "Failed to set an access control record from text.",
     "CPrstAccessControl<ACC,DOM>::_set"},
    {"user_access_control", "CPrstUserAccessControl",
     "access_id=alice\ndomain_id=viewers\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=16\n",
     "access_id,domain_id", "Failed to set an access control record from text.",
     "CPrstAccessControl<ACC,DOM>::_set"},
    {"keyvalue", "CPrstKeyValue",
     "class=ui\ndomains=root:1\nenabled=false\nkey=theme\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=17\nsubclass=colors\nvalue=dark=blue\n",
     "class,key,value", "Failed to set a key_value record from text.", "CPrstKeyValue::_set"},
    {"sample", "CPrstSample",
     "data=1,2,3;x\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\noid=18\nversion=v2\n", "",
     "Failed to set a sample record from text.", "CPrstSample::_set"},
    {"sql_query", "CPrstSQLQuery",
     "args=limit=10\ndescription=Big accounts\ndomains=root:1\ngroups=reports\n"
     "mod_time=Thu Jan  1 00:00:00 1970\nname=big\noid=19\ntag=report\n"
     "target_classes=account,keyvalue\nwhere_template_account=T.NAME = 'x'\n",
     "name,tag", "Failed to set a query record from text.", "CPrstSQLQuery::_set"},
    {"sql_query_group", "CPrstSQLQueryGroup",
     "description=Monthly\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\nname=reports\n"
     "oid=20\n",
     "name", "Failed to set a query group record from text.", "CPrstSQLQueryGroup::_set"},
    {"snmp_query", "CPrstSNMPQuery",
     "description=Uptime\ndomains=root:1\ngroups=health\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "name=uptime\nobject_name=sysUpTime\noid=21\nprefix_name=system\n",
     "name", "Failed to set an SMP query record from text.", "CPrstSNMPQuery::_set"},
    {"snmp_query_group", "CPrstSNMPQueryGroup",
     "description=Health checks\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "name=health\noid=22\n",
     "name", "Failed to set a SNMP query group record from text.", "CPrstSNMPQueryGroup::_set"},
    {"capability", "CPrstCapability",
     "description=Read accounts\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\noid=23\n"
     "rights=1\nrole_id=operators\ntarget_class=account,user_role\n",
     "target_class,rights,role_id", "Failed to set a rights record from text.",
     "CPrstCapability::_set"},
    {"user_role", "CPrstRole",
     "capabilities=lab:read,root:write\ndomains=root:1\ngroups=ops\n"
     "mod_time=Thu Jan  1 00:00:00 1970\nname=auditors\noid=24\n",
     "name", "Failed to set a role record from text.", "CPrstRole::_set"},
};

// How `record` reports that `reason` stopped it.
std::string failed(const Record& record, const std::string& reason) {
    return std::string(record.failure) + " | " + reason + " @ prst_generic " + record.site;
}

class GenericRecords : public generictest::GenericStore {};

}  // namespace

TEST_F(GenericRecords, EachRequiredKeyIsRefusedWhenMissingAndEveryOtherMayBeLeftOut) {
    for (const Record& record : kRecords) {
        const std::string required = std::string(",") + record.required + ",";
        for (const auto& entry : nbx::CStringMap(record.input, "\n")) {
            const std::string& key = entry.first;
            SCOPED_TRACE(std::string(record.textClassName) + " without " + key);
            // Keys checked against another go with it: the rights against the roles of the
            // access list, the where clauses against the target classes.
            std::string text = edited(record.input, "-" + key);
            if (key == "acl") text = edited(text, "-min_create_rights");
            if (key == "target_classes") text = edited(text, "-where_template_account");
            // The capability reports its target classes by their plural, the SNMP query its
            // name without "key".
            std::string reason = "<no exception>";
            if (required.find("," + key + ",") != std::string::npos) {
                reason = key == "target_class" ? "Missing 'target_classes' key."
                         : record.className == std::string("CPrstSNMPQuery")
                             ? "Missing 'name'."
                             : "Missing '" + key + "' key.";
                reason = failed(record, reason);
            }
            EXPECT_EQ(thrown([&] { make(record.textClassName)->string(text); }), reason);
        }
    }
    // A key-value entry is enabled unless its text turns it off.
    CPrstObjectPtr keyValue = make("keyvalue");
    keyValue->string("class=c\nkey=k\nvalue=v\n");
    EXPECT_NE(keyValue->string().find("\nenabled=true\n"), std::string::npos);
}

TEST_F(GenericRecords, FullRecordsGiveTheirExactTextAndReloadWithItOnceCommitted) {
    for (const Record& record : kRecords) {
        SCOPED_TRACE(record.textClassName);
        CPrstObjectPtr object = make(record.textClassName);
        object->string(record.input);
        const bool user = record.className == std::string("CPrstUserAccount");
        EXPECT_EQ(object->string(), edited(record.input, user ? "pass=**********" : ""));
        object->commitObject(0);
        EXPECT_EQ(object->string().find("mod_time=Thu Jan  1 00:00:00 1970"), std::string::npos);
        CPrstObjectPtr found = session[record.textClassName].findByOID(0, object->oid());
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->string(), object->string());
    }
    // What the rows hold where the text and the store differ.
    EXPECT_EQ(row("user_account", 12).values.at("PASS"), "s3cret");
    EXPECT_EQ(row("account", 11).values.at("ACL"), "2,1");
    EXPECT_EQ(row("user_access_control", 16).values.at("DOMAIN_ID"), "2");
    EXPECT_EQ(row("capability", 23).values.at("ROLE_ID"), "1");
    EXPECT_EQ(row("sql_query", 19).values.at("META_CLASS"), "CPrstSQLQuery[complex]");
    EXPECT_EQ(row("sql_query_arguments", 19).values.at("ARGS"), "limit=10");
    EXPECT_EQ(row("sql_query_target_classes", 19).values.at("TARGET_CLASSES"), "account,keyvalue");
    EXPECT_EQ(row("sql_query_target_classes", 19).values.at("WHERE_TEMPLATES"),
              "account=T.NAME = 'x'\n");
}

TEST_F(GenericRecords, BadValuesFailUnderTheRecordsTextAndSite) {
    const struct {
        std::size_t record;  // in kRecords
        const char* text;
        const char* reason;
    } cases[] = {
        {6, "class=c\nkey=k\nvalue=v\nenabled=maybe\n", "Invalid value 'maybe' for key 'enabled'."},
        {12, "target_class=*\nrights=read\nrole_id=viewers\n",
         "Invalid value 'read' for key 'rights'."},
        {7, "mod_time=yesterday\n", "Invalid value 'yesterday' for key 'mod_time'."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(thrown([&] { make(kRecords[c.record].textClassName)->string(c.text); }),
                  failed(kRecords[c.record], c.reason));
    }
    EXPECT_EQ(thrown([&] { make("sql_query_group")->string("name=g\ndomains=root\n"); }),
              "Cannot deserialize domain name-id from text. | Invalid format 'root'. @ "
              "prst_generic CPrstSQLQueryGroup::_set");
}

TEST(DomainMemberships, MembersAreNameColonIdJoinedByCommasAndBlanksAreSkipped) {
    CPrstDomainNameID member;
    member.string("eng:42");
    EXPECT_EQ(member.name(), "eng");
    EXPECT_EQ(member.domainId(), 42);
    EXPECT_EQ(CPrstDomainNameID("a", -2147483647 - 1).string(), "a:-2147483648");
    for (const char* text : {"eng", "eng:x", "eng:2147483648", "a:b:1"}) {
        CPrstDomainNameID kept("kept", 3);
        EXPECT_EQ(thrown([&] { kept.string(text); }),
                  std::string("Cannot deserialize domain name-id from text. | Invalid format '") +
                      text + "'. @ prst_generic CPrstDomainNameID::string");
        EXPECT_EQ(kept.string(), "kept:3");
    }

    CPrstDomainMemberships domains;
    EXPECT_TRUE(domains.string(" root:1 , ,lab:2,"));
    EXPECT_EQ(domains.members().size(), 2u);
    EXPECT_EQ(domains.string(), "root:1,lab:2");
    EXPECT_EQ(thrown([&] { domains.string("root:1,broken"); }, false),
              "Cannot deserialize domain name-id from text. | Invalid format 'broken'.");
    EXPECT_EQ(domains.string(), "root:1,lab:2");  // unchanged by the failure
    domains.string("");
    EXPECT_TRUE(domains.empty());
}
