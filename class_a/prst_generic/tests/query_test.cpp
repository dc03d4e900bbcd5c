// Rules that name classes and domains: capability and query targets, where clauses, roles.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generic_store.h"
#include "oodb_persistence/prst_exception.h"
#include "prst_generic/capability.h"
#include "prst_generic/sql_query.h"

using generictest::thrown;

namespace {

const std::string kKnown =
    "account,user_account,domain,domain_group,access_control,user_access_control,keyvalue,"
    "sample,sql_query,sql_query_group,snmp_query,snmp_query_group,capability,user_role";

class Queries : public generictest::GenericStore {};

template <class F>
bool refusedAsUnknownClass(F&& call) {
    return nbx::testing::failure<CPrstUnknownClassException>(std::forward<F>(call)).thrown;
}

}  // namespace

TEST_F(Queries, CapabilityTargetsAreKnownClassesTheWildcardOrNothing) {
    const std::string refused =
        "Failed to set a rights record from text. | Target classes must be a set of '" + kKnown +
        "', '*' or ''. @ prst_generic CPrstCapability::_set";
    const std::pair<const char*, bool> cases[] = {{"", true},
                                                  {"account, user_role", true},
                                                  {"*,keyvalue", true},
                                                  {"account,,user_role", false},
                                                  {"replicate_peer", false}};  // not known here
    for (const auto& [targets, accepted] : cases) {
        SCOPED_TRACE(targets);
        auto capability = make<CPrstCapability>();
        const std::string text =
            std::string("target_class=") + targets + "\nrights=3\nrole_id=viewers\n";
        EXPECT_EQ(thrown([&] { capability->string(text); }), accepted ? "<no exception>" : refused);
        if (accepted) {
            EXPECT_EQ(capability->targetClasses(), targets);
            EXPECT_EQ(capability->roleId(), 2u);
        } else {
            EXPECT_TRUE(refusedAsUnknownClass([&] { capability->string(text); }));
        }
    }
    // Without a registry only the wildcard and the empty list pass.
    CPrstCapability detached;
    EXPECT_EQ(thrown([&] { detached.string("target_class=*\nrights=1\nrole_id=4\n"); }),
              "<no exception>");
    EXPECT_EQ(
        thrown([&] { detached.string("target_class=account\nrights=1\nrole_id=4\n"); }, false),
        "Failed to set a rights record from text. | Target classes must be a set of '', "
        "'*' or ''.");
}

TEST_F(Queries, QueryTargetsAreKnownClassNames) {
    const std::pair<const char*, const char*> cases[] = {
        {" account,keyvalue ", nullptr}, {"", nullptr}, {"*", "*"}, {"account,", ""}};
    for (const auto& [targets, bad] : cases) {
        SCOPED_TRACE(targets);
        auto query = make<CPrstSQLQuery>();
        const std::string text = std::string("name=q\ntag=t\ntarget_classes=") + targets + "\n";
        EXPECT_EQ(thrown([&] { query->string(text); }, false),
                  !bad ? "<no exception>"
                       : std::string("Failed to set a query record from text. | Illegal target "
                                     "class name '") +
                             bad + "', should be a comma-delimited list of '" + kKnown +
                             "' class names.");
        if (!bad) continue;
        EXPECT_TRUE(refusedAsUnknownClass([&] { query->string(text); }));
        EXPECT_EQ(query->targetClasses(), "");
    }
}

TEST_F(Queries, WhereClausesOverrideOnlyTargetClasses) {
    auto query = make<CPrstSQLQuery>();
    const std::string base = "name=q\ntag=t\n";
    query->string(base +
                  "target_classes=account,keyvalue\nwhere_template_account=T.NAME = 'a'\n"
                  "where_template_keyvalue=T.KEY_NAME = 'k'\n");
    EXPECT_NE(query->string().find("\nwhere_template_account=T.NAME = 'a'\n"
                                   "where_template_keyvalue=T.KEY_NAME = 'k'\n"),
              std::string::npos);
    const char* const refused[][3] = {
        {"where_template=x\n", "where_template", "account,keyvalue"},
        {"target_classes=keyvalue\nwhere_template_account=x\n", "where_template_account",
         "keyvalue"},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(thrown([&] { query->string(base + c[0]); }),
                  std::string("Failed to set a query record from text. | Illegal override '") +
                      c[1] + "', should be where_template_<class_name>, available class_names = " +
                      c[2] + ". @ prst_generic CPrstSQLQuery::_set");
    }
    // The refused texts left the clauses as they were, and so does a text without target
    // classes or clauses; one that carries the target classes replaces them with its own.
    query->string(base + "description=d\n");
    EXPECT_EQ(query->whereTemplates().string(),
              "account=T.NAME = 'a'\nkeyvalue=T.KEY_NAME = 'k'\n");
    query->string(base +
                  "target_classes=account,keyvalue\nwhere_template_account=T.PK = 1\n"
                  "where_template_account=T.PK = 2\n");
    EXPECT_EQ(query->whereTemplates().string(), "account=T.PK = 1\n");  // the first one counts
    query->string(base + "target_classes=account\n");
    EXPECT_EQ(query->string().find("where_template"), std::string::npos);
}

TEST_F(Queries, RoleCapabilitiesPairADomainWithARight) {
    auto role = make<CPrstRole>();
    role->string("name=r\ncapabilities= lab:read , root : write ,, lab:write\n");
    EXPECT_EQ(role->capabilities(), "lab:read,root : write,lab:write");
    EXPECT_EQ(role->domains(), (std::vector<std::string>{"lab", "root"}));
    for (const char* bad : {":read", "lab:", "lab:read,x"}) {
        const std::string entry = std::string(bad).substr(std::string(bad).rfind(',') + 1);
        EXPECT_EQ(
            thrown([&] { role->string(std::string("name=r\ncapabilities=") + bad + "\n"); }, false),
            "Failed to set a role record from text. | Invalid value '" + entry +
                "' for key 'capabilities'.");
    }
    EXPECT_EQ(role->capabilities(), "lab:read,root : write,lab:write");
}
