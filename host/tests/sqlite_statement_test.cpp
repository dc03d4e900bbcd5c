// What the engine says of a named statement before it first runs: whether it applies to a table
// and whether SQLite can compile it there.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "host/sqlite_engine.h"
#include "standard/exception.h"

namespace {

const char* const kStatements =
    "name=t.by_name\ngroup=peers\narg_names=NAME\narg_types=[__DB_TYPE_STRING__]\n"
    "statement=SELECT T.* FROM <<TABLE>> AS T WHERE T.TARGET =<<NAME>>\n\n"
    "name=t.in_list\ngroup=everything\narg_names=KEYS\narg_types=list [__DB_TYPE_ULONG__]\n"
    "statement=SELECT COUNT(*) AS COUNT FROM <<TABLE>> AS T WHERE T.PK<<KEYS>>\n\n"
    "name=t.bad_column\ngroup=everything\narg_names=\narg_types=\n"
    "statement=SELECT T.NO_SUCH_COLUMN FROM <<TABLE>> AS T\n\n"
    "name=t.bad_column_late\ngroup=peers\narg_names=\narg_types=\nprecompile=no\n"
    "statement=SELECT T.NO_SUCH_COLUMN FROM <<TABLE>> AS T\n\n"
    "name=t.bad_syntax\ngroup=peers\narg_names=\narg_types=\n"
    "statement=SELEC * FROM <<TABLE>>\n";
const char* const kGroups = "group=peers\ntables=nbx_rep_peers\n\ngroup=everything\ntables=*\n";

class SQLiteStatements : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/nbx-stmt-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        std::ofstream(dir + "/test.inc") << kStatements;
        std::ofstream(dir + "/test.grp") << kGroups;
        engine = std::make_unique<host::CSQLiteEngine>(
            host::CSQLiteEngine::Settings{dir + "/host.db", dir});
        CDBTableDef peers{"nbx_rep_peers", CDBTypeStringMap("TARGET=[__DB_TYPE_STRING__]", "\n")};
        CDBTableDef domains{"nbx_domains", CDBTypeStringMap("NAME=[__DB_TYPE_STRING__]", "\n")};
        engine->open({peers, domains});
    }
    void TearDown() override {
        engine.reset();
        std::filesystem::remove_all(dir);
    }
    CDBStatementState state(const std::string& table, const std::string& statement) {
        return engine->connection().prepare(table, statement);
    }

    std::string dir;
    std::unique_ptr<host::CSQLiteEngine> engine;
};

}  // namespace

TEST_F(SQLiteStatements, ReadyIllegalOrUnusableBeforeTheFirstRun) {
    CDBStatementState byName = state("nbx_rep_peers", "t.by_name");
    EXPECT_EQ(byName.status, CDBStatementState::kReady);
    EXPECT_FALSE(byName.generic);
    CDBStatementState inList = state("nbx_domains", "t.in_list");
    EXPECT_EQ(inList.status, CDBStatementState::kReady);
    EXPECT_TRUE(inList.generic);
    EXPECT_TRUE(inList.error.empty());

    // Not applying to the table: another group, an unknown statement, an undeclared table.
    EXPECT_EQ(state("nbx_domains", "t.by_name").status, CDBStatementState::kIllegal);
    EXPECT_EQ(state("nbx_rep_peers", "t.unknown").status, CDBStatementState::kIllegal);
    EXPECT_EQ(state("nbx_undeclared", "t.in_list").status, CDBStatementState::kIllegal);

    CDBStatementState column = state("nbx_domains", "t.bad_column");
    EXPECT_EQ(column.status, CDBStatementState::kUnusable);
    EXPECT_NE(column.error.find("no such column"), std::string::npos) << column.error;
    CDBStatementState syntax = state("nbx_rep_peers", "t.bad_syntax");
    EXPECT_EQ(syntax.status, CDBStatementState::kUnusable);
    EXPECT_NE(syntax.error.find("syntax error"), std::string::npos) << syntax.error;
    // One that is compiled only when run is not tried here.
    EXPECT_EQ(state("nbx_rep_peers", "t.bad_column_late").status, CDBStatementState::kReady);

    // The probes left nothing behind: the statement runs.
    nbx::CStringMap keys;
    keys.set("KEYS", "1");
    CDBRecordList rows = engine->connection().execute(0, "nbx_domains", "t.in_list", keys);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.front().values.at("COUNT"), "0");
}
