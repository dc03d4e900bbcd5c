#include "oodb/db_statement_file_reader.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <string>

#include "oodb_test_support.h"

using oodb_test::failureOf;
using oodb_test::TempDir;
using oodb_test::textOf;

namespace {

// A complete statement record.
std::string statement(const std::string& name, const std::string& extra = std::string()) {
    return "name=" + name +
           "\ngroup=generic\narg_names=OID\narg_types=[__DB_TYPE_ULONG__]\n"
           "statement=SELECT T.* FROM <<TABLE>> AS T WHERE T.PK =<<OID>>\n" +
           extra;
}

class StatementFile : public ::testing::Test {
protected:
    // "message | reason" of reading `text` as a file of its own, by a fresh reader.
    std::string readFailure(const std::string& text) {
        CDBStatementFileReader fresh;
        const std::string path = dir.write("main.inc", text);
        return textOf([&] { fresh.read(path); });
    }
    TempDir dir;
    CDBStatementFileReader reader;
};

}  // namespace

TEST_F(StatementFile, ReadsEveryKeyOfARecordAndDefaultsTheOptionalOnes) {
    reader.read(dir.write("main.inc",
                          "# leading comment\n"
                          "\n"
                          "name=generic.access\n"
                          "group=secured\n"
                          "  arg_names = DOMAIN_ID, ACCESS_ID\n"
                          "arg_types=[__DB_TYPE_DOMAIN_ID__],list [__DB_TYPE_ACCESS_ID__]\n"
                          "generic_args=DOMAIN_ID,ACCESS_ID\n"
                          "statement=SELECT T.* FROM <<TABLE>> AS T \\\n"
                          "          WHERE <<GENERIC_ARGS>>\n"
                          "precompile=no\n"
                          "function_name=CGenericDBProxy::fastSelect\n"
                          "cursor_num=12\n"
                          "description=Rows of a domain\n\n" +
                              statement("generic.oid")));
    const CDBStatementDef& def = reader.find("generic.access");
    EXPECT_EQ(def.group, "secured");
    EXPECT_EQ(def.argNames, "DOMAIN_ID, ACCESS_ID");
    EXPECT_EQ(def.argTypes, "[__DB_TYPE_DOMAIN_ID__],list [__DB_TYPE_ACCESS_ID__]");
    EXPECT_EQ(def.genericArgs, "DOMAIN_ID,ACCESS_ID");
    // The continued line is joined with one blank.
    EXPECT_EQ(def.statement, "SELECT T.* FROM <<TABLE>> AS T WHERE <<GENERIC_ARGS>>");
    EXPECT_FALSE(def.precompile);
    EXPECT_EQ(def.functionName, "CGenericDBProxy::fastSelect");
    EXPECT_TRUE(def.hasCursor);
    EXPECT_EQ(def.cursorNum, 12u);
    EXPECT_EQ(def.description, "Rows of a domain");
    EXPECT_EQ(def.file, dir.file("main.inc"));
    EXPECT_EQ(def.line, 3u);

    const CDBStatementDef& plain = reader.find("generic.oid");
    EXPECT_TRUE(plain.precompile);
    EXPECT_FALSE(plain.hasCursor);
    EXPECT_EQ(plain.functionName, "");

    const auto failure = failureOf([&] { reader.find("generic.name"); });
    EXPECT_EQ(failure.message, "Cannot locate sql spec file 'generic.name'.");
    EXPECT_EQ(failure.reason, "No such file.");
    EXPECT_EQ(failure.function, "CDBStatementFileReader::find");
    EXPECT_EQ(reader.lookup("generic.name"), nullptr);
}

TEST_F(StatementFile, EachMissingRequiredKeyIsNamedWithTheRecordsFirstLine) {
    const char* const keys[] = {"name", "group", "arg_names", "arg_types", "statement"};
    for (const char* key : keys) {
        SCOPED_TRACE(key);
        std::string record;
        for (const std::string& line :
             {std::string("name=a"), std::string("group=generic"), std::string("arg_names="),
              std::string("arg_types="), std::string("statement=SELECT 1")}) {
            if (line.compare(0, line.find('='), key) != 0) record += line + "\n";
        }
        CDBStatementFileReader fresh;
        const std::string path =
            dir.write("missing.inc", "# one\n\n" + statement("x") + "\n" + record);
        const auto failure = failureOf([&] { fresh.read(path); });
        EXPECT_EQ(failure.message, "Invalid record at line 9 in sql statement spec file.");
        EXPECT_EQ(failure.reason, std::string("Missing key '") + key + "'.");
        EXPECT_EQ(failure.module, "oodb");
    }
}

TEST_F(StatementFile, MalformedRecordsAreRefusedAtTheOffendingLine) {
    const std::string invalid = "Invalid record at line ";
    dir.write("sub/more.inc", statement("b", "cursor_num=7\n"));
    const struct {
        std::string text;
        std::string expected;  // after "Invalid record at line "
    } cases[] = {
        {"name=a\ncolour=red\n", "2 in sql statement spec file. | Unrecognized key 'colour'."},
        {"# c\n\n\ngroup\n", "4 in sql statement spec file. | Expected 'key=value' in 'group'."},
        {"name=a\n# c\nname=b\n", "3 in sql statement spec file. | Duplicate key 'name'."},
        {"name=a\ngroup=\narg_names=\narg_types=\nstatement=SELECT 1\n",
         "2 in sql statement spec file. | Key 'group' has no value."},
        {"name=a\ngroup=g\narg_names=\narg_types=\nstatement=SELECT 1\nprecompile=maybe\n",
         "6 in sql statement spec file. | Invalid value 'maybe' of key 'precompile'."},
        {"name=a\ngroup=g\narg_names=\narg_types=\nstatement=SELECT 1\ncursor_num=-3\n",
         "6 in sql statement spec file. | Invalid value '-3' of key 'cursor_num'."},
        {"include other.inc\nname=a\n",
         "1 in sql statement spec file. | An include directive stands in a record of its own."},
        {statement("a") + "\n" + statement("a"),
         "7 in sql statement spec file. | Duplicate statement 'a'."},
        // The statement must agree with its arguments.
        {"name=a\ngroup=g\narg_names=OID,NAME\narg_types=[__DB_TYPE_ULONG__],[__DB_TYPE_STRING__]\n"
         "statement=SELECT * FROM <<TABLE>> WHERE PK =<<OID>>\n",
         "5 in sql statement spec file. | Unable to find placeholder '<<NAME>>' in sql statement "
         "template 'SELECT * FROM <<TABLE>> WHERE PK =<<OID>>'."},
        {"name=a\ngroup=g\narg_names=OID\narg_types=[__DB_TYPE_ULONG__]\n"
         "statement=SELECT 1 WHERE <<OID>> = <<OLD>>\n",
         "5 in sql statement spec file. | Unknown placeholder '<<OLD>>' in sql statement "
         "template 'SELECT 1 WHERE <<OID>> = <<OLD>>'."},
        {"name=a\ngroup=g\narg_names=OID\narg_types=[__DB_TYPE_ULONG__],[__DB_TYPE_LONG__]\n"
         "statement=SELECT <<OID>>\n",
         "5 in sql statement spec file. | Argument lists 'OID' and "
         "'[__DB_TYPE_ULONG__],[__DB_TYPE_LONG__]' differ in length."},
        {"name=a\ngroup=g\narg_names=OID\narg_types=[__DB_TYPE_OID__]\nstatement=SELECT <<OID>>\n",
         "5 in sql statement spec file. | Unknown field type '[__DB_TYPE_OID__]'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(readFailure(c.text), invalid + c.expected);
    }
    // Cursor numbers must differ across included files too.
    EXPECT_EQ(readFailure(statement("a", "cursor_num=7\n") + "\ninclude sub/more.inc\n"),
              "Duplicate sql cursor number at line 6 in sql statement spec file. | "
              "Cursor numbers overlap.");
}

TEST_F(StatementFile, IncludedFilesAreReadRelativeToTheIncludingFileAndOnlyOnce) {
    dir.write("sub/common.inc", statement("common"));
    dir.write("sub/first.inc", "include common.inc\n\n" + statement("first"));
    dir.write("second.inc", "include sub/common.inc\n\n" + statement("second"));
    reader.read(dir.write("main.inc", statement("main") + "\ninclude sub/first.inc\ninclude " +
                                          dir.file("second.inc") + "\n"));
    std::string names;
    for (const auto& entry : reader.statements()) names += entry.first + " ";
    EXPECT_EQ(names, "common first main second ");
    EXPECT_EQ(reader.find("common").file, dir.file("sub/common.inc"));
}

TEST_F(StatementFile, RecursiveIncludesAndFilesThatCannotBeOpenedAreRefused) {
    dir.write("b.inc", "include a.inc\n");
    dir.write("a.inc", statement("x") + "\ninclude b.inc\n");
    EXPECT_EQ(readFailure("include a.inc\n"), "Include directive for file " + dir.file("a.inc") +
                                                  " in spec file " + dir.file("b.inc") +
                                                  " is recursive. | ");

    const auto include = failureOf(
        [&] { reader.read(dir.write("main.inc", statement("a") + "\ninclude nowhere.inc\n")); });
    EXPECT_EQ(include.message, "Cannot open spec file '" + dir.file("nowhere.inc") + "'.");
    EXPECT_EQ(include.reason, "No such file or directory");
    EXPECT_EQ(include.code, static_cast<std::uint32_t>(ENOENT));

    CDBStatementFileReader fresh;
    const auto directory = failureOf([&] { fresh.read(dir.path()); });
    EXPECT_EQ(directory.message, "Cannot open spec file '" + dir.path() + "'.");
    EXPECT_EQ(directory.code, static_cast<std::uint32_t>(EISDIR));
}

TEST_F(StatementFile, ADirectoryIsReadFileByFileInNameOrder) {
    dir.write("statements/b.inc", statement("b", "cursor_num=1\n"));
    dir.write("statements/a.inc", statement("a", "cursor_num=1\n"));
    dir.write("statements/notes.txt", "not a spec file");
    // a.inc comes first, so the duplicate cursor is reported in b.inc's record.
    const auto failure = failureOf([&] { reader.readDirectory(dir.file("statements"), "*.inc"); });
    EXPECT_EQ(failure.message, "Duplicate sql cursor number at line 6 in sql statement spec file.");
    EXPECT_NE(reader.lookup("a"), nullptr);
    EXPECT_EQ(reader.lookup("b"), nullptr);
}
