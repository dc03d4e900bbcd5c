#include "oodb/db_base_session.h"

#include <gtest/gtest.h>

#include <thread>

#include "testing/recording_controller.h"

#include "fake_engine.h"
#include "oodb_test_support.h"

using oodb_test::failureOf;
using oodb_test::RecordingEngine;
using oodb_test::textOf;

namespace {

const std::vector<CDBTableDef> kPrototypes = {
    {"nbx_rep_peers", CDBTypeStringMap("TARGET=[__DB_TYPE_STRING__]\n", "\n")},
    {"nbx_domains",
     CDBTypeStringMap("NAME=[__DB_TYPE_STRING__]\nPRIORITY=[__DB_TYPE_ULONG__]\n", "\n")},
};

}  // namespace

TEST(BaseSession, OpensTheEngineWithTheDeclaredPrototypesAndFindsThemByName) {
    RecordingEngine engine;
    CDBBaseSession session;
    session.open(engine, kPrototypes);
    ASSERT_TRUE(session.isOpen());
    ASSERT_EQ(engine.declared.size(), 2u);
    EXPECT_EQ(engine.declared[0].name, "nbx_domains");  // in name order
    EXPECT_EQ(session["nbx_domains"].columns.get("PRIORITY"), "[__DB_TYPE_ULONG__]");
    EXPECT_EQ(session.cloneSimple("nbx_rep_peers").table, "nbx_rep_peers");

    const auto missing = failureOf([&] { session["nbx_pools"]; });
    EXPECT_EQ(missing.message, "Failed to find object prototype 'nbx_pools'.");
    EXPECT_EQ(missing.reason, "No such prototype.");
    EXPECT_EQ(missing.module, "oodb");
}

TEST(BaseSession, ABadDeclarationLeavesTheSessionClosed) {
    RecordingEngine engine;
    CDBBaseSession session;
    std::vector<CDBTableDef> bad = kPrototypes;
    bad.push_back({"nbx_bad", CDBTypeStringMap("X=[__DB_TYPE_NONSENSE__]\n", "\n")});
    EXPECT_EQ(failureOf([&] { session.open(engine, bad); }).message,
              "Failed to add prototype 'nbx_bad'.");
    EXPECT_FALSE(session.isOpen());
    EXPECT_TRUE(engine.declared.empty());  // refused before the engine saw anything
}

TEST(BaseSession, EachThreadUsesItsOwnConnectionUntilItReleasesIt) {
    RecordingEngine engine;
    CDBBaseSession session;
    EXPECT_EQ(textOf([&] { session.connection(); }),
              "Cannot find a database connection for session ''. | The database is closed.");
    session.open(engine, kPrototypes);
    CIDBConnection* mine = &session.connection();
    EXPECT_EQ(&session.connection(), mine);

    CIDBConnection* theirs = nullptr;
    bool released = false;
    std::thread([&] {
        theirs = &session.connection();
        released = session.releaseThread();
    }).join();
    EXPECT_NE(theirs, mine);
    EXPECT_TRUE(released);
    EXPECT_EQ(engine.connections(), 1u);
    EXPECT_EQ(engine.released, 1);

    session.close();
    EXPECT_FALSE(session.releaseThread());
    EXPECT_EQ(textOf([&] { session.connection(); }),
              "Cannot find a database connection for session 'CIDBFacadeFactory'. | The database "
              "is closed.");
    EXPECT_EQ(textOf([&] { session["nbx_domains"]; }),
              "Failed to find object prototype 'nbx_domains'. | No such prototype.");
}

TEST(BaseSession, WithATimeoutManagerAnOperationPastItsLimitIsCutShort) {
    nbx::testing::RecordingController controller;
    CDBTimeoutMgr manager(&controller, std::chrono::milliseconds(5));
    ASSERT_EQ(manager.run(), 0);
    RecordingEngine engine;
    CDBBaseSession session;
    session.open(engine, kPrototypes);
    session.setTimeout(&manager, std::chrono::milliseconds(50));

    CIDBConnection& guarded = session.connection();
    EXPECT_EQ(&session.connection(), &guarded);
    auto& inner = static_cast<oodb_test::RecordingConnection&>(engine.connection());
    ASSERT_NE(&guarded, static_cast<CIDBConnection*>(&inner));
    inner.hang = true;
    const auto failure = failureOf([&] { guarded.select(0, "nbx_domains", "T.PK >= 0"); });
    EXPECT_EQ(failure.reason, "interrupted");
    EXPECT_EQ(manager.watching(), 0u);  // the guard left with the operation

    inner.hang = false;
    EXPECT_TRUE(guarded.select(0, "nbx_domains", "T.PK >= 0").empty());
    // Every change passes through the guard to the thread's own connection.
    const CDBTransactionHandle tx = guarded.begin();
    guarded.write(tx, session.cloneSimple("nbx_domains"));
    guarded.remove(tx, "nbx_domains", 3);
    guarded.execute(tx, "nbx_domains", "generic.oid", nbx::CStringMap(), 0);
    guarded.commit(tx);
    guarded.rollback(tx);
    EXPECT_EQ(inner.calls, (std::vector<std::string>{
                               "begin 1", "write 1 nbx_domains", "remove 1 nbx_domains 3",
                               "execute 1 nbx_domains generic.oid 0", "commit 1", "rollback 1"}));
    session.setTimeout(nullptr, std::chrono::milliseconds(0));
    EXPECT_EQ(&session.connection(), static_cast<CIDBConnection*>(&inner));
    session.close();
    manager.stop();
}
