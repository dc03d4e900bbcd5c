#include "oodb/precmpl_stmnt_generator.h"

#include <gtest/gtest.h>

#include "oodb_test_support.h"

using oodb_test::failureOf;
using oodb_test::textOf;

namespace {

nbx::CStringMap arguments(std::initializer_list<std::pair<const char*, const char*>> entries) {
    nbx::CStringMap map;
    for (const auto& entry : entries) map.insert(entry.first, entry.second);
    return map;
}

// "name=value" of every parameter, in order.
std::string parameters(const CPrecmplStmntGenerator::Statement& statement) {
    std::string out;
    for (const auto& parameter : statement.parameters) {
        if (!out.empty()) out += " ";
        out += parameter.name + "=" + parameter.value;
    }
    return out;
}

}  // namespace

TEST(PrecmplStmntGenerator, PlaceholdersBecomeMarksWithNamedParametersInTextOrder) {
    const CPrecmplStmntGenerator generator("OID, OIDS,NAME",
                                           "[__DB_TYPE_ULONG__], list [__DB_TYPE_ULONG__],"
                                           "[__DB_TYPE_STRING__]");
    struct Case {
        const char* sql;
        nbx::CStringMap args;
        const char* expectedSql;
        const char* expectedParameters;
    };
    const Case cases[] = {
        {"SELECT T.* FROM <<TABLE>> AS T WHERE T.PK =<<OID>>", arguments({{"OID", "7"}}),
         "SELECT T.* FROM <<TABLE>> AS T WHERE T.PK = ?", "OID=7"},
        {"SELECT * FROM X T WHERE T.PK<<OIDS>>",
         arguments({{"OIDS", "3"}, {"OIDS", "1"}, {"OIDS", "2"}}),
         "SELECT * FROM X T WHERE T.PK IN (?,?,? )", "OIDS=3 OIDS_1=1 OIDS_2=2"},
        // A placeholder used twice binds its value twice; the marks follow the text.
        {"SELECT 1 WHERE A =<<NAME>> OR B<<OIDS>> OR C =<<NAME>>",
         arguments({{"OIDS", "4"}, {"OIDS", "5"}, {"NAME", "n"}}),
         "SELECT 1 WHERE A = ? OR B IN (?,? ) OR C = ?", "NAME=n OIDS=4 OIDS_1=5 NAME_1=n"},
        // An argument that is not given may stay away when its placeholder does.
        {"SELECT 1", nbx::CStringMap(), "SELECT 1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        const auto statement = generator.generate(c.sql, c.args);
        EXPECT_EQ(statement.sql, c.expectedSql);
        EXPECT_EQ(parameters(statement), c.expectedParameters);
    }
    const auto typed =
        generator.generate("<<OIDS>><<NAME>>", arguments({{"NAME", "a"}, {"OIDS", "1"}}));
    ASSERT_EQ(typed.parameters.size(), 2u);
    EXPECT_EQ(typed.parameters[0].type, CDBFieldType::kULong);
    EXPECT_EQ(typed.parameters[1].type, CDBFieldType::kString);
}

TEST(PrecmplStmntGenerator, GenericArgumentsBecomeConditionsJoinedWithAnd) {
    const CPrecmplStmntGenerator generator(
        "DOMAIN_ID,ACCESS_ID,NAME",
        "[__DB_TYPE_DOMAIN_ID__],list [__DB_TYPE_ACCESS_ID__],[__DB_TYPE_STRING__]",
        "DOMAIN_ID,ACCESS_ID");
    const std::string sql = "SELECT T.* FROM P AS T WHERE <<GENERIC_ARGS>> AND T.NAME =<<NAME>>";
    struct Case {
        nbx::CStringMap args;
        const char* expectedSql;
        const char* expectedParameters;
    };
    const Case cases[] = {
        {arguments({{"DOMAIN_ID", "3"}, {"ACCESS_ID", "1"}, {"ACCESS_ID", "2"}, {"NAME", "x"}}),
         "SELECT T.* FROM P AS T WHERE T.ACCESS_ID IN (?,? ) AND T.DOMAIN_ID = ? AND T.NAME = ?",
         "ACCESS_ID=1 ACCESS_ID_1=2 DOMAIN_ID=3 NAME=x"},
        {arguments({{"DOMAIN_ID", "3"}, {"NAME", "x"}}),
         "SELECT T.* FROM P AS T WHERE T.DOMAIN_ID = ? AND T.NAME = ?", "DOMAIN_ID=3 NAME=x"},
        {arguments({{"NAME", "x"}}), "SELECT T.* FROM P AS T WHERE T.PK >= 0 AND T.NAME = ?",
         "NAME=x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expectedSql);
        const auto statement = generator.generate(sql, c.args);
        EXPECT_EQ(statement.sql, c.expectedSql);
        EXPECT_EQ(parameters(statement), c.expectedParameters);
    }
}

TEST(PrecmplStmntGenerator, ArgumentsWithoutTemplateTypeOrPlaceholderAreRefused) {
    const CPrecmplStmntGenerator generator("OID,NAME,EXTRA",
                                           "[__DB_TYPE_ULONG__],,[__DB_TYPE_STRING__]");
    const std::string sql = "SELECT 1 WHERE PK =<<OID>> AND N =<<NAME>>";
    struct Case {
        nbx::CStringMap args;
        const char* expected;
    };
    const Case cases[] = {
        {arguments({{"OID", "1"}, {"POOL", "2"}}),
         "Unable to find template '<<POOL>>' in column name list 'OID,NAME,EXTRA'. | "
         "No template for requested name."},
        {arguments({{"NAME", "x"}}),
         "Unable to find '<<NAME>>' template in type list '[__DB_TYPE_ULONG__],,"
         "[__DB_TYPE_STRING__]'. | No template for requested type."},
        {arguments({{"EXTRA", "x"}}),
         "Unable to find placeholder '<<EXTRA>>' in sql statement template 'SELECT 1 WHERE PK "
         "=<<OID>> AND N =<<NAME>>'. | Placeholder/SQL statement mismatch."},
        {arguments({{"OID", "1"}, {"OID", "2"}}),
         "Too many values for argument '<<OID>>' of sql statement template 'SELECT 1 WHERE PK "
         "=<<OID>> AND N =<<NAME>>'. | The argument takes one value."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const auto failure = failureOf([&] { generator.generate(sql, c.args); });
        EXPECT_EQ(failure.message + " | " + failure.reason, c.expected);
        EXPECT_EQ(failure.module, "oodb");
    }
    const CPrecmplStmntGenerator typed("OID", "[__DB_TYPE_ULONG__]");
    EXPECT_EQ(textOf([&] { typed.generate("SELECT 1 WHERE PK =<<OID>>", nbx::CStringMap()); }),
              "Missing value for argument '<<OID>>' of sql statement template 'SELECT 1 WHERE PK "
              "=<<OID>>'. | Missing argument.");
    const CPrecmplStmntGenerator badType("OID", "list [__DB_TYPE_OID__]");
    EXPECT_EQ(textOf([&] {
                  badType.generate("<<OID>>", arguments({{"OID", "1"}}));
              }),
              "Unknown field type '[__DB_TYPE_OID__]'. | No such field type.");
}

TEST(PrecmplStmntGenerator, CheckAcceptsAgreeingStatementsOnly) {
    const struct {
        const char* names;
        const char* types;
        const char* generic;
        const char* sql;
        const char* expected;
    } cases[] = {
        {"A,B", "[__DB_TYPE_LONG__],list [__DB_TYPE_LONG__]", "",
         "SELECT * FROM <<TABLE>> WHERE X =<<A>> AND Y<<B>>", "<no exception>"},
        {"A,A", "[__DB_TYPE_LONG__],[__DB_TYPE_LONG__]", "", "<<A>>",
         "Argument '<<A>>' is declared twice in column name list 'A,A'. | "
         "Placeholder/SQL statement mismatch."},
        {"A", "[__DB_TYPE_LONG__]", "A", "WHERE <<A>>",
         "Unknown placeholder '<<A>>' in sql statement template 'WHERE <<A>>'. | "
         "Placeholder/SQL statement mismatch."},
        {"A", "[__DB_TYPE_LONG__]", "B", "<<GENERIC_ARGS>>",
         "Unable to find template '<<B>>' in column name list 'A'. | "
         "No template for requested name."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(textOf([&] { CPrecmplStmntGenerator(c.names, c.types, c.generic).check(c.sql); }),
                  c.expected);
    }
}
