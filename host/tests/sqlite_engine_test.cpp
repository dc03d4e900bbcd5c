#include "host/sqlite_engine.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "oodb/db_transaction.h"
#include "testing/failure.h"
#include "testing/temp_folder.h"

namespace {

using nbx::testing::Failure;
using nbx::testing::failure;

CDBTableDef table(const std::string& name, const std::string& columns) {
    return CDBTableDef{name, CDBTypeStringMap(columns, "\n")};
}

std::vector<CDBTableDef> tables() {
    return {table("nbx_rep_peers",
                  "TARGET=[__DB_TYPE_STRING__]\nENABLED=[__DB_TYPE_BOOL__]\n"
                  "CLASSES=[__DB_TYPE_STRING__]"),
            table("address_binding",
                  "X=[__DB_TYPE_LONG__]\nIPADDR=[__DB_TYPE_IP_ADDRESS__]\n"
                  "TID_COUNT=[__DB_TYPE_ULONG__]\nRATIO=[__DB_TYPE_DOUBLE__]\n"
                  "DOMAIN_ID=[__DB_TYPE_DOMAIN_ID__]\nACCESS_ID=[__DB_TYPE_ACCESS_ID__]")};
}

CDBRecord record(const std::string& table, std::uint32_t pk,
                 std::map<std::string, std::string> values) {
    return CDBRecord{table, pk, std::move(values)};
}
CDBRecord peer(std::uint32_t pk, const std::string& target) {
    return CDBRecord{"nbx_rep_peers", pk, {{"TARGET", target}}};
}

std::string keys(const CDBRecordList& rows) {
    std::string out;
    for (const CDBRecord& row : rows) out += (out.empty() ? "" : ",") + std::to_string(row.pk);
    return out;
}

class SQLiteEngine : public ::testing::Test {
protected:
    void SetUp() override { reopen(); }
    std::unique_ptr<host::CSQLiteEngine> make(const std::string& statements = NBX_HOST_DB_DIR) {
        return std::make_unique<host::CSQLiteEngine>(
            host::CSQLiteEngine::Settings{path, statements});
    }
    // A fresh engine object on the same file, as after a restart.
    void reopen(const std::vector<CDBTableDef>& declared = tables(),
                const std::string& statements = NBX_HOST_DB_DIR) {
        engine.reset();
        engine = make(statements);
        engine->open(declared);
    }
    std::string peerKeys(CIDBConnection& connection, CDBTransactionHandle tx = 0) {
        return keys(connection.select(tx, "nbx_rep_peers", ""));
    }
    // Rows as a separate connection (another thread) sees them.
    std::string peerKeysFromOtherThread() {
        std::string out;
        std::thread([&] { out = peerKeys(engine->connection()); }).join();
        return out;
    }
    // One column of a query on the file through SQLite itself.
    std::vector<std::string> raw(const std::string& sql, int column) {
        sqlite3* handle = nullptr;
        EXPECT_EQ(sqlite3_open(path.c_str(), &handle), SQLITE_OK);
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr), SQLITE_OK);
        std::vector<std::string> values;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement, column);
            values.emplace_back(text ? reinterpret_cast<const char*>(text) : "NULL");
        }
        sqlite3_finalize(statement);
        sqlite3_close(handle);
        return values;
    }
    CIDBConnection& db() { return engine->connection(); }

    nbx::testing::TempFolder folder{"nbx-sqlite"};
    const std::string path = folder.path() + "/host.db";
    std::unique_ptr<host::CSQLiteEngine> engine;
};

}  // namespace

TEST_F(SQLiteEngine, CreatesTheDeclaredTablesAndAddsTablesAndColumnsDeclaredLater) {
    EXPECT_EQ(raw("PRAGMA journal_mode", 0), (std::vector<std::string>{"wal"}));
    EXPECT_EQ(raw("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", 0),
              (std::vector<std::string>{"address_binding", "nbx_rep_peers", "nbx_sequences"}));
    EXPECT_EQ(raw("PRAGMA table_info(nbx_rep_peers)", 2),
              (std::vector<std::string>{"INTEGER", "TEXT", "INTEGER", "TEXT"}));
    EXPECT_EQ(raw("PRAGMA table_info(nbx_rep_peers)", 5),
              (std::vector<std::string>{"1", "0", "0", "0"}));

    db().write(0, peer(1, "a"));
    std::vector<CDBTableDef> more = tables();
    more[0].columns.insert("LOG_DIR", "[__DB_TYPE_STRING__]");
    more.push_back(table("domain", "NAME=[__DB_TYPE_STRING__]"));
    for (bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "a new engine on the file" : "declared on the open engine");
        restart ? reopen(more) : engine->declare(more);
        db().write(0, record("nbx_rep_peers", 2, {{"TARGET", "b"}, {"LOG_DIR", "spool-b"}}));
        db().write(0, record("domain", 1, {{"NAME", "lab"}}));
        const CDBRecordList rows = db().select(0, "nbx_rep_peers", "");
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].values, (std::map<std::string, std::string>{{"TARGET", "a"}}));
        EXPECT_EQ(rows[1].values.at("LOG_DIR"), "spool-b");
        EXPECT_EQ(db().select(0, "domain", "")[0].values.at("NAME"), "lab");
    }
    // A closed engine is opened by it.
    engine->close();
    engine->declare(tables());
    EXPECT_TRUE(engine->isOpen());
    EXPECT_EQ(db().count(0, "domain", ""), 1u);
}

TEST_F(SQLiteEngine, WriteSelectCountRemoveAndValuesAsWritten) {
    for (std::uint32_t pk : {9u, 5u, 7u}) {
        db().write(
            0, record("address_binding", pk,
                      {{"X", pk == 9 ? "2" : "1"}, {"IPADDR", "10.0.0." + std::to_string(pk)}}));
    }
    EXPECT_EQ(keys(db().select(0, "address_binding", "")), "5,7,9");
    EXPECT_EQ(keys(db().select(0, "address_binding", "", 2)), "5,7");
    EXPECT_EQ(keys(db().select(0, "address_binding", "X = 1 AND T.PK >= 0")), "5,7");
    EXPECT_EQ(db().count(0, "address_binding", "X = 1 AND T.PK >= 0"), 2u);
    EXPECT_EQ(db().count(0, "address_binding", "X = 1 AND T.PK = 9"), 0u);
    const CDBRecordList five = db().select(0, "address_binding", "T.PK = 5");
    ASSERT_EQ(five.size(), 1u);
    EXPECT_EQ(five[0].table, "address_binding");
    // Columns never written are NULL and absent from the record.
    EXPECT_EQ(five[0].values,
              (std::map<std::string, std::string>{{"IPADDR", "10.0.0.5"}, {"X", "1"}}));

    // A write with a known key replaces the whole row.
    db().write(0, record("address_binding", 5, {{"X", "3"}}));
    EXPECT_EQ(db().select(0, "address_binding", "T.PK = 5")[0].values,
              (std::map<std::string, std::string>{{"X", "3"}}));
    db().remove(0, "address_binding", 7);
    db().remove(0, "address_binding", 7);  // gone already: nothing to do
    EXPECT_EQ(keys(db().select(0, "address_binding", "")), "5,9");

    // Values come back as the text they were written in (an integer column keeps a text that is
    // no whole number as it is); unsigned 32-bit values arrive as signed decimals and are kept as
    // their unsigned value, so that they compare as numbers.
    const std::map<std::string, std::string> written{
        {"IPADDR", "007"}, {"RATIO", "0.30000000000000004"}, {"TID_COUNT", "-1"}, {"X", "12abc"}};
    db().write(0, record("address_binding", 1, written));
    std::map<std::string, std::string> read = written;
    read["TID_COUNT"] = "4294967295";
    EXPECT_EQ(db().select(0, "address_binding", "T.PK = 1")[0].values, read);
    EXPECT_EQ(keys(db().select(0, "address_binding", "TID_COUNT > 100")), "1");
}

TEST_F(SQLiteEngine, NamedStatementsRunWithTheirArgumentsBound) {
    for (std::uint32_t pk : {3u, 7u, 11u})
        db().write(0, record("address_binding", pk, {{"X", "1"}}));
    auto run = [&](const char* statement, const nbx::CStringMap& arguments) {
        return keys(db().execute(0, "address_binding", statement, arguments));
    };
    EXPECT_EQ(run("generic.oid", nbx::CStringMap("OID=7", "\n")), "7");
    // An unknown statement or argument is the statement files' own refusal (oodb); a statement
    // whose group does not hold the table is the engine's.
    EXPECT_EQ(
        failure([&] { run("replicate_peer.target", nbx::CStringMap("TARGET=x", "\n")); }).text(),
        "Statement 'replicate_peer.target' does not apply to table 'address_binding'. | "
        "The table is not in group 'dhcp'.");
}

TEST_F(SQLiteEngine, StatementsAreJudgedBeforeTheirFirstRun) {
    std::filesystem::create_directory(folder.path() + "/statements");
    std::ofstream(folder.path() + "/statements/test.inc")
        << "name=t.by_name\ngroup=peers\narg_names=NAME\narg_types=[__DB_TYPE_STRING__]\n"
           "statement=SELECT T.* FROM <<TABLE>> AS T WHERE T.TARGET =<<NAME>>\n\n"
           "name=t.in_list\ngroup=everything\narg_names=KEYS\narg_types=list "
           "[__DB_TYPE_ULONG__]\n"
           "statement=SELECT COUNT(*) AS COUNT FROM <<TABLE>> AS T WHERE T.PK<<KEYS>>\n\n"
           "name=t.bad_column\ngroup=everything\narg_names=\narg_types=\n"
           "statement=SELECT T.NO_SUCH_COLUMN FROM <<TABLE>> AS T\n\n"
           "name=t.bad_column_late\ngroup=peers\narg_names=\narg_types=\nprecompile=no\n"
           "statement=SELECT T.NO_SUCH_COLUMN FROM <<TABLE>> AS T\n\n"
           "name=t.bad_syntax\ngroup=peers\narg_names=\narg_types=\n"
           "statement=SELEC * FROM <<TABLE>>\n";
    std::ofstream(folder.path() + "/statements/test.grp")
        << "group=peers\ntables=nbx_rep_peers\n\ngroup=everything\ntables=*\n";
    reopen(tables(), folder.path() + "/statements");

    const struct {
        const char* table;
        const char* statement;
        CDBStatementState::Status status;
        bool generic;
        const char* error;  // found in the state's error
    } cases[] = {
        {"nbx_rep_peers", "t.by_name", CDBStatementState::kReady, false, ""},
        {"address_binding", "t.in_list", CDBStatementState::kReady, true, ""},
        // Not applying to the table: another group, an unknown statement, an undeclared table.
        {"address_binding", "t.by_name", CDBStatementState::kIllegal, false, nullptr},
        {"nbx_rep_peers", "t.unknown", CDBStatementState::kIllegal, false, nullptr},
        {"nbx_undeclared", "t.in_list", CDBStatementState::kIllegal, false, nullptr},
        {"address_binding", "t.bad_column", CDBStatementState::kUnusable, true, "no such column"},
        {"nbx_rep_peers", "t.bad_syntax", CDBStatementState::kUnusable, false, "syntax error"},
        // One that is compiled only when run is not tried here.
        {"nbx_rep_peers", "t.bad_column_late", CDBStatementState::kReady, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.table) + " " + c.statement);
        const CDBStatementState state = db().prepare(c.table, c.statement);
        EXPECT_EQ(state.status, c.status);
        if (!c.error) continue;
        EXPECT_EQ(state.generic, c.generic);
        EXPECT_NE(state.error.find(c.error), std::string::npos) << state.error;
        EXPECT_EQ(state.error.empty(), !*c.error);
    }
    // The probes left nothing behind: the statement runs.
    nbx::CStringMap arguments;
    arguments.set("KEYS", "1");
    const CDBRecordList rows = db().execute(0, "address_binding", "t.in_list", arguments);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.front().values.at("COUNT"), "0");
}

TEST_F(SQLiteEngine, BadSqlGivesSQLitesReason) {
    const Failure f = failure([&] { db().select(0, "address_binding", "X = = 1"); });
    EXPECT_EQ(f.message,
              "Cannot execute sql statement 'SELECT T.* FROM \"address_binding\" AS T WHERE (X = = "
              "1) ORDER BY T.PK'.");
    EXPECT_EQ(f.reason, "near \"=\": syntax error");
    EXPECT_EQ(f.module, "host");

    // A second statement smuggled into a condition is not run.
    EXPECT_TRUE(failure([&] {
                    db().select(0, "address_binding", "1); DROP TABLE nbx_rep_peers; --");
                }).thrown);
    EXPECT_EQ(db().count(0, "nbx_rep_peers", ""), 0u);
}

TEST_F(SQLiteEngine, OnlyCommittedWorkIsSeenAndSurvivesANewEngineOnTheSameFile) {
    {
        CDBTransaction tx(db());
        db().write(tx.handle(), peer(1, "a"));
        EXPECT_EQ(peerKeys(db(), tx.handle()), "1");
        EXPECT_EQ(peerKeysFromOtherThread(), "");  // not committed yet
        tx.rollback();
    }
    {
        CDBTransaction tx(db());
        db().write(tx.handle(), peer(2, "b"));
    }  // destroyed without commit
    {
        CDBTransaction tx(db());
        db().write(tx.handle(), record("nbx_rep_peers", 3, {{"TARGET", "c"}, {"ENABLED", "1"}}));
        db().write(tx.handle(), peer(4, "d"));
        db().remove(tx.handle(), "nbx_rep_peers", 4);
        tx.commit();
    }
    reopen();
    const CDBRecordList rows = db().select(0, "nbx_rep_peers", "");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].pk, 3u);
    EXPECT_EQ(rows[0].values,
              (std::map<std::string, std::string>{{"ENABLED", "1"}, {"TARGET", "c"}}));
}

TEST_F(SQLiteEngine, AFailedStatementRollsBackTheWholeTransaction) {
    db().write(0, peer(1, "before"));
    CDBTransaction tx(db());
    db().write(tx.handle(), peer(1, "changed"));
    db().write(tx.handle(), peer(2, "new"));
    EXPECT_TRUE(failure([&] {
                    db().write(tx.handle(), record("nbx_rep_peers", 3, {{"COLOUR", "red"}}));
                }).thrown);
    // The transaction is gone: its handle accepts nothing but the rollback.
    const std::string aborted = "Transaction " + std::to_string(tx.handle()) +
                                " was rolled back after a failed statement. | Transaction aborted.";
    EXPECT_EQ(failure([&] { tx.commit(); }).text(), aborted);
    EXPECT_EQ(failure([&] { db().write(tx.handle(), peer(4, "x")); }).text(), aborted);
    tx.rollback();
    const CDBRecordList rows = db().select(0, "nbx_rep_peers", "");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].values.at("TARGET"), "before");
    // The connection goes on with a new transaction.
    CDBTransaction next(db());
    db().write(next.handle(), peer(5, "after"));
    next.commit();
    EXPECT_EQ(peerKeys(db()), "1,5");
}

TEST_F(SQLiteEngine, TransactionHandlesAreCheckedPerConnection) {
    CDBTransaction tx(db());
    EXPECT_EQ(failure([&] { db().begin(); }).text(),
              "Cannot begin a transaction. | A transaction is already active on this connection.");
    EXPECT_EQ(failure([&] { db().write(0, peer(1, "x")); }).text(),
              "Cannot write outside transaction " + std::to_string(tx.handle()) +
                  ", which is open on this connection. | Transaction in progress.");
    EXPECT_EQ(db().count(0, "nbx_rep_peers", ""), 0u);  // reading is fine

    Failure foreign;
    std::thread([&] {
        foreign = failure([&] { engine->connection().commit(tx.handle()); });
    }).join();
    EXPECT_EQ(foreign.text(),
              "Unknown transaction " + std::to_string(tx.handle()) + ". | No such transaction.");
}

TEST_F(SQLiteEngine, ThreadsHaveTheirOwnConnectionsAndWriteConcurrently) {
    constexpr int kRows = 40;
    std::atomic<int> ready{0};
    CIDBConnection* used[2] = {nullptr, nullptr};
    std::string errors[2];
    std::set<std::uint32_t> taken[2];  // keys taken outside a transaction
    std::thread writers[2];
    for (int t = 0; t < 2; ++t) {
        writers[t] = std::thread([&, t] {
            CIDBConnection& mine = engine->connection();
            used[t] = &mine;
            ++ready;
            while (ready < 2) std::this_thread::yield();
            try {
                for (int i = 0; i < kRows; ++i) {
                    taken[t].insert(mine.nextKey("address_binding"));
                    CDBTransaction tx(mine);
                    const std::uint32_t key = mine.nextKey("nbx_rep_peers");
                    mine.write(tx.handle(), peer(key, "t" + std::to_string(t)));
                    if (i % 2) mine.write(tx.handle(), peer(key, "u"));
                    tx.commit();
                }
            } catch (nbx::CException& e) {
                errors[t] = e.reasonText();
            }
        });
    }
    for (std::thread& writer : writers) writer.join();
    EXPECT_EQ(errors[0], "");
    EXPECT_EQ(errors[1], "");
    EXPECT_NE(used[0], used[1]);
    EXPECT_NE(used[0], &db());
    EXPECT_EQ(db().count(0, "nbx_rep_peers", "T.PK >= 1 AND T.PK <= 80"), 2u * kRows);
    taken[0].insert(taken[1].begin(), taken[1].end());
    EXPECT_EQ(taken[0].size(), 2u * kRows) << "a key was handed out twice";
}

TEST_F(SQLiteEngine, KeysAreMonotonicAcrossRollbacksAndReopens) {
    EXPECT_EQ(db().nextKey("nbx_rep_peers"), 1u);
    EXPECT_EQ(db().nextKey("nbx_rep_peers"), 2u);
    EXPECT_EQ(db().nextKey("address_binding"), 1u);
    {
        CDBTransaction tx(db());
        EXPECT_EQ(db().nextKey("nbx_rep_peers"), 3u);
    }  // rolled back: the key is still not handed out again
    EXPECT_EQ(db().nextKey("nbx_rep_peers"), 4u);
    // A row written under a key of its own is never overwritten by a new key.
    db().write(0, peer(100, "x"));
    EXPECT_EQ(db().nextKey("nbx_rep_peers"), 101u);
    reopen();
    EXPECT_EQ(db().nextKey("nbx_rep_peers"), 102u);
    EXPECT_EQ(db().nextKey("address_binding"), 2u);
}

TEST_F(SQLiteEngine, KeysTakenByAProcessThatDiedAreNotHandedOutAgain) {
    engine.reset();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Takes keys and dies without closing anything.
        int code = 1;
        try {
            auto doomed = make();
            doomed->open(tables());
            CIDBConnection& connection = doomed->connection();
            connection.nextKey("nbx_rep_peers");
            CDBTransaction tx(connection);
            const std::uint32_t key = connection.nextKey("nbx_rep_peers");
            connection.write(tx.handle(), peer(key, "child"));
            tx.commit();
            connection.nextKey("nbx_rep_peers");
            code = key == 2 ? 0 : 2;
        } catch (...) {
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    reopen();
    EXPECT_EQ(peerKeys(db()), "2");
    EXPECT_EQ(db().nextKey("nbx_rep_peers"), 4u);
}

TEST_F(SQLiteEngine, ClosedOrUnopenableEnginesRefuseWork) {
    CIDBConnection& held = db();
    engine->close();
    EXPECT_FALSE(engine->isOpen());
    EXPECT_EQ(failure([&] { held.count(0, "nbx_rep_peers", ""); }).text(),
              "Cannot use database '" + path + "'. | The database is closed.");
    EXPECT_EQ(failure([&] { engine->connection(); }).reason, "The database is closed.");
    engine->open(tables());
    EXPECT_EQ(db().count(0, "nbx_rep_peers", ""), 0u);
    EXPECT_EQ(failure([&] { engine->open(tables()); }).reason, "The database is already open.");

    const std::string nowhere = folder.path() + "/missing/dir/host.db";
    host::CSQLiteEngine missing(host::CSQLiteEngine::Settings{nowhere, ""});
    EXPECT_EQ(failure([&] { missing.open(tables()); }).text(),
              "Unable to open database '" + nowhere + "'. | unable to open database file");
    EXPECT_FALSE(missing.isOpen());

    std::filesystem::create_directories(folder.path() + "/statements");
    std::ofstream(folder.path() + "/statements/a.inc")
        << "name=a\ngroup=nowhere\narg_names=\narg_types=\nstatement=SELECT 1\n";
    engine = make(folder.path() + "/statements");
    EXPECT_EQ(failure([&] { engine->open(tables()); }).text(),
              "Cannot locate table group 'nowhere'. | Spec group does not exist.");
    EXPECT_FALSE(engine->isOpen());
}
