// Objects through the session and proxies, against the in-memory engine.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "oodb_persistence/prst_user_class_ptr.h"
#include "security/security_exception.h"
#include "test_support.h"

using prsttest::failure;

namespace {

class StoreTest : public prsttest::SessionTest {
protected:
    // Commits a new gadget in its own transaction and returns its OID.
    std::uint32_t storeGadget(const std::string& name, std::uint32_t size = 0) {
        auto gadget = session.newObject<CTestGadget>();
        gadget->setName(name);
        gadget->setSize(size);
        CDBTransactionHandle tx = session.begin();
        gadget->commit(tx, CFullAccessToken::instance());
        session.commit(tx);
        return gadget->oid();
    }

    CFixedRightsToken readOnly{CAccessToken::RIGHT_READ};
};

}  // namespace

TEST_F(StoreTest, CommittedObjectIsFoundByOIDThroughTheGenericStatement) {
    std::uint32_t oid = storeGadget("alpha", 3);
    EXPECT_EQ(oid, 1u);  // the table's sequence starts at 1

    db().log.clear();
    auto found = session.find<CTestGadget>(0, oid);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name(), "alpha");
    EXPECT_EQ(found->size(), 3u);
    EXPECT_FALSE(found->modified());
    EXPECT_EQ(db().log, (std::vector<std::string>{"execute test_gadgets: generic.oid OID=1\n"}));
    EXPECT_EQ(db().rows("test_gadgets").at(1).values.at("META_CLASS"), "CTestGadget[simple]");
    EXPECT_EQ(session.find<CTestGadget>(0, 99), nullptr);
}

TEST_F(StoreTest, SelectReturnsEveryObjectInKeyOrderAndCountAgrees) {
    storeGadget("a");
    storeGadget("b");
    storeGadget("c");
    CPrstObjectList all = gadgets().select(0);
    std::string names;
    for (const CPrstObjectPtr& object : all) names += object->get<std::string>("name");
    EXPECT_EQ(names, "abc");
    EXPECT_EQ(gadgets().count(0), 3u);
    EXPECT_EQ(gadgets().count(0, CPrstDBProxy::equals("NAME", "b")), 1u);
    EXPECT_EQ(db().log.back(), "select test_gadgets: T.NAME = 'b' AND T.PK >= 0");
    EXPECT_EQ(gadgets().select(0, std::string(), 2).size(), 1u);
}

TEST_F(StoreTest, ModifiedCommitMovesTheModificationTimeAndUnchangedCommitWritesNothing) {
    const std::int64_t start = nbx::CTimeT::now().value();
    auto gadget = session.newObject<CTestGadget>();
    gadget->string("name=old\nmod_time=Thu Jan  1 00:00:00 1970\n");
    gadget->commit(0, CFullAccessToken::instance());
    EXPECT_GE(gadget->modTime().value(), start);

    auto loaded = session.find<CTestGadget>(0, gadget->oid());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->modTime(), gadget->modTime());
    EXPECT_GE(std::stoll(db().rows("test_gadgets").at(gadget->oid()).values.at("MOD_TIME")), start);

    const std::size_t before = logged("write ").size();
    loaded->setName("old");  // the same value: not a change
    loaded->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(logged("write ").size(), before);

    loaded->put<nbx::CTimeT>("mod_time", nbx::CTimeT(0));
    loaded->setName("new");
    loaded->commit(0, CFullAccessToken::instance());
    EXPECT_GE(loaded->modTime().value(), start);
    EXPECT_EQ(session.find<CTestGadget>(0, gadget->oid())->name(), "new");
}

TEST_F(StoreTest, RemovedObjectIsGone) {
    std::uint32_t keep = storeGadget("keep");
    std::uint32_t drop = storeGadget("drop");
    auto gadget = session.find<CTestGadget>(0, drop);
    CDBTransactionHandle tx = session.begin();
    gadget->remove(tx, CFullAccessToken::instance());
    EXPECT_EQ(gadgets().count(0), 2u);  // until the transaction commits
    EXPECT_EQ(gadgets().count(tx), 1u);
    session.commit(tx);
    EXPECT_EQ(session.find<CTestGadget>(0, drop), nullptr);
    EXPECT_NE(session.find<CTestGadget>(0, keep), nullptr);
    EXPECT_EQ(gadgets().count(0), 1u);
    // A removed object is new again: committing it stores it once more.
    EXPECT_TRUE(gadget->pendingWrite());
    gadget->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(gadgets().count(0), 2u);
}

TEST_F(StoreTest, CommitWithoutWriteRightIsRefusedUnlessTheObjectIsUnchanged) {
    auto fresh = session.newObject<CTestGadget>();
    fresh->setName("intruder");
    EXPECT_EQ(failure<CSecurityException>([&] { fresh->commit(0, readOnly); }),
              "Cannot commit record 1 of class CTestGadget. | Access denied.");
    EXPECT_EQ(prsttest::site([&] { fresh->commit(0, readOnly); }),
              "oodb_persistence CPersistentSecuredObject::commit");
    EXPECT_TRUE(db().rows("test_gadgets").empty());

    // A new object is a write even before any attribute changes.
    auto untouched = session.newObject<CTestGadget>();
    EXPECT_EQ(failure<CSecurityException>([&] { untouched->commit(0, readOnly); }),
              "Cannot commit record 2 of class CTestGadget. | Access denied.");

    std::uint32_t oid = storeGadget("stored");
    auto loaded = session.find<CTestGadget>(0, oid);
    EXPECT_NO_THROW(loaded->commit(0, readOnly));
    loaded->setSize(9);
    EXPECT_EQ(failure<CSecurityException>([&] { loaded->commit(0, readOnly); }),
              "Cannot commit record 3 of class CTestGadget. | Access denied.");
    EXPECT_EQ(failure<CSecurityException>([&] { loaded->remove(0, readOnly); }),
              "Cannot remove record 3 of class CTestGadget. | Access denied.");
    EXPECT_EQ(session.find<CTestGadget>(0, oid)->size(), 0u);
}

TEST_F(StoreTest, FailedCommitKeepsTheChangesAndLeavesTheTransactionToTheCaller) {
    auto gadget = session.newObject<CTestGadget>();
    gadget->setName("late");
    CDBTransactionHandle tx = session.begin();
    db().failing = {"write"};
    EXPECT_EQ(failure([&] { gadget->commit(tx, CFullAccessToken::instance()); }),
              "Cannot commit clone. | Unable to commit record with primary key 1 in table "
              "'test_gadgets'.");
    EXPECT_TRUE(gadget->modified());
    EXPECT_EQ(db().open.count(tx), 1u);
    session.rollback(tx);

    db().failing.clear();
    gadget->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(session.find<CTestGadget>(0, 1)->name(), "late");
}

TEST_F(StoreTest, CreateByKeyNeedsExactlyOneRecord) {
    storeGadget("one");
    storeGadget("two");
    EXPECT_EQ(gadgets().create(0, 2)->get<std::string>("name"), "two");
    EXPECT_EQ(failure([&] { gadgets().create(0, 99); }),
              "Cannot create persistent object instance. | Database inconsistency with 0 matches "
              "for <test_gadgets,99>.");
    EXPECT_EQ(failure([&] { gadgets().create(0, kNoKey); }),
              "Cannot create persistent object instance. | Database inconsistency with 2 matches "
              "for <test_gadgets,4294967295>.");
    db().failing = {"select"};
    EXPECT_EQ(failure([&] { gadgets().create(0, 5); }),
              "Cannot create a clone from an existing database record. | Unable to find record "
              "with primary key 5 in table 'test_gadgets'.");
}

TEST_F(StoreTest, RefreshAndRollbackRereadTheStoredRecord) {
    std::uint32_t oid = storeGadget("stored", 1);
    auto gadget = session.find<CTestGadget>(0, oid);
    gadget->setName("changed");
    gadget->rollback(0);
    EXPECT_EQ(gadget->name(), "stored");
    EXPECT_FALSE(gadget->modified());

    auto other = session.find<CTestGadget>(0, oid);
    other->setSize(7);
    other->commit(0, CFullAccessToken::instance());
    gadget->refresh(0);
    EXPECT_EQ(gadget->size(), 7u);

    db().committed["test_gadgets"].clear();
    EXPECT_EQ(failure([&] { gadget->refresh(0); }),
              "Cannot refresh clone. | Unable to refresh record with primary key 1 in table "
              "'test_gadgets'.");
    EXPECT_EQ(failure([&] { gadget->rollback(0); }),
              "Cannot commit clone. | Unable to roll back record with primary key 1 in table "
              "'test_gadgets'.");
    EXPECT_EQ(gadget->size(), 7u);  // a failed reread leaves the object as it was
}

TEST_F(StoreTest, TheMetaClassEntryPicksTheClassOfARecordInASharedTable) {
    storeGadget("plain");
    auto wide = session.newObject<CTestWideGadget>();
    wide->string("name=wide\nwidth=12\n");
    wide->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(db().rows("test_gadgets").at(2).values.at("META_CLASS"), "CTestWideGadget[simple]");

    CPrstObjectList all = gadgets().select(0);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_NE(dynamic_cast<CTestGadget*>(all[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<CTestWideGadget*>(all[1].get()), nullptr);
    EXPECT_EQ(all[1]->get<std::string>("width"), "12");
    EXPECT_EQ(session.find<CTestGadget>(0, 2), nullptr);  // a wide gadget is not a gadget

    // A record whose meta entry names an unknown class, or a class of another table.
    db().committed["test_gadgets"][7] =
        CDBRecord{"test_gadgets", 7, {{"META_CLASS", "CGone[simple]"}}};
    EXPECT_EQ(failure<CPrstException<14>>([&] { gadgets().create(0, 7); }),
              "Unable to find a factory for class 'CGone'. | No such factory.");
    db().committed["test_gadgets"][8] =
        CDBRecord{"test_gadgets", 8, {{"META_CLASS", "CTestOwner[simple]"}}};
    EXPECT_EQ(failure([&] { gadgets().create(0, 8); }),
              "Cannot extract next clones. | Clone inherits prototype 'test_gadgets', should "
              "inherit 'test_owners'.");
}

TEST_F(StoreTest, AComplexObjectNeedsEveryOneOfItsRecords) {
    auto thing = session.newObject<CTestComplex>();
    thing->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(db().rows("test_complex").at(1).values.at("META_CLASS"), "CTestComplex[complex]");
    auto loaded = session.find<CTestComplex>(0, 1);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(failure([&] { loaded->id()["elsewhere"]; }),
              "Cannot find simple id for prototype 'elsewhere'. | No such id.");

    db().committed["test_complex_extra"].clear();
    EXPECT_EQ(failure([&] { session.find<CTestComplex>(0, 1); }),
              "Failed to create enough clones to instantiate an object of type 'CTestComplex'. | "
              "This object requires prototype clones for 'test_complex_extra'.");
}

TEST_F(StoreTest, OpeningDeclaresEveryColumnWithItsFieldTypeToken) {
    const CDBTableDef* gadgetTable = nullptr;
    for (const CDBTableDef& table : engine.opened) {
        if (table.name == "test_gadgets") gadgetTable = &table;
    }
    ASSERT_NE(gadgetTable, nullptr);
    // The two gadget classes share the table: the wide one adds its column.
    EXPECT_EQ(gadgetTable->columns.string(),
              "ADDRESS=[__DB_TYPE_IP_ADDRESS__]\n"
              "BLOB=[__DB_TYPE_BINARY_BLOB__]\n"
              "ENABLED=[__DB_TYPE_BOOL__]\n"
              "META_CLASS=[__DB_TYPE_STRING__]\n"
              "MOD_TIME=[__DB_TYPE_TIME_STAMP__]\n"
              "NAME=[__DB_TYPE_STRING__]\n"
              "OWNER_OID=[__DB_TYPE_LONG__]\n"
              "PARTS=[__DB_TYPE_TEXT_BLOB__]\n"
              "SIZE=[__DB_TYPE_UINT32__]\n"
              "WIDTH=[__DB_TYPE_STRING__]\n");
}

TEST_F(StoreTest, LinkCollectionsSurviveTheDatabase) {
    auto gadget = session.newObject<CTestGadget>();
    gadget->setName("box");
    gadget->parts().registerPeer(9, "lid");
    gadget->parts().registerPeer(4, "base with blank");
    gadget->commit(0, CFullAccessToken::instance());
    auto loaded = session.find<CTestGadget>(0, gadget->oid());
    ASSERT_EQ(loaded->parts().size(), 2u);
    EXPECT_EQ(loaded->parts()[1].oid, 4u);
    EXPECT_EQ(loaded->parts()[1].seqNr, 1u);
    EXPECT_EQ(loaded->parts()[1].nameKey, "base with blank");
}

TEST(PrstDBSession, OpenNeedsTheHostsDatabasePlugin) {
    CIPrstAbstractFactory registry;
    registry.registerClass<CTestGadget>();
    CPrstDBSession session(registry);
    const char* missing = "Unable to find a database plugin to support primary storage. | ";
    EXPECT_EQ(failure([&] { session.open(CInterfaceLookup()); }), missing);
    EXPECT_EQ(prsttest::site([&] { session.open(CInterfaceLookup()); }),
              "oodb_persistence CPrstDBSession::_connectToOodb");

    memdb::CMemoryEngine engine;
    engine.failOpen = true;
    auto lookup = [&](const std::string& name) { return engine.lookup(name); };
    EXPECT_EQ(failure([&] { session.open(lookup); }),
              "Unable to initialize database 'memory'. | The operation failed.");
    EXPECT_FALSE(session.isOpen());
    const char* noProxy = "Cannot find a database proxy for prototype 'gadget'. | No such proxy.";
    EXPECT_EQ(failure([&] { session["gadget"]; }), noProxy);
    CTestGadget alone;  // an object of no session
    alone.setName("alone");
    EXPECT_EQ(failure([&] { alone.commit(0, CFullAccessToken::instance()); }), noProxy);

    engine.failOpen = false;
    session.open(lookup);
    EXPECT_EQ(session["gadget"].table(), "test_gadgets");
    session.close();
    EXPECT_EQ(failure([&] { session.close(); }),
              "Unable to close the database connection to 'memory'. | The database is already "
              "closed.");

    // A proxy is inserted once per prototype.
    CIPrstDBProxyAbstractFactory proxies;
    const auto insert = [&] {
        proxies._insert("gadget",
                        std::make_unique<CPrstDBProxy>(session, registry.factory("CTestGadget")));
    };
    insert();
    EXPECT_EQ(
        failure(insert),
        "Unable to insert database proxy for prototype 'gadget'. | The proxy already exists.");
    EXPECT_EQ(proxies["gadget"].prototype(), "gadget");
    EXPECT_EQ(failure([&] { proxies["other"]; }),
              "Unable to find a database proxy for prototype 'other'. | No such proxy.");
}

TEST_F(StoreTest, PersistentPointerLoadsOnFirstUseAndChecksReadAccess) {
    db().committed["test_owners"][0] =
        CDBRecord{"test_owners", 0, {{"META_CLASS", "CTestOwner[simple]"}, {"NAME", "zero"}}};
    CPrstUserClassPtr<CTestOwner> zero(session.context(), 0);
    EXPECT_FALSE(zero.loaded());
    EXPECT_EQ(zero->name(), "zero");  // id 0 is an object like any other
    EXPECT_TRUE(zero.loaded());

    CPrstUserClassPtr<CTestOwner> none(session.context(), kNoKey);
    EXPECT_EQ(failure([&] { none->name(); }),
              "Cannot dereference persistent object of type 'CTestOwner'. | No such object.");

    CFixedRightsToken nothing(CAccessToken::RIGHT_NONE);
    CPrstUserClassPtr<CTestOwner> guarded(session.context(), 0, CSecurityStrategy(&nothing, true));
    EXPECT_EQ(failure([&] { guarded->name(); }),
              "Unable to read object 0 of type CTestOwner. | Access denied");
    CPrstUserClassPtr<CTestOwner> lax(session.context(), 0, CSecurityStrategy(&nothing, false));
    EXPECT_EQ(lax->name(), "zero");
}
