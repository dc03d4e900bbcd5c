#include "oodb/db_table_group_file_reader.h"

#include <errno.h>
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
        {"group=a\ntables=b\nowner=me\n",
         "Invalid record at line 3 in table group file. | Unrecognized key 'owner'."},
        {"group=a\ntables\n",
         "Invalid record at line 2 in table group file. | Expected 'key=value' in 'tables'."},
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

TEST_F(TableGroupFile, IncludesAreReadAndCyclesAndMissingFilesRefused) {
    dir.write("more/dhcp.grp", "group=dhcp\ntables=nbx_rep_peers\n");
    reader.read(dir.write("groups.grp", "include more/dhcp.grp\n\ngroup=generic\ntables=*\n"));
    EXPECT_EQ(reader.find("dhcp").file, dir.file("more/dhcp.grp"));

    CDBTableGroupFileReader cycle;
    dir.write("loop/b.grp", "include ../loop.grp\n");
    const std::string loop = dir.write("loop.grp", "include loop/b.grp\n");
    EXPECT_EQ(textOf([&] { cycle.read(loop); }), "Include directive for file " + dir.path() +
                                                     "/loop/../loop.grp in spec file " +
                                                     dir.file("loop/b.grp") + " is recursive. | ");

    CDBTableGroupFileReader missing;
    const auto failure = failureOf([&] { missing.read(dir.write("m.grp", "include gone.grp\n")); });
    EXPECT_EQ(failure.message, "Cannot open spec file '" + dir.file("gone.grp") + "'.");
    EXPECT_EQ(failure.code, static_cast<std::uint32_t>(ENOENT));
}
