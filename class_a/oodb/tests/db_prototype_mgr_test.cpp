#include "oodb/db_prototype_mgr.h"

#include <gtest/gtest.h>

#include "oodb_test_support.h"

namespace {

CDBTableDef table(const std::string& name, const std::string& columns) {
    CDBTableDef def;
    def.name = name;
    def.columns = CDBTypeStringMap(columns, "\n");
    return def;
}

class PrototypeMgr : public ::testing::Test {
protected:
    void SetUp() override {
        prototypes.add(table("address_binding",
                             "IPADDR=[__DB_TYPE_IP_ADDRESS__]\nFIXED=[__DB_TYPE_BOOL__]\n"
                             "POOL_OID=[__DB_TYPE_LONG__]"));
        prototypes.add(table("replicate_peer", "TARGET=[__DB_TYPE_STRING__]"));
    }
    CDBPrototypeMgr prototypes;
};

}  // namespace

TEST_F(PrototypeMgr, DeclaredTypesGiveEmptyRecordsTheirColumnsAndTheirList) {
    CDBRecord record = prototypes.cloneSimple("address_binding");
    EXPECT_EQ(record.table, "address_binding");
    EXPECT_EQ(record.pk, kNoKey);
    EXPECT_TRUE(record.values.empty());
    EXPECT_EQ(prototypes.columnDefs("address_binding").string(),
              "FIXED=[__DB_TYPE_BOOL__]\nIPADDR=[__DB_TYPE_IP_ADDRESS__]\n"
              "POOL_OID=[__DB_TYPE_LONG__]\n");
    const std::vector<CDBTableDef> defs = prototypes.tableDefs();
    ASSERT_EQ(defs.size(), 2u);
    EXPECT_EQ(defs[0].name, "address_binding");
    EXPECT_EQ(defs[1].name, "replicate_peer");
    EXPECT_EQ(defs[1].columns.string(), "TARGET=[__DB_TYPE_STRING__]\n");

    auto clone = oodb_test::failureOf([&] { prototypes.cloneSimple("address_pool"); });
    EXPECT_EQ(clone.text(), "Failed to find a prototype for 'address_pool'. | No such prototype.");
    EXPECT_EQ(clone.function, "CDBPrototypeMgr::cloneSimple");
    EXPECT_EQ(clone.module, "oodb");
    auto columns = oodb_test::failureOf([&] { prototypes.columnDefs("Address_Binding"); });
    EXPECT_EQ(columns.message,
              "Failed to find a prototype for 'Address_Binding' while searching for field "
              "definitions.");
    EXPECT_EQ(columns.function, "DBPrototypeMgr::columnDefs");
}

TEST_F(PrototypeMgr, BadDeclarationsAreRefusedAndNothingIsAdded) {
    struct Case {
        CDBTableDef def;
        const char* message;
        const char* reason;
    };
    CDBTableDef twice = table("pool", "NAME=[__DB_TYPE_STRING__]");
    twice.columns.insert("NAME", "[__DB_TYPE_LONG__]");
    const Case cases[] = {
        {table("", "A=[__DB_TYPE_LONG__]"), "Failed to add prototype ''.",
         "The prototype has no name."},
        {table("pool", "PK=[__DB_TYPE_ULONG__]"), "Failed to add prototype 'pool'.",
         "Column 'PK' is the implicit primary key."},
        {table("pool", "A=[__DB_TYPE_WORD__]"), "Failed to add prototype 'pool'.",
         "Unknown field type '[__DB_TYPE_WORD__]' of column 'A'."},
        {table("pool", "=[__DB_TYPE_LONG__]"), "Failed to add prototype 'pool'.",
         "A column has no name."},
        {twice, "Failed to add prototype 'pool'.", "Column 'NAME' is declared twice."},
        {table("replicate_peer", "A=[__DB_TYPE_LONG__]"),
         "Failed to add prototype 'replicate_peer'.", "The prototype already exists."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(oodb_test::textOf([&] { prototypes.add(c.def); }),
                  std::string(c.message) + " | " + c.reason);
    }
    EXPECT_FALSE(prototypes.has("pool"));
    EXPECT_EQ(prototypes.columnDefs("replicate_peer").string(), "TARGET=[__DB_TYPE_STRING__]\n");
}
