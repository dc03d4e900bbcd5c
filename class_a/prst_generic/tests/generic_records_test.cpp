// The generic record classes as a family: registration, texts, required keys, storage.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "generic_store.h"
#include "prst_generic/access_control.h"
#include "prst_generic/capability.h"
#include "prst_generic/domain_group.h"
#include "prst_generic/key_value.h"
#include "prst_generic/sample.h"
#include "prst_generic/snmp_query.h"
#include "prst_generic/snmp_query_group.h"
#include "prst_generic/sql_query.h"
#include "prst_generic/sql_query_group.h"

using generictest::failure;
using generictest::site;
using generictest::without;

namespace {

template <class T>
void commitAs(CPrstUserBase& object) {
    static_cast<T&>(object).commit(0, CFullAccessToken::instance());
}

struct Record {
    const char* textClassName;
    const char* className;
    const char* input;    // every key the class writes
    const char* failure;  // the message of its failures to read a text
    const char* site;
    void (*commit)(CPrstUserBase&);
};

const Record kRecords[] = {
    {"account", "CPrstDeviceAccount",
     "acl=lab,root\nclass=cable-modem\ndescription=Front desk\ndomains=root:1\nenabled=false\n"
     "mod_time=Thu Jan  1 00:00:00 1970\nname=desk-2\noid=11\nreconfig_time=30\n"
     "reprov_time=60\nsubscriber_id=S-100\nsubscription_id=P-7\n",
     "Failed to set an account record from text.", "CPrstAccount::_set",
     commitAs<CPrstDeviceAccount>},
    {"user_account", "CPrstUserAccount",
     "acl=operators,viewers\nclass=staff\ndescription=Night shift\ndomains=root:1\n"
     "enabled=true\nmin_create_rights=lab:write,root\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "name=bob\noid=12\npass=s3cret\nreconfig_time=0\nreprov_time=5\nsubscriber_id=\n"
     "subscription_id=\n",
     "Failed to set an account record from text.", "CPrstUserAccount::_set",
     commitAs<CPrstUserAccount>},
    {"domain", "CPrstDomain",
     "description=Lab servers\ndomains=root:1,lab:-7\ngroups=eng\nmdata=k=v\n"
     "mod_time=Thu Jan  1 00:00:00 1970\nname=eng\noid=13\npriority=10\ntype=2\n",
     "Failed to set a domain record from text.", "CPrstDomain::_set", commitAs<CPrstDomain>},
    {"domain_group", "CPrstDomainGroup",
     "description=Lab domains\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\nname=labs\n"
     "oid=14\n",
     "Failed to set a domain record from text.", "CPrstDomainGroup::_set",
     commitAs<CPrstDomainGroup>},
    {"access_control", "CPrstDeviceAccessControl",
     "access_id=desk-1\ndomain_id=lab\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=15\n",
     "Failed to set an access control record from text.", "CPrstAccessControl<ACC,DOM>::_set",
     commitAs<CPrstDeviceAccessControl>},
    {"user_access_control", "CPrstUserAccessControl",
     "access_id=alice\ndomain_id=viewers\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=16\n",
     "Failed to set an access control record from text.", "CPrstAccessControl<ACC,DOM>::_set",
     commitAs<CPrstUserAccessControl>},
    {"keyvalue", "CPrstKeyValue",
     "class=ui\ndomains=root:1\nenabled=false\nkey=theme\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=17\nsubclass=colors\nvalue=dark=blue\n",
     "Failed to set a key_value record from text.", "CPrstKeyValue::_set", commitAs<CPrstKeyValue>},
    {"sample", "CPrstSample",
     "data=1,2,3;x\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\noid=18\nversion=v2\n",
     "Failed to set a sample record from text.", "CPrstSample::_set", commitAs<CPrstSample>},
    {"sql_query", "CPrstSQLQuery",
     "args=limit=10\ndescription=Big accounts\ndomains=root:1\ngroups=reports\n"
     "mod_time=Thu Jan  1 00:00:00 1970\nname=big\noid=19\ntag=report\n"
     "target_classes=account,keyvalue\nwhere_template_account=T.NAME = 'x'\n",
     "Failed to set a query record from text.", "CPrstSQLQuery::_set", commitAs<CPrstSQLQuery>},
    {"sql_query_group", "CPrstSQLQueryGroup",
     "description=Monthly\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\nname=reports\n"
     "oid=20\n",
     "Failed to set a query group record from text.", "CPrstSQLQueryGroup::_set",
     commitAs<CPrstSQLQueryGroup>},
    {"snmp_query", "CPrstSNMPQuery",
     "description=Uptime\ndomains=root:1\ngroups=health\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "name=uptime\nobject_name=sysUpTime\noid=21\nprefix_name=system\n",
     "Failed to set an SMP query record from text.", "CPrstSNMPQuery::_set",
     commitAs<CPrstSNMPQuery>},
    {"snmp_query_group", "CPrstSNMPQueryGroup",
     "description=Health checks\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\n"
     "name=health\noid=22\n",
     "Failed to set a SNMP query group record from text.", "CPrstSNMPQueryGroup::_set",
     commitAs<CPrstSNMPQueryGroup>},
    {"capability", "CPrstCapability",
     "description=Read accounts\ndomains=root:1\nmod_time=Thu Jan  1 00:00:00 1970\noid=23\n"
     "rights=1\nrole_id=operators\ntarget_class=account,user_role\n",
     "Failed to set a rights record from text.", "CPrstCapability::_set",
     commitAs<CPrstCapability>},
    {"user_role", "CPrstRole",
     "capabilities=lab:read,root:write\ndomains=root:1\ngroups=ops\n"
     "mod_time=Thu Jan  1 00:00:00 1970\nname=auditors\noid=24\n",
     "Failed to set a role record from text.", "CPrstRole::_set", commitAs<CPrstRole>},
};

// The required keys: the record in kRecords, the key and the reason of its absence.
struct Required {
    std::size_t record;
    const char* key;
    const char* reason;
};
const Required kRequired[] = {
    {0, "name", "Missing 'name' key."},
    {0, "class", "Missing 'class' key."},
    {1, "name", "Missing 'name' key."},
    {2, "name", "Missing 'name' key."},
    {3, "name", "Missing 'name' key."},
    {4, "access_id", "Missing 'access_id' key."},
    {4, "domain_id", "Missing 'domain_id' key."},
    {5, "access_id", "Missing 'access_id' key."},
    {5, "domain_id", "Missing 'domain_id' key."},
    {6, "class", "Missing 'class' key."},
    {6, "key", "Missing 'key' key."},
    {6, "value", "Missing 'value' key."},
    {8, "name", "Missing 'name' key."},
    {8, "tag", "Missing 'tag' key."},
    {9, "name", "Missing 'name' key."},
    {10, "name", "Missing 'name'."},
    {11, "name", "Missing 'name' key."},
    {12, "target_class", "Missing 'target_classes' key."},
    {12, "rights", "Missing 'rights' key."},
    {12, "role_id", "Missing 'role_id' key."},
    {13, "name", "Missing 'name' key."},
};

class GenericRecords : public generictest::GenericStore {};

}  // namespace

TEST_F(GenericRecords, ClassesRegisterInTheInitializersOrderUnderBothNames) {
    std::vector<std::string> order;
    for (const CIPrstFactory* factory : registry.factories()) order.push_back(factory->className());
    std::vector<std::string> expected;
    for (const Record& record : kRecords) {
        SCOPED_TRACE(record.textClassName);
        expected.push_back(record.className);
        EXPECT_EQ(make(record.textClassName)->className(), record.className);
        EXPECT_EQ(registry.create(record.className, nullptr)->textClassName(),
                  record.textClassName);
    }
    EXPECT_EQ(order, expected);
}

TEST_F(GenericRecords, EachRequiredKeyIsRefusedWhenMissingAndEveryOtherMayBeLeftOut) {
    for (const Required& c : kRequired) {
        const Record& record = kRecords[c.record];
        SCOPED_TRACE(std::string(record.textClassName) + " without " + c.key);
        const std::string text = without(record.input, c.key);
        ASSERT_NE(text, record.input);
        CPrstObjectPtr object = make(record.textClassName);
        EXPECT_EQ(failure([&] { object->string(text); }),
                  std::string(record.failure) + " | " + c.reason);
        EXPECT_EQ(site([&] { object->string(text); }), std::string("prst_generic ") + record.site);
    }
    for (std::size_t i = 0; i < std::size(kRecords); ++i) {
        for (const auto& entry : nbx::CStringMap(kRecords[i].input, "\n")) {
            bool required = false;
            for (const Required& c : kRequired) required |= c.record == i && entry.first == c.key;
            if (required) continue;
            SCOPED_TRACE(std::string(kRecords[i].textClassName) + " without " + entry.first);
            std::string text = without(kRecords[i].input, entry.first);
            // Keys checked against another go with it: the rights against the roles of the
            // access list, the where clauses against the target classes.
            if (entry.first == "acl") text = without(text, "min_create_rights");
            if (entry.first == "target_classes") text = without(text, "where_template_account");
            CPrstObjectPtr object = make(kRecords[i].textClassName);
            EXPECT_EQ(failure([&] { object->string(text); }), "<no exception>");
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
        std::string expected = record.input;  // the password is given back masked
        if (expected.find("pass=s3cret") != std::string::npos)
            expected.replace(expected.find("pass=s3cret"), 11, "pass=**********");
        EXPECT_EQ(object->string(), expected);
        record.commit(*object);
        EXPECT_EQ(object->string().find("mod_time=Thu Jan  1 00:00:00 1970"), std::string::npos);
        CPrstObjectPtr found = session[record.textClassName].findByOID(0, object->oid());
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->string(), object->string());
    }
    EXPECT_EQ(row("user_account", 12).values.at("PASS"), "s3cret");
    // What the rows hold where the text and the store differ.
    EXPECT_EQ(row("account", 11).values.at("ACL"), "2,1");
    EXPECT_EQ(row("user_access_control", 16).values.at("DOMAIN_ID"), "2");
    EXPECT_EQ(row("capability", 23).values.at("ROLE_ID"), "1");
    EXPECT_EQ(row("sql_query", 19).values.at("META_CLASS"), "CPrstSQLQuery[complex]");
    EXPECT_EQ(row("sql_query_arguments", 19).values.at("ARGS"), "limit=10");
    EXPECT_EQ(row("sql_query_target_classes", 19).values.at("TARGET_CLASSES"), "account,keyvalue");
    EXPECT_EQ(row("sql_query_target_classes", 19).values.at("WHERE_TEMPLATES"),
              "account=T.NAME = 'x'\n");
}

TEST_F(GenericRecords, TablesDeclareTheirColumnsWithTheirFieldTypes) {
    std::map<std::string, std::string> declared;
    for (const CDBTableDef& table : engine.opened) declared[table.name] = table.columns.string();
    EXPECT_EQ(declared["access_control"],
              "ACCESS_ID=[__DB_TYPE_ACCESS_ID__]\nDOMAINS=[__DB_TYPE_STRING__]\n"
              "DOMAIN_ID=[__DB_TYPE_DOMAIN_ID__]\nMETA_CLASS=[__DB_TYPE_STRING__]\n"
              "MOD_TIME=[__DB_TYPE_TIME_STAMP__]\n");
    EXPECT_EQ(declared["sql_query_target_classes"],
              "TARGET_CLASSES=[__DB_TYPE_STRING__]\nWHERE_TEMPLATES=[__DB_TYPE_TEXT_BLOB__]\n");
    const char* const columns[][3] = {
        {"capability", "RIGHTS", "[__DB_TYPE_ACCESS_RIGHTS__]"},
        {"capability", "ROLE_ID", "[__DB_TYPE_LONG__]"},
        {"account", "REPROV_TIME", "[__DB_TYPE_UINT32__]"},
        {"account", "PASS", ""},  // a user account's own
    };
    for (const auto& column : columns) {
        SCOPED_TRACE(std::string(column[0]) + "." + column[1]);
        EXPECT_EQ(nbx::CStringMap(declared[column[0]], "\n").get(column[1]), column[2]);
    }
}

TEST_F(GenericRecords, RandomAndTruncatedTextsOnlyEverThrowExceptionRecords) {
    std::mt19937 random(8201);
    const std::string alphabet = "=:,*-_ 0123456789abdelmnorstuy'";
    for (const Record& record : kRecords) {
        SCOPED_TRACE(record.textClassName);
        const std::string full = record.input;
        std::vector<std::string> keys{"where_template_keyvalue"};
        for (const auto& entry : nbx::CStringMap(full, "\n")) keys.push_back(entry.first);
        for (int round = 0; round < 60; ++round) {
            std::string text = full.substr(0, random() % (full.size() + 1));
            for (const std::string& key : keys) {
                if (round % 2 == 0 || random() % 3 == 0) continue;
                text += key + "=";
                for (int n = random() % 10; n > 0; --n)
                    text += alphabet[random() % alphabet.size()];
                text += "\n";
            }
            session.context()->setRawIds(round % 5 == 4);
            CPrstObjectPtr object = make(record.textClassName);
            try {
                object->string(text);
                // What was accepted reads back to the same text.
                const std::string written = object->string();
                CPrstObjectPtr copy = make(record.textClassName);
                copy->string(written);
                EXPECT_EQ(copy->string(), written) << "from:\n" << text;
            } catch (nbx::CException&) {
            }
        }
        session.context()->setRawIds(false);
    }
}
