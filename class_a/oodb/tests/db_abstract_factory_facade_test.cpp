#include "oodb/db_abstract_factory_facade.h"

#include <gtest/gtest.h>

#include <thread>

#include "fake_engine.h"
#include "oodb/db_abstract_factory_thread_facade.h"
#include "oodb_test_support.h"

using oodb_test::failureOf;
using oodb_test::RecordingEngine;
using oodb_test::textOf;

namespace {

const char* const kNotThreadSpecific =
    "Cannot assign thread-reference to a database connection. | Object is not thread specific.";

class Facade : public ::testing::Test {
protected:
    void SetUp() override {
        facade.registerDatabase(engine);
        facade.registerDatabase(other);
    }
    RecordingEngine engine;
    RecordingEngine other{"CIDBArchive"};
    CDBAbstractFactoryFacade facade;
};

}  // namespace

TEST_F(Facade, GetDatabaseFindsRegisteredImplementationsOnly) {
    EXPECT_EQ(&facade.getDatabase("CIDBArchive"), &other);
    const auto failure = failureOf([&] { facade.getDatabase("CIDBOracle"); });
    EXPECT_EQ(failure.message, "Wrong database implementation 'CIDBOracle' found.");
    EXPECT_EQ(failure.reason, "Invalid database.");
    EXPECT_EQ(failure.module, "oodb");
}

TEST_F(Facade, EachThreadGetsItsOwnConnectionThroughItsOwnFacade) {
    CIDBConnection* mine = &facade.threadFacade().dbProxy();
    EXPECT_EQ(&facade.dbProxy(), mine);
    EXPECT_EQ(&facade.threadFacade(), &facade.threadFacade());

    CIDBConnection* theirs = nullptr;
    std::thread([&] {
        facade.threadFacade();
        theirs = &facade.dbProxy();
    }).join();
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(engine.connections(), 2u);
}

TEST_F(Facade, AThreadFacadeServesOnlyItsOwnerThread) {
    CDBAbstractFactoryThreadFacade& mine = facade.threadFacade();
    std::string fromOther;
    std::thread([&] { fromOther = textOf([&] { mine.dbProxy(); }); }).join();
    EXPECT_EQ(fromOther, kNotThreadSpecific);
    EXPECT_EQ(textOf([&] { mine.threadFacade(); }),
              "Unable to create a thread-specific clone. | Only a parent abstract factory facade "
              "can create thread specific clones.");
}

TEST_F(Facade, ThreadFacadesRegisterOnlyWhatTheParentHas) {
    CDBAbstractFactoryThreadFacade& mine = facade.threadFacade();
    mine.deRegisterFactory("CIDBArchive");
    EXPECT_EQ(textOf([&] { mine.dbProxy("CIDBArchive"); }),
              "Unable to find a database implementation for 'CIDBArchive'. | Database "
              "implementation not initialized.");
    EXPECT_EQ(textOf([&] { mine.deRegisterFactory("CIDBArchive"); }),
              "Unable to deregister a database factory. | Nothing to deregister.");
    EXPECT_EQ(textOf([&] { mine.registerFactory("CIDBOracle"); }),
              "Unable to register a database factory. | An abstract factory thread facade can only "
              "use instances that have been registered in its parent abstract factory facade.");
    mine.registerFactory("CIDBArchive");
    EXPECT_EQ(&mine.dbProxy("CIDBArchive"), &other.connection());
}

TEST_F(Facade, ReleasingAThreadReleasesItsConnections) {
    facade.threadFacade().dbProxy();
    EXPECT_TRUE(facade.releaseThread());
    EXPECT_EQ(engine.released, 1);
    EXPECT_EQ(other.released, 1);
    EXPECT_EQ(engine.connections(), 0u);
    EXPECT_EQ(textOf([&] { facade.dbProxy(); }), kNotThreadSpecific);
    EXPECT_FALSE(facade.releaseThread());
}

TEST_F(Facade, AConnectionNeedsAnOpenImplementationThatGivesOne) {
    CDBAbstractFactoryThreadFacade& mine = facade.threadFacade();
    other.opened = false;
    const auto closed = failureOf([&] { mine.dbProxy("CIDBArchive"); });
    EXPECT_EQ(closed.message,
              "Unable to find a factory using database implementation 'CIDBArchive'.");
    EXPECT_EQ(closed.reason, "Database implementation not initialized.");
    other.opened = true;
    other.refuse = true;
    EXPECT_EQ(textOf([&] { mine.dbProxy("CIDBArchive"); }),
              "Unable to create a visitor instance for database implementation 'CIDBArchive'. | "
              "Database implementation not initialized.");
    EXPECT_EQ(other.connections(), 0u);
    other.refuse = false;
    EXPECT_EQ(&mine.dbProxy("CIDBArchive"), &other.connection());
}
