#include "oodb/db_field_type.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "oodb_test_support.h"

namespace {

// The tokens that column declarations use.
const char* const kTokens[] = {
    "[__DB_TYPE_ACCESS_ID__]",
    "[__DB_TYPE_ACCESS_RIGHTS__]",
    "[__DB_TYPE_ANY_NUMERIC__]",
    "[__DB_TYPE_ANY__]",
    "[__DB_TYPE_BINARY_BLOB__]",
    "[__DB_TYPE_BINARY__]",
    "[__DB_TYPE_BOOL__]",
    "[__DB_TYPE_BOOT_PROTO__]",
    "[__DB_TYPE_COBJECT__]",
    "[__DB_TYPE_DATE__]",
    "[__DB_TYPE_DOMAIN_GROUP_ID__]",
    "[__DB_TYPE_DOMAIN_ID__]",
    "[__DB_TYPE_DOUBLE__]",
    "[__DB_TYPE_EXPR__]",
    "[__DB_TYPE_FIXED_OFFSET__]",
    "[__DB_TYPE_FLOAT__]",
    "[__DB_TYPE_HEX_STORE__]",
    "[__DB_TYPE_INT32__]",
    "[__DB_TYPE_INT64__]",
    "[__DB_TYPE_IP_ADDRESS__]",
    "[__DB_TYPE_LONG__]",
    "[__DB_TYPE_NUMERIC__]",
    "[__DB_TYPE_SHORT__]",
    "[__DB_TYPE_STRING__]",
    "[__DB_TYPE_TEXT_BLOB__]",
    "[__DB_TYPE_TIME_STAMP__]",
    "[__DB_TYPE_TIME__]",
    "[__DB_TYPE_UINT32__]",
    "[__DB_TYPE_UINT64__]",
    "[__DB_TYPE_ULONG__]",
    "[__DB_TYPE_UNKNOWN__]",
    "[__DB_TYPE_USHORT__]",
    "[__DB_TYPE_VARYING__]",
};

}  // namespace

TEST(DBFieldType, EveryTokenNamesItsOwnTypeAndIsWrittenBackUnchanged) {
    std::set<int> types;
    for (const char* token : kTokens) {
        SCOPED_TRACE(token);
        CDBFieldType::Type type = CDBFieldType::kUnknown;
        ASSERT_TRUE(CDBFieldType::fromToken(token, type));
        EXPECT_STREQ(CDBFieldType::token(type), token);
        EXPECT_EQ(CDBFieldType::parse(token), type);
        types.insert(type);
    }
    EXPECT_EQ(types.size(), sizeof kTokens / sizeof kTokens[0]);
}

TEST(DBFieldType, TextsThatAreNoTokenAreRefused) {
    for (const char* text :
         {"", "[__DB_TYPE_string__]", "[__DB_TYPE_STRING__] ", "[__DB_TYPE_INT__]"}) {
        SCOPED_TRACE(text);
        CDBFieldType::Type type = CDBFieldType::kBool;
        EXPECT_FALSE(CDBFieldType::fromToken(text, type));
        EXPECT_EQ(type, CDBFieldType::kBool);
        const auto failure = oodb_test::failureOf([&] { CDBFieldType::parse(text); });
        EXPECT_EQ(failure.message, std::string("Unknown field type '") + text + "'.");
        EXPECT_EQ(failure.reason, "No such field type.");
        EXPECT_EQ(failure.module, "oodb");
    }
}

TEST(DBFieldType, StorageClassKeepsTheTextOfEachKindOfValue) {
    struct Case {
        const char* token;
        const char* sqlType;
    };
    const Case cases[] = {
        {"[__DB_TYPE_ULONG__]", "INTEGER"},
        {"[__DB_TYPE_DOUBLE__]", "REAL"},
        {"[__DB_TYPE_NUMERIC__]", "NUMERIC"},
        {"[__DB_TYPE_STRING__]", "TEXT"},
        // Beyond the signed 64-bit range of SQL integers: kept as text.
        {"[__DB_TYPE_UINT64__]", "TEXT"},
        {"[__DB_TYPE_BINARY_BLOB__]", "BLOB"},
        {"[__DB_TYPE_UNKNOWN__]", "BLOB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        EXPECT_STREQ(
            CDBFieldType::sqlType(CDBFieldType::storageClass(CDBFieldType::parse(c.token))),
            c.sqlType);
    }
}
