// The generic record classes as a family: their registration, full texts, required keys,
// storage and resistance to bad texts.

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
    const char* input;   // every key the class writes
    const char* secret;  // a password the text gives back masked; null: none
    void (*commit)(CPrstUserBase&);
};

const Record kRecords[] = {
    {"account", "CPrstDeviceAccount",
     "acl=lab,root\n"
     "class=cable-modem\n"
     "description=Front desk\n"
     "domains=root:1\n"
     "enabled=false\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "name=desk-2\n"
     "oid=11\n"
     "reconfig_time=30\n"
     "reprov_time=60\n"
     "subscriber_id=S-100\n"
     "subscription_id=P-7\n",
     nullptr, commitAs<CPrstDeviceAccount>},
    {"user_account", "CPrstUserAccount",
     "acl=operators,viewers\n"
     "class=staff\n"
     "description=Night shift\n"
     "domains=root:1\n"
     "enabled=true\n"
     "min_create_rights=lab:write,root\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "name=bob\n"
     "oid=12\n"
     "pass=s3cret\n"
     "reconfig_time=0\n"
     "reprov_time=5\n"
     "subscriber_id=\n"
     "subscription_id=\n",
     "s3cret", commitAs<CPrstUserAccount>},
    {"domain", "CPrstDomain",
     "description=Lab servers\n"
     "domains=root:1\n"
     "groups=eng\n"
     "mdata=k=v\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "name=eng\n"
     "oid=13\n"
     "priority=10\n"
     "type=2\n",
     nullptr, commitAs<CPrstDomain>},
    {"domain_group", "CPrstDomainGroup",
     "description=Lab domains\n"
     "domains=root:1\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "name=labs\n"
     "oid=14\n",
     nullptr, commitAs<CPrstDomainGroup>},
    {"access_control", "CPrstDeviceAccessControl",
     "access_id=desk-1\n"
     "domain_id=lab\n"
     "domains=root:1\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=15\n",
     nullptr, commitAs<CPrstDeviceAccessControl>},
    {"user_access_control", "CPrstUserAccessControl",
     "access_id=alice\n"
     "domain_id=viewers\n"
     "domains=root:1\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=16\n",
     nullptr, commitAs<CPrstUserAccessControl>},
    {"keyvalue", "CPrstKeyValue",
     "class=ui\n"
     "domains=root:1\n"
     "enabled=false\n"
     "key=theme\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=17\n"
     "subclass=colors\n"
     "value=dark=blue\n",
     nullptr, commitAs<CPrstKeyValue>},
    {"sample", "CPrstSample",
     "data=1,2,3;x\n"
     "domains=root:1\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=18\n"
     "version=v2\n",
     nullptr, commitAs<CPrstSample>},
    {"sql_query", "CPrstSQLQuery",
     "args=limit=10\n"
     "description=Big accounts\n"
     "domains=root:1\n"
     "groups=reports\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "name=big\n"
     "oid=19\n"
     "tag=report\n"
     "target_classes=account,keyvalue\n"
     "where_template_account=T.NAME = 'x'\n",
     nullptr, commitAs<CPrstSQLQuery>},
    {"sql_query_group", "CPrstSQLQueryGroup",
     "description=Monthly\n"
     "domains=root:1\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "name=reports\n"
     "oid=20\n",
     nullptr, commitAs<CPrstSQLQueryGroup>},
    {"snmp_query", "CPrstSNMPQuery",
     "description=Uptime\n"
     "domains=root:1\n"
     "groups=health\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "name=uptime\n"
     "object_name=sysUpTime\n"
     "oid=21\n"
     "prefix_name=system\n",
     nullptr, commitAs<CPrstSNMPQuery>},
    {"snmp_query_group", "CPrstSNMPQueryGroup",
     "description=Health checks\n"
     "domains=root:1\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "name=health\n"
     "oid=22\n",
     nullptr, commitAs<CPrstSNMPQueryGroup>},
    {"capability", "CPrstCapability",
     "description=Read accounts\n"
     "domains=root:1\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "oid=23\n"
     "rights=1\n"
     "role_id=operators\n"
     "target_class=account,user_role\n",
     nullptr, commitAs<CPrstCapability>},
    {"user_role", "CPrstRole",
     "capabilities=lab:read,root:write\n"
     "domains=root:1\n"
     "groups=ops\n"
     "mod_time=Thu Jan  1 00:00:00 1970\n"
     "name=auditors\n"
     "oid=24\n",
     nullptr, commitAs<CPrstRole>},
};

std::string written(const Record& record) {
    std::string text = record.input;
    if (record.secret) {
        const std::string pass = std::string("pass=") + record.secret + "\n";
        text.replace(text.find(pass), pass.size(), "pass=**********\n");
    }
    return text;
}

class GenericRecords : public generictest::GenericStore {};

}  // namespace

TEST_F(GenericRecords, ClassesRegisterInTheInitializersOrderUnderBothNames) {
    std::vector<std::string> order;
    for (const CIPrstFactory* factory : registry.factories()) {
        order.push_back(factory->className() + "/" + factory->textClassName());
    }
    EXPECT_EQ(
        order,
        (std::vector<std::string>{
            "CPrstDeviceAccount/account", "CPrstUserAccount/user_account", "CPrstDomain/domain",
            "CPrstDomainGroup/domain_group", "CPrstDeviceAccessControl/access_control",
            "CPrstUserAccessControl/user_access_control", "CPrstKeyValue/keyvalue",
            "CPrstSample/sample", "CPrstSQLQuery/sql_query", "CPrstSQLQueryGroup/sql_query_group",
            "CPrstSNMPQuery/snmp_query", "CPrstSNMPQueryGroup/snmp_query_group",
            "CPrstCapability/capability", "CPrstRole/user_role"}));
    for (const Record& record : kRecords) {
        SCOPED_TRACE(record.textClassName);
        EXPECT_EQ(make(record.textClassName)->className(), record.className);
        EXPECT_EQ(registry.create(record.className, nullptr)->textClassName(),
                  record.textClassName);
    }
}

TEST_F(GenericRecords, FullRecordsGiveTheirExactTextAndRoundTripThroughANewObject) {
    for (const Record& record : kRecords) {
        SCOPED_TRACE(record.textClassName);
        CPrstObjectPtr object = make(record.textClassName);
        object->string(record.input);
        const std::string text = object->string();
        EXPECT_EQ(text, written(record));
        CPrstObjectPtr copy = make(record.textClassName);
        copy->string(text);
        EXPECT_EQ(copy->string(), text);
        EXPECT_EQ(copy->oid(), object->oid());
    }
}

TEST_F(GenericRecords, EachRequiredKeyIsRefusedWhenMissing) {
    struct Case {
        const char* textClassName;
        const char* key;
        const char* expected;
        const char* site;
    } cases[] = {
        {"account", "name", "Failed to set an account record from text. | Missing 'name' key.",
         "CPrstAccount::_set"},
        {"account", "class", "Failed to set an account record from text. | Missing 'class' key.",
         "CPrstAccount::_set"},
        {"user_account", "name", "Failed to set an account record from text. | Missing 'name' key.",
         "CPrstUserAccount::_set"},
        {"domain", "name", "Failed to set a domain record from text. | Missing 'name' key.",
         "CPrstDomain::_set"},
        {"domain_group", "name", "Failed to set a domain record from text. | Missing 'name' key.",
         "CPrstDomainGroup::_set"},
        {"access_control", "access_id",
         "Failed to set an access control record from text. | Missing 'access_id' key.",
         "CPrstAccessControl<ACC,DOM>::_set"},
        {"access_control", "domain_id",
         "Failed to set an access control record from text. | Missing 'domain_id' key.",
         "CPrstAccessControl<ACC,DOM>::_set"},
        {"user_access_control", "access_id",
         "Failed to set an access control record from text. | Missing 'access_id' key.",
         "CPrstAccessControl<ACC,DOM>::_set"},
        {"user_access_control", "domain_id",
         "Failed to set an access control record from text. | Missing 'domain_id' key.",
         "CPrstAccessControl<ACC,DOM>::_set"},
        {"keyvalue", "class", "Failed to set a key_value record from text. | Missing 'class' key.",
         "CPrstKeyValue::_set"},
        {"keyvalue", "key", "Failed to set a key_value record from text. | Missing 'key' key.",
         "CPrstKeyValue::_set"},
        {"keyvalue", "value", "Failed to set a key_value record from text. | Missing 'value' key.",
         "CPrstKeyValue::_set"},
        {"sql_query", "name", "Failed to set a query record from text. | Missing 'name' key.",
         "CPrstSQLQuery::_set"},
        {"sql_query", "tag", "Failed to set a query record from text. | Missing 'tag' key.",
         "CPrstSQLQuery::_set"},
        {"sql_query_group", "name",
         "Failed to set a query group record from text. | Missing 'name' key.",
         "CPrstSQLQueryGroup::_set"},
        {"snmp_query", "name", "Failed to set an SMP query record from text. | Missing 'name'.",
         "CPrstSNMPQuery::_set"},
        {"snmp_query_group", "name",
         "Failed to set a SNMP query group record from text. | Missing 'name' key.",
         "CPrstSNMPQueryGroup::_set"},
        {"capability", "target_class",
         "Failed to set a rights record from text. | Missing 'target_classes' key.",
         "CPrstCapability::_set"},
        {"capability", "rights", "Failed to set a rights record from text. | Missing 'rights' key.",
         "CPrstCapability::_set"},
        {"capability", "role_id",
         "Failed to set a rights record from text. | Missing 'role_id' key.",
         "CPrstCapability::_set"},
        {"user_role", "name", "Failed to set a role record from text. | Missing 'name' key.",
         "CPrstRole::_set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.textClassName) + " without " + c.key);
        const Record* record = nullptr;
        for (const Record& r : kRecords) {
            if (r.textClassName == std::string(c.textClassName)) record = &r;
        }
        ASSERT_NE(record, nullptr);
        const std::string text = without(record->input, c.key);
        ASSERT_NE(text, record->input);
        CPrstObjectPtr object = make(c.textClassName);
        EXPECT_EQ(failure([&] { object->string(text); }), c.expected);
        EXPECT_EQ(site([&] { object->string(text); }), std::string("prst_generic ") + c.site);
    }
}

TEST_F(GenericRecords, EveryOtherKeyMayBeLeftOut) {
    const std::vector<std::string> required[] = {
        {"name", "class"},
        {"name"},
        {"name"},
        {"name"},
        {"access_id", "domain_id"},
        {"access_id", "domain_id"},
        {"class", "key", "value"},
        {},
        {"name", "tag"},
        {"name"},
        {"name"},
        {"name"},
        {"target_class", "rights", "role_id"},
        {"name"},
    };
    ASSERT_EQ(std::size(required), std::size(kRecords));
    for (std::size_t i = 0; i < std::size(kRecords); ++i) {
        const Record& record = kRecords[i];
        nbx::CStringMap keys(record.input, "\n");
        for (const auto& entry : keys) {
            if (std::find(required[i].begin(), required[i].end(), entry.first) !=
                required[i].end()) {
                continue;
            }
            SCOPED_TRACE(std::string(record.textClassName) + " without " + entry.first);
            std::string text = without(record.input, entry.first);
            // Keys checked against another go with it: the rights against the roles of the
            // access list, the where clauses against the target classes.
            if (entry.first == "acl") text = without(text, "min_create_rights");
            if (entry.first == "target_classes") text = without(text, "where_template_account");
            CPrstObjectPtr object = make(record.textClassName);
            EXPECT_EQ(failure([&] { object->string(text); }), "<no exception>");
        }
    }
}

TEST_F(GenericRecords, CommittedRecordsReloadWithTheSameText) {
    for (const Record& record : kRecords) {
        SCOPED_TRACE(record.textClassName);
        CPrstObjectPtr object = make(record.textClassName);
        object->string(record.input);
        record.commit(*object);
        EXPECT_NE(object->string(), written(record));  // the commit stamped "mod_time"
        CPrstObjectPtr found = session[record.textClassName].findByOID(0, object->oid());
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->className(), record.className);
        EXPECT_EQ(found->string(), object->string());
    }
    // What the rows hold where the text and the store differ.
    EXPECT_EQ(row("user_account", 12).values.at("PASS"), "s3cret");
    EXPECT_EQ(row("account", 11).values.at("ACL"), "2,1");
    EXPECT_EQ(row("access_control", 15).values.at("ACCESS_ID"), "1");
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
    EXPECT_EQ(declared["user_access_control"], declared["access_control"]);
    EXPECT_EQ(declared["capability"],
              "DESCRIPTION=[__DB_TYPE_STRING__]\nDOMAINS=[__DB_TYPE_STRING__]\n"
              "META_CLASS=[__DB_TYPE_STRING__]\nMOD_TIME=[__DB_TYPE_TIME_STAMP__]\n"
              "RIGHTS=[__DB_TYPE_ACCESS_RIGHTS__]\nROLE_ID=[__DB_TYPE_LONG__]\n"
              "TARGET_CLASSES=[__DB_TYPE_STRING__]\n");
    EXPECT_EQ(declared["sql_query_target_classes"],
              "TARGET_CLASSES=[__DB_TYPE_STRING__]\nWHERE_TEMPLATES=[__DB_TYPE_TEXT_BLOB__]\n");
    EXPECT_EQ(declared["sql_query_arguments"], "ARGS=[__DB_TYPE_TEXT_BLOB__]\n");
    EXPECT_EQ(declared["account"],
              "ACL=[__DB_TYPE_TEXT_BLOB__]\nCLASS=[__DB_TYPE_STRING__]\n"
              "DESCRIPTION=[__DB_TYPE_STRING__]\nDOMAINS=[__DB_TYPE_STRING__]\n"
              "ENABLED=[__DB_TYPE_BOOL__]\nMETA_CLASS=[__DB_TYPE_STRING__]\n"
              "MOD_TIME=[__DB_TYPE_TIME_STAMP__]\nNAME=[__DB_TYPE_STRING__]\n"
              "RECONFIG_TIME=[__DB_TYPE_UINT32__]\nREPROV_TIME=[__DB_TYPE_UINT32__]\n"
              "SUBSCRIBER_ID=[__DB_TYPE_STRING__]\nSUBSCRIPTION_ID=[__DB_TYPE_STRING__]\n");
}

TEST_F(GenericRecords, RandomAndTruncatedTextsOnlyEverThrowExceptionRecords) {
    std::mt19937 random(8201);
    const std::string alphabet = "=:,*-_ \t0123456789abdelmnoprstuwxy'";
    for (const Record& record : kRecords) {
        SCOPED_TRACE(record.textClassName);
        const std::string full = record.input;
        std::vector<std::string> keys;
        for (const auto& entry : nbx::CStringMap(full, "\n")) keys.push_back(entry.first);
        keys.push_back("where_template_keyvalue");
        keys.push_back("where_template_");
        std::size_t accepted = 0;
        std::size_t refused = 0;
        for (int round = 0; round < 800; ++round) {
            std::string text;
            if (round % 4 == 0) {
                text = full.substr(0, random() % (full.size() + 1));
            } else {
                for (const std::string& key : keys) {
                    if (random() % 3 == 0) continue;
                    text += key + "=";
                    const int length = random() % 12;
                    for (int j = 0; j < length; ++j) text += alphabet[random() % alphabet.size()];
                    text += random() % 8 == 0 ? "\n\n" : "\n";
                }
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
                ++accepted;
            } catch (nbx::CException&) {
                ++refused;
            }
        }
        session.context()->setRawIds(false);
        EXPECT_GT(accepted, 0u);
        EXPECT_GT(refused, 0u);
    }
}
