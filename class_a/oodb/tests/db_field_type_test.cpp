#include "oodb/db_field_type.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "oodb_test_support.h"

namespace {

// The names in the tokens that column declarations use: "[__DB_TYPE_<name>__]".
const char* const kTypeNames =
    "ACCESS_ID ACCESS_RIGHTS ANY_NUMERIC ANY BINARY_BLOB BINARY BOOL BOOT_PROTO COBJECT DATE "
    "DOMAIN_GROUP_ID DOMAIN_ID DOUBLE EXPR FIXED_OFFSET FLOAT HEX_STORE INT32 INT64 IP_ADDRESS "
    "LONG NUMERIC SHORT STRING TEXT_BLOB TIME_STAMP TIME UINT32 UINT64 ULONG UNKNOWN USHORT "
    "VARYING";

}  // namespace

TEST(DBFieldType, EveryTokenNamesItsOwnTypeAndIsWrittenBackUnchanged) {
    std::set<int> types;
    std::istringstream names(kTypeNames);
    std::size_t count = 0;
    for (std::string name; names >> name; ++count) {
        const std::string token = "[__DB_TYPE_" + name + "__]";
        SCOPED_TRACE(token);
        CDBFieldType::Type type = CDBFieldType::kUnknown;
        ASSERT_TRUE(CDBFieldType::fromToken(token, type));
        EXPECT_EQ(CDBFieldType::token(type), token);
        EXPECT_EQ(CDBFieldType::parse(token), type);
        types.insert(type);
    }
    EXPECT_EQ(types.size(), count);
    // A value outside the enumeration reads as the unknown type instead of past the table.
    const auto outside = static_cast<CDBFieldType::Type>(CDBFieldType::kTypeCount + 5);
    EXPECT_STREQ(CDBFieldType::token(outside), "[__DB_TYPE_UNKNOWN__]");
    EXPECT_EQ(CDBFieldType::storageClass(outside),
              CDBFieldType::storageClass(CDBFieldType::kUnknown));
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
