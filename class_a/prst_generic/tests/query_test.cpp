// Rules that name classes and domains, and bad values under each record's failure text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generic_store.h"
#include "oodb_persistence/prst_exception.h"
#include "prst_generic/capability.h"
#include "prst_generic/sql_query.h"
#include "testing/failure.h"

using generictest::failure;
using generictest::site;

namespace {

const char* const kKnown =
    "account,user_account,domain,domain_group,access_control,user_access_control,keyvalue,"
    "sample,sql_query,sql_query_group,snmp_query,snmp_query_group,capability,user_role";

class Queries : public generictest::GenericStore {
protected:
    std::string sqlQuery(const std::string& extra) { return "name=q\ntag=t\n" + extra; }
};

template <class F>
bool refusedAsUnknownClass(F&& call) {
    return nbx::testing::failure<CPrstUnknownClassException>(std::forward<F>(call)).thrown;
}

}  // namespace

TEST_F(Queries, CapabilityTargetsAreKnownClassesTheWildcardOrNothing) {
    struct Case {
        const char* targets;
        bool accepted;
    } cases[] = {
        {"", true},
        {"account, user_role", true},
        {"*,keyvalue", true},
        {"account,,user_role", false},
        {"replicate_peer", false},  // not a class of this registry
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.targets);
        auto capability = make<CPrstCapability>();
        const std::string text =
            std::string("target_class=") + c.targets + "\nrights=3\nrole_id=viewers\n";
        if (c.accepted) {
            EXPECT_EQ(failure([&] { capability->string(text); }), "<no exception>");
            EXPECT_EQ(capability->targetClasses(), c.targets);
            EXPECT_EQ(capability->roleId(), 2u);
        } else {
            EXPECT_EQ(failure([&] { capability->string(text); }),
                      std::string("Failed to set a rights record from text. | Target classes "
                                  "must be a set of '") +
                          kKnown + "', '*' or ''.");
            EXPECT_TRUE(refusedAsUnknownClass([&] { capability->string(text); }));
            EXPECT_EQ(site([&] { capability->string(text); }),
                      "prst_generic CPrstCapability::_set");
        }
    }
    // Without a registry only the wildcard and the empty list pass.
    CPrstCapability detached;
    EXPECT_EQ(failure([&] { detached.string("target_class=*\nrights=1\nrole_id=4\n"); }),
              "<no exception>");
    EXPECT_EQ(failure([&] { detached.string("target_class=account\nrights=1\nrole_id=4\n"); }),
              "Failed to set a rights record from text. | Target classes must be a set of '', "
              "'*' or ''.");
}

TEST_F(Queries, QueryTargetsAreKnownClassNames) {
    struct Case {
        const char* targets;
        const char* bad;  // null: accepted
    } cases[] = {
        {" account,keyvalue ", nullptr},
        {"", nullptr},
        {"*", "*"},
        {"account,", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.targets);
        auto query = make<CPrstSQLQuery>();
        const std::string text = sqlQuery(std::string("target_classes=") + c.targets + "\n");
        if (!c.bad) {
            EXPECT_EQ(failure([&] { query->string(text); }), "<no exception>");
            continue;
        }
        EXPECT_EQ(failure([&] { query->string(text); }),
                  std::string("Failed to set a query record from text. | Illegal target class "
                              "name '") +
                      c.bad + "', should be a comma-delimited list of '" + kKnown +
                      "' class names.");
        EXPECT_TRUE(refusedAsUnknownClass([&] { query->string(text); }));
        EXPECT_EQ(query->targetClasses(), "");
    }
}

TEST_F(Queries, WhereClausesOverrideOnlyTargetClasses) {
    auto query = make<CPrstSQLQuery>();
    query->string(
        sqlQuery("target_classes=account,keyvalue\nwhere_template_account=T.NAME = 'a'\n"
                 "where_template_keyvalue=T.KEY_NAME = 'k'\n"));
    EXPECT_EQ(query->whereTemplates().get("keyvalue"), "T.KEY_NAME = 'k'");
    EXPECT_NE(query->string().find("\nwhere_template_account=T.NAME = 'a'\n"
                                   "where_template_keyvalue=T.KEY_NAME = 'k'\n"),
              std::string::npos);

    struct Case {
        const char* text;
        const char* key;
        const char* available;
    } refused[] = {
        {"where_template=x\n", "where_template", "account,keyvalue"},
        {"target_classes=keyvalue\nwhere_template_account=x\n", "where_template_account",
         "keyvalue"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.text);
        const std::string text = sqlQuery(c.text);
        EXPECT_EQ(failure([&] { query->string(text); }),
                  std::string("Failed to set a query record from text. | Illegal override '") +
                      c.key + "', should be where_template_<class_name>, available class_names = " +
                      c.available + ".");
        EXPECT_EQ(site([&] { query->string(text); }), "prst_generic CPrstSQLQuery::_set");
    }
    // The refused texts left the clauses as they were.
    EXPECT_EQ(query->whereTemplates().string(),
              "account=T.NAME = 'a'\nkeyvalue=T.KEY_NAME = 'k'\n");

    // A text without target classes or clauses leaves the clauses alone; one that carries the
    // target classes replaces them with the clauses it carries.
    query->string(sqlQuery("description=d\n"));
    EXPECT_EQ(query->whereTemplates().size(), 2u);
    query->string(
        sqlQuery("target_classes=account,keyvalue\nwhere_template_account=T.PK = 1\n"
                 "where_template_account=T.PK = 2\n"));
    EXPECT_EQ(query->whereTemplates().string(), "account=T.PK = 1\n");  // the first one counts
    query->string(sqlQuery("target_classes=account\n"));
    EXPECT_TRUE(query->whereTemplates().empty());
    EXPECT_EQ(query->string().find("where_template"), std::string::npos);
}

TEST_F(Queries, RoleCapabilitiesPairADomainWithARight) {
    auto role = make<CPrstRole>();
    role->string("name=r\ncapabilities= lab:read , root : write ,, lab:write\n");
    EXPECT_EQ(role->capabilities(), "lab:read,root : write,lab:write");
    EXPECT_EQ(role->domains(), (std::vector<std::string>{"lab", "root"}));
    for (const char* bad : {":read", "lab:read,x"}) {
        SCOPED_TRACE(bad);
        const std::string entry = std::string(bad).substr(std::string(bad).rfind(',') + 1);
        EXPECT_EQ(failure([&] { role->string(std::string("name=r\ncapabilities=") + bad + "\n"); }),
                  "Failed to set a role record from text. | Invalid value '" + entry +
                      "' for key 'capabilities'.");
    }
    EXPECT_EQ(role->capabilities(), "lab:read,root : write,lab:write");
}

TEST_F(Queries, BadValuesFailUnderTheRecordsTextAndSite) {
    struct Case {
        const char* kind;
        const char* text;
        const char* expected;
        const char* site;
    } cases[] = {
        {"keyvalue", "class=c\nkey=k\nvalue=v\nenabled=maybe\n",
         "Failed to set a key_value record from text. | Invalid value 'maybe' for key 'enabled'.",
         "CPrstKeyValue::_set"},
        {"capability", "target_class=*\nrights=read\nrole_id=operators\n",
         "Failed to set a rights record from text. | Invalid value 'read' for key 'rights'.",
         "CPrstCapability::_set"},
        {"sample", "mod_time=yesterday\n",
         "Failed to set a sample record from text. | Invalid value 'yesterday' for key "
         "'mod_time'.",
         "CPrstSample::_set"},
        {"sql_query_group", "name=g\ndomains=root\n",
         "Cannot deserialize domain name-id from text. | Invalid format 'root'.",
         "CPrstSQLQueryGroup::_set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CPrstObjectPtr object = make(c.kind);
        EXPECT_EQ(failure([&] { object->string(c.text); }), c.expected);
        EXPECT_EQ(site([&] { object->string(c.text); }), std::string("prst_generic ") + c.site);
    }
}
