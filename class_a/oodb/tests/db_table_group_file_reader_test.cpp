#include "oodb/db_table_group_file_reader.h"

#include <gtest/gtest.h>

#include "oodb_test_support.h"

using oodb_test::failureOf;
using oodb_test::TempDir;
using oodb_test::textOf;

namespace {

class TableGroupFile : public ::testing::Test {
protected:
    TempDir dir;
    CDBTableGroupFileReader reader;
};

}  // namespace

TEST_F(TableGroupFile, GroupsListTheirTablesAndTheStarTakesEveryTable) {
    reader.read(dir.write("groups.grp",
                          "group=dhcp\ntables= nbx_rep_peers , address_pool\ndescription=DHCP\n\n"
                          "# every table\ngroup=generic\ntables=*\n"));
    const CDBTableGroup& dhcp = reader.find("dhcp");
    EXPECT_EQ(dhcp.tables, (std::vector<std::string>{"nbx_rep_peers", "address_pool"}));
    EXPECT_EQ(dhcp.description, "DHCP");
    EXPECT_TRUE(dhcp.contains("address_pool"));
    EXPECT_FALSE(dhcp.contains("address_binding"));
    EXPECT_TRUE(reader.find("generic").contains("address_binding"));
    EXPECT_EQ(reader.find("generic").line, 6u);
    const auto failure = failureOf([&] { reader.find("other"); });
    EXPECT_EQ(failure.text(), "Cannot locate table group 'other'. | Spec group does not exist.");
    EXPECT_EQ(failure.module, "oodb");
}

TEST_F(TableGroupFile, BadRecordsAreRefusedWithTheirLine) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"group=a\n", "Invalid record at line 1 in table group file. | Missing key 'tables'."},
        {"# x\ntables=a\n", "Invalid record at line 2 in table group file. | Missing key 'group'."},
        {"group=a\ntables= , \n",
         "Invalid record at line 2 in table group file. | Key 'tables' has no value."},
        {"group=a\ntables=b\n\ngroup=a\ntables=c\n",
         "Invalid record at line 4 in table group file. | Duplicate group 'a'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CDBTableGroupFileReader fresh;
        const std::string path = dir.write("bad.grp", c.text);
        EXPECT_EQ(textOf([&] { fresh.read(path); }), c.expected);
    }
}

// Includes, cycles and missing files take the record reader's paths that the statement file
// tests go through.
TEST_F(TableGroupFile, IncludedGroupsNameTheirFile) {
    dir.write("more/dhcp.grp", "group=dhcp\ntables=nbx_rep_peers\n");
    reader.read(dir.write("groups.grp", "include more/dhcp.grp\n\ngroup=generic\ntables=*\n"));
    EXPECT_EQ(reader.find("dhcp").file, dir.file("more/dhcp.grp"));
}
