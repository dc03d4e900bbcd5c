// Selections object by object, traverses, counts, precompiled statements and the records of new
// complex objects, against the in-memory engine.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "test_support.h"

using prsttest::failure;

namespace {

class SelectionTest : public prsttest::SessionTest {
protected:
    std::uint32_t storeComplex(const std::string& name, const std::string& extra) {
        auto thing = session.newObject<CTestComplex>();
        thing->put<std::string>("name", name);
        thing->put<std::string>("extra", extra);
        thing->commit(0, CFullAccessToken::instance());
        return thing->oid();
    }
    static std::vector<std::string> names(CPrstObjectList& objects) {
        std::vector<std::string> out;
        for (auto& object : objects) {
            out.push_back(object->get<std::string>("name") + "/" +
                          object->get<std::string>("extra"));
        }
        return out;
    }
    CPrstObjectList drain(CPrstDBSelection& selection) {
        CPrstObjectList out;
        while (CPrstObjectPtr object = complexes()._selectNext(0, selection))
            out.push_back(std::move(object));
        return out;
    }
};

}  // namespace

TEST_F(SelectionTest, PlainSelectionReadsFurtherRecordsPerObjectAndTraverseReadsThemAtOnce) {
    storeComplex("a", "1");
    storeComplex("b", "2");
    storeComplex("c", "3");

    db().log.clear();
    CPrstDBSelection plain = complexes()._select(0);
    EXPECT_EQ(plain.size(), 3u);
    EXPECT_FALSE(plain.traversed());
    CPrstObjectList first = drain(plain);
    EXPECT_TRUE(plain.atEnd());
    EXPECT_EQ(complexes()._selectNext(0, plain), nullptr);
    EXPECT_EQ(logged("select ").size(), 4u);  // the top-level select and one per object

    db().log.clear();
    CPrstDBSelection traverse = complexes()._selectTraverse(0, std::string(), kNoKey, 2);
    EXPECT_TRUE(traverse.traversed());
    CPrstObjectList second = drain(traverse);
    EXPECT_EQ(logged("select "), (std::vector<std::string>{
                                     "select test_complex: T.PK >= 0",
                                     "select test_complex_extra: T.PK IN (1,2)",
                                 }));

    EXPECT_EQ(names(first), (std::vector<std::string>{"a/1", "b/2", "c/3"}));
    EXPECT_EQ(names(second), (std::vector<std::string>{"a/1", "b/2"}));
    EXPECT_EQ(second[1]->id()["test_complex_extra"].id, 2u);
    EXPECT_FALSE(second[1]->modified());
}

TEST_F(SelectionTest, TraverseReadsTheFurtherRecordsOfManyObjectsInChunksOf500Keys) {
    for (int i = 0; i < 501; ++i) storeComplex("n" + std::to_string(i), std::to_string(i));
    db().log.clear();
    CPrstDBSelection traverse = complexes()._selectTraverse(0);
    CPrstObjectList all = drain(traverse);
    ASSERT_EQ(all.size(), 501u);
    EXPECT_EQ(names(all).back(), "n500/500");
    const std::vector<std::string> lines = logged("select ");
    ASSERT_EQ(lines.size(), 3u);  // the top-level select and two chunks of keys
    EXPECT_EQ(lines[2], "select test_complex_extra: T.PK IN (501)");
}

TEST_F(SelectionTest, ObjectsWithoutTheirFurtherRecordFailTheNextStepAndTheTraverseCount) {
    storeComplex("a", "1");
    const std::uint32_t broken = storeComplex("b", "2");
    db().committed["test_complex_extra"].erase(broken);

    EXPECT_EQ(complexes()._selectCount(0), 2u);
    EXPECT_EQ(complexes()._selectCountTraverse(0), 1u);
    db().log.clear();
    EXPECT_EQ(complexes()._selectCountTraverse(0, std::string(), broken), 0u);
    EXPECT_EQ(db().log.front(),
              "count test_complex: T.PK IN (SELECT PK FROM \"test_complex_extra\") AND T.PK = 2");
    auto gadget = session.newObject<CTestGadget>();
    gadget->setName("g");
    gadget->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(gadgets()._selectCountTraverse(0), 1u);  // a simple class counts its records

    for (bool traverse : {false, true}) {
        SCOPED_TRACE(traverse);
        CPrstDBSelection selection =
            traverse ? complexes()._selectTraverse(0) : complexes()._select(0);
        EXPECT_EQ(complexes()._selectNext(0, selection)->get<std::string>("name"), "a");
        EXPECT_EQ(failure([&] { complexes()._selectNext(0, selection); }),
                  "Cannot select next in table 'test_complex'. | The operation failed.");
        EXPECT_FALSE(selection.atEnd());  // the failed object is still the next one
    }
}

TEST_F(SelectionTest, EngineFailuresCarryTheTextOfTheFailedOperation) {
    storeComplex("a", "1");
    CPrstDBSelection pending = complexes()._select(0);
    const std::string failed = " | The operation failed.";
    const struct {
        const char* operation;
        std::function<void()> call;
        std::string expected;
    } cases[] = {
        {"select", [&] { complexes()._select(0); },
         "Cannot execute select in table 'test_complex'." + failed},
        {"select", [&] { complexes()._selectTraverse(0); },
         "Cannot execute select traverse from table 'test_complex'." + failed},
        {"select", [&] { complexes()._selectNext(0, pending); },
         "Cannot select next in table 'test_complex'." + failed},
        {"count", [&] { complexes()._selectCountTraverse(0); },
         "Cannot select traverse count in table 'test_complex'." + failed},
        {"count", [&] { gadgets().count(0); }, "Cannot select in table 'test_gadgets'." + failed},
        {"execute", [&] { gadgets().findByOID(0, 1); },
         "Cannot fast select in table 'test_gadgets'." + failed},
        {"remove",
         [&] {
             gadgets().remove(0, CDBRecord{"test_gadgets", 4, {}});
         },
         "Cannot remove clone. | Unable to remove record with primary key 4 in table "
         "'test_gadgets'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        db().failing = {c.operation};
        EXPECT_EQ(failure(c.call), c.expected);
    }
}

TEST_F(SelectionTest, ACountingRowMustHoldOneNumberInItsCountColumn) {
    auto row = [](const char* column, const char* value) {
        return CDBRecordList{CDBRecord{"test_gadgets", kNoKey, {{column, value}}}};
    };
    EXPECT_EQ(gadgets()._getCountResult(row("COUNT", "7")), 7u);
    EXPECT_EQ(gadgets()._getCountResult(row("COUNT", "4294967295")), 4294967295u);
    const CDBRecordList bad[] = {
        {},
        row("ROWS", "7"),
        row("COUNT", ""),
        row("COUNT", "-1"),
        row("COUNT", "7 rows"),
        row("COUNT", "4294967296"),
        {row("COUNT", "1").front(), row("COUNT", "2").front()},
    };
    for (const CDBRecordList& rows : bad) {
        EXPECT_EQ(
            failure([&] { gadgets()._getCountResult(rows); }),
            "Cannot retrieve number of rows in table 'test_gadgets'. | The operation failed.");
    }
}

TEST_F(SelectionTest, DerivedValuesAndCountsComeFromPrecompiledStatements) {
    const CDBStatementState ready{CDBStatementState::kReady, false, std::string()};
    db().states["test.largest"] = ready;
    db().states["test.count"] = ready;
    db().canned["test.largest"] = {CDBRecord{"test_gadgets", kNoKey, {{"VALUE", "42"}}}};
    db().canned["test.count"] = {CDBRecord{"test_gadgets", kNoKey, {{"COUNT", "3"}}}};
    const nbx::CStringMap none;

    EXPECT_EQ(gadgets().fastDerived(0, "test.largest", none, "VALUE"), std::string("42"));
    EXPECT_EQ(gadgets().fastDerived(0, "test.largest", none, "OTHER"), std::nullopt);
    EXPECT_EQ(gadgets().fastCount(0, "test.count", none), 3u);
    db().canned["test.largest"].clear();
    EXPECT_EQ(gadgets().fastDerived(0, "test.largest", none, "VALUE"), std::nullopt);

    db().failing = {"execute"};
    EXPECT_EQ(failure([&] { gadgets().fastDerived(0, "test.largest", none, "VALUE"); }),
              "Cannot derive column value in table 'test_gadgets'. | The operation failed.");
    EXPECT_EQ(failure([&] { gadgets().fastCount(0, "test.count", none); }),
              "Cannot retrieve number of rows in table 'test_gadgets'. | The operation failed.");
}

TEST_F(SelectionTest, AStatementIsCompiledOnceAndAnUnusableOneFailsWithoutReachingTheEngine) {
    db().states["test.broken"] = {CDBStatementState::kUnusable, false, "no such column: X"};
    db().states["test.broken_generic"] = {CDBStatementState::kUnusable, true, "syntax error"};
    db().canned["test.broken"] = {};
    const nbx::CStringMap none;
    auto run = [&](const char* statement) {
        return failure([&] { gadgets().fastSelect(0, statement, none); });
    };

    EXPECT_EQ(run("test.broken"),
              "Precompiled statement test.broken, deemed unusable. | Error when compiled: no such "
              "column: X");
    EXPECT_EQ(run("test.broken"),
              "Unable to open precompiled statement 'test.broken'. | Statement didn't compile.");
    EXPECT_EQ(run("test.broken_generic"),
              "Generic precompiled statement <test.broken_generic,test_gadgets>, deemed unusable. "
              "| Error when compiled: syntax error");
    EXPECT_EQ(run("test.broken_generic"),
              "Unable to open generic precompiled statement <test.broken_generic,test_gadgets>. | "
              "Statement didn't compile.");
    EXPECT_EQ(run("test.unknown"),
              "Unable to open precompiled statement. | Statement test.unknown in table "
              "test_gadgets is illegal.");
    EXPECT_EQ(run("test.unknown"),
              "Unable to open precompiled statement. | Statement test.unknown in table "
              "test_gadgets is illegal.");
    EXPECT_EQ(db().prepared, (std::vector<std::string>{"test_gadgets: test.broken",
                                                       "test_gadgets: test.broken_generic",
                                                       "test_gadgets: test.unknown"}));
    EXPECT_TRUE(logged("execute").empty());

    // The generic statement opens once per table; a failed attempt to compile is not kept.
    EXPECT_EQ(complexes().findByOID(0, 1), nullptr);
    EXPECT_EQ(gadgets().findByOID(0, 1), nullptr);
    EXPECT_EQ(gadgets().findByOID(0, 2), nullptr);
    db().failing = {"prepare"};
    EXPECT_EQ(failure([&] { complexes().fastSelect(0, "test.later", none); }),
              "Unable to open precompiled statement 'test.later'. | The operation failed.");
    db().failing.clear();
    EXPECT_EQ(run("test.later"),
              "Unable to open precompiled statement. | Statement test.later in table test_gadgets "
              "is illegal.");
    EXPECT_EQ(db().prepared.size(), 7u);
}

TEST_F(SelectionTest, ANewComplexObjectCreatesItsFurtherRecordsAndAStoredOneCommitsThem) {
    auto thing = session.newObject<CTestComplex>();
    thing->put<std::string>("name", "n");
    thing->put<std::string>("extra", "e");
    db().failing = {"write test_complex_extra"};
    CDBTransactionHandle tx = session.begin();
    EXPECT_EQ(failure([&] { thing->commit(tx, CFullAccessToken::instance()); }),
              "Cannot create new database records. | Unable to create a new nested record in "
              "table 'test_complex_extra'.");
    session.rollback(tx);
    EXPECT_TRUE(db().rows("test_complex").empty());

    db().failing.clear();
    thing->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(db().rows("test_complex_extra").at(thing->oid()).values.at("EXTRA"), "e");

    thing->put<std::string>("extra", "f");
    db().failing = {"write test_complex_extra"};
    EXPECT_EQ(failure([&] { thing->commit(0, CFullAccessToken::instance()); }),
              "Cannot commit clone. | Unable to commit record with primary key 1 in table "
              "'test_complex_extra'.");
}

TEST_F(SelectionTest, OneRecordOfAnObjectIsWrittenOrRereadOnItsOwn) {
    const std::uint32_t oid = storeComplex("name", "extra");
    auto thing = session.find<CTestComplex>(0, oid);
    ASSERT_NE(thing, nullptr);
    using Op = CTestComplex::CCloneOp;

    thing->put<std::string>("name", "new name");
    thing->put<std::string>("extra", "new extra");
    db().log.clear();
    thing->_callClone(0, "test_complex_extra", Op::kCommit);
    EXPECT_EQ(db().log, (std::vector<std::string>{"write test_complex_extra: 1"}));
    EXPECT_EQ(db().rows("test_complex_extra").at(oid).values.at("EXTRA"), "new extra");
    EXPECT_EQ(db().rows("test_complex").at(oid).values.at("NAME"), "name");
    EXPECT_FALSE(thing->attr("extra").modified());
    EXPECT_TRUE(thing->attr("name").modified());  // its record was left alone

    thing->_callClone(0, "complex_thing", Op::kRollback);  // the top-level one, by prototype
    EXPECT_EQ(thing->get<std::string>("name"), "name");
    EXPECT_FALSE(thing->modified());

    db().committed["test_complex_extra"][oid].values["EXTRA"] = "changed elsewhere";
    thing->_callClone(0, "test_complex_extra", Op::kRefresh);
    EXPECT_EQ(thing->get<std::string>("extra"), "changed elsewhere");

    EXPECT_EQ(failure([&] { thing->_callClone(0, "test_gadgets", Op::kCommit); }),
              "Cannot refresh, rollback or commit a clone. | Unable to find prototype "
              "'test_gadgets'.");
}
