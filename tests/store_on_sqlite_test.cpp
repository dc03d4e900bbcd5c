// The persistent store on the host's real SQLite engine and its statement files: objects
// committed, found, changed and removed through a session, keys across a restart and complex
// objects.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/replicate_peer.h"
#include "host/sqlite_engine.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_initializer.h"
#include "prst_generic/sql_query.h"
#include "security/access_token.h"
#include "testing/temp_folder.h"

namespace {

const char* const kPeerText =
    "classes=address_pool,!option\n"
    "console_pass=s3cret\n"
    "console_user=admin\n"
    "description=Second site\n"
    "target=10.0.0.2:7000\n";

// One host's store: a SQLite file in a fresh folder, a registry of the DHCP classes and a
// session over the engine. reopen() drops session and engine and builds them again on the same
// file, as a restarted host does.
class StoreOnSQLite : public ::testing::Test {
protected:
    StoreOnSQLite() {
        addDHCPClasses(m_catalog);
        CPrstDHCPInitializer().init({&m_registry, &m_catalog, {}, 4});
        open();
    }
    ~StoreOnSQLite() override { close(); }

    void open() {
        m_engine = std::make_unique<host::CSQLiteEngine>(
            host::CSQLiteEngine::Settings{folder() + "/host.db", NBX_HOST_DB_DIR});
        m_context = std::make_shared<CPrstContext>();
        m_session = std::make_unique<CPrstDBSession>(m_registry, m_context);
        m_session->open([this](const std::string& name) -> void* {
            return name == CPrstDBSession::kEngineInterface ? m_engine.get() : nullptr;
        });
    }
    void close() {
        m_session.reset();
        if (m_engine) m_engine->close();
        m_engine.reset();
    }
    void reopen() {
        close();
        open();
    }

    std::unique_ptr<CPrstReplicatePeer> storedPeer(const std::string& text = kPeerText) {
        auto peer = session().newObject<CPrstReplicatePeer>();
        peer->set(text);
        peer->commit(0, CFullAccessToken::instance());
        return peer;
    }

    CPrstDBSession& session() { return *m_session; }
    const std::string& folder() const { return m_folder.path(); }

private:
    nbx::testing::TempFolder m_folder{"nbx-store"};
    CPrstClassCatalog m_catalog;
    CIPrstAbstractFactory m_registry;
    std::unique_ptr<host::CSQLiteEngine> m_engine;
    CPrstContextPtr m_context;
    std::unique_ptr<CPrstDBSession> m_session;
};

}  // namespace

// A peer through its life on the real statement files: found by oid with the same text, listed,
// changed with its password kept under the masked text, removed.
TEST_F(StoreOnSQLite, PeerIsFoundListedChangedAndRemoved) {
    auto peer = storedPeer(
        "classes=rule\nconsole_pass=s3cret\nconsole_user=admin\n"
        "target=a\nmod_time=Thu Jan  1 00:00:00 1970\n");
    storedPeer("classes=*\nconsole_pass=x\nconsole_user=\ntarget=10.0.0.3:7000\n");
    auto found = session().find<CPrstReplicatePeer>(0, peer->oid());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->string(), peer->string());
    EXPECT_EQ(session().find<CPrstReplicatePeer>(0, peer->oid() + 1000), nullptr);
    CPrstDBProxy& peers = session()["replicate_peer"];
    EXPECT_EQ(peers.count(0), 2u);
    CPrstObjectList all = peers.select(0);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(static_cast<CPrstReplicatePeer&>(*all[1]).target(), "10.0.0.3:7000");

    found->set(found->string());  // the masked password on input keeps the stored one
    found->setDescription("renamed");
    found->commit(0, CFullAccessToken::instance());
    auto again = session().find<CPrstReplicatePeer>(0, peer->oid());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->description(), "renamed");
    EXPECT_EQ(again->consolePassword(), "s3cret");
    EXPECT_GT(again->modTime().value(), 0);

    again->remove(0, CFullAccessToken::instance());
    EXPECT_EQ(session().find<CPrstReplicatePeer>(0, peer->oid()), nullptr);
    EXPECT_EQ(peers.count(0), 1u);
    // A refused text commits nothing.
    EXPECT_THROW(session().newObject<CPrstReplicatePeer>()->set("classes=rule\ntarget=a\n"
                                                                "console_user=u\n"),
                 nbx::CException);
    EXPECT_EQ(peers.count(0), 1u);
}

TEST_F(StoreOnSQLite, NewObjectsOfOneClassNeverShareAnOid) {
    auto first = storedPeer();
    auto second = storedPeer();
    auto third = session().newObject<CPrstReplicatePeer>();  // drawn, never committed
    reopen();
    auto fourth = session().newObject<CPrstReplicatePeer>();
    EXPECT_NE(first->oid(), second->oid());
    EXPECT_NE(third->oid(), first->oid());
    EXPECT_NE(third->oid(), second->oid());
    EXPECT_NE(fourth->oid(), third->oid());
    EXPECT_GT(fourth->oid(), second->oid());
}

TEST_F(StoreOnSQLite, ComplexObjectsAreSelectedByTraverseAndCountedWhole) {
    std::vector<std::uint32_t> oids;
    for (const char* name : {"q1", "q2", "q3"}) {
        auto query = session().newObject<CPrstSQLQuery>();
        query->put<std::string>("name", name);
        query->put<std::string>("tag", "t");
        query->put<std::string>("args", std::string("for ") + name);
        query->commit(0, CFullAccessToken::instance());
        oids.push_back(query->oid());
    }
    CPrstDBProxy& queries = session()["sql_query"];
    CPrstObjectList all = queries.select(0);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2]->get<std::string>("args"), "for q3");
    EXPECT_EQ(queries._selectCountTraverse(0), 3u);

    // A query that lost one of its further rows is no longer whole.
    CDBRecord arguments{"sql_query_arguments", oids[1], {}};
    queries.remove(0, arguments);
    EXPECT_EQ(queries._selectCount(0), 3u);
    EXPECT_EQ(queries._selectCountTraverse(0), 2u);
    EXPECT_THROW(queries.select(0), nbx::CException);
    EXPECT_EQ(queries.select(0, std::string(), oids[2]).size(), 1u);
}
