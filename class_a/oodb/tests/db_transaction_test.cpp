#include "oodb/db_transaction.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fake_engine.h"
#include "oodb/db_abstract_factory_facade.h"
#include "oodb/db_statement_file_reader.h"
#include "oodb_test_support.h"

using oodb_test::RecordingConnection;
using oodb_test::textOf;

using Calls = std::vector<std::string>;

TEST(DBTransaction, CommitEndsItAndLeavingItUnfinishedRollsBack) {
    RecordingConnection connection;
    {
        CDBTransaction tx(connection);
        EXPECT_EQ(tx.handle(), 1u);
        tx.commit();
        EXPECT_FALSE(tx.active());
        EXPECT_EQ(textOf([&] { tx.commit(); }),
                  "Cannot commit transaction. | The transaction has ended.");
        EXPECT_EQ(textOf([&] { tx.rollback(); }),
                  "Cannot roll back transaction. | The transaction has ended.");
    }
    try {
        CDBTransaction tx(connection);
        throw std::runtime_error("work failed");
    } catch (std::runtime_error&) {
    }
    connection.failCommit = true;
    {
        CDBTransaction tx(connection);
        EXPECT_EQ(textOf([&] { tx.commit(); }), "Commit failed. | ");
        EXPECT_TRUE(tx.active());
    }
    EXPECT_EQ(connection.calls, (Calls{"begin 1", "commit 1", "begin 2", "rollback 2", "begin 3",
                                       "commit 3", "rollback 3"}));
}

TEST(DBTransaction, BindsToANamedPrecompiledStatementAndRunsIt) {
    oodb_test::TempDir dir;
    CDBStatementFileReader statements;
    statements.read(dir.write("s.inc",
                              "name=generic.oid\ngroup=generic\narg_names=OID\n"
                              "arg_types=[__DB_TYPE_ULONG__]\nstatement=SELECT <<OID>>\n\n"
                              "name=adhoc\ngroup=generic\narg_names=\narg_types=\n"
                              "statement=SELECT 1\nprecompile=no\n"));
    RecordingConnection connection;
    CDBTransaction tx(connection);
    EXPECT_EQ(textOf([&] { tx.execute("address_pool", nbx::CStringMap()); }),
              "Cannot run the transaction's statement. | "
              "No precompiled statement is bound to the transaction.");
    EXPECT_EQ(textOf([&] { tx._setTransaction(statements, "generic.name"); }),
              "Unable to find precompiled statement 'generic.name'. | No such statement.");
    EXPECT_EQ(textOf([&] { tx._setTransaction(statements, "adhoc"); }),
              "Failed to select precompiled statement 'adhoc'. | No such statement.");
    EXPECT_EQ(tx.statement(), "");

    tx._setTransaction(statements, "generic.oid");
    tx.execute("address_pool", nbx::CStringMap("OID=7", "\n"), 1);
    EXPECT_EQ(connection.calls.back(), "execute 1 address_pool generic.oid OID=7\n1");
}

TEST(DBTransaction, BeginsOnTheCallingThreadsConnectionOfTheFacade) {
    oodb_test::RecordingEngine engine;
    CDBAbstractFactoryFacade facade;
    facade.registerDatabase(engine);
    EXPECT_EQ(textOf([&] { CDBTransaction tx(facade); }),
              "Cannot assign thread-reference to a database connection. | "
              "Object is not thread specific.");
    facade.threadFacade();
    { CDBTransaction tx(facade); }
    auto& mine = static_cast<RecordingConnection&>(engine.connection());
    EXPECT_EQ(mine.calls, (Calls{"begin 1", "rollback 1"}));
}
