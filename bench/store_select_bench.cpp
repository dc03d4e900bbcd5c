// Objects of a complex class (a query record: one top-level row and two further rows) selected
// all at once, per second: a plain selection, which reads each object's further rows when the
// object is built, beside a traverse, which reads them for every object up front.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "dhcp_database/dhcp_catalog.h"
#include "host/sqlite_engine.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_initializer.h"
#include "prst_generic/sql_query.h"
#include "security/access_token.h"

namespace {

constexpr std::uint32_t kRecords = 2000;

class Store {
public:
    Store() {
        char name[] = "/tmp/nbx-select-bench-XXXXXX";
        m_dir = mkdtemp(name);
        m_engine = std::make_unique<host::CSQLiteEngine>(
            host::CSQLiteEngine::Settings{m_dir + "/store.db", NBX_HOST_DB_DIR});
        addDHCPClasses(m_catalog);
        CPrstDHCPInitializer().init({&m_registry, &m_catalog, {}, 4});
        m_session = std::make_unique<CPrstDBSession>(m_registry);
        m_session->open([this](const std::string&) -> void* { return m_engine.get(); });
        CDBTransactionHandle tx = m_session->begin();
        for (std::uint32_t i = 0; i < kRecords; ++i) {
            auto query = m_session->newObject<CPrstSQLQuery>();
            query->put<std::string>("name", "query " + std::to_string(i));
            query->put<std::string>("tag", "t");
            query->put<std::string>("args", "a=1");
            query->commit(tx, CFullAccessToken::instance());
        }
        m_session->commit(tx);
    }
    ~Store() {
        m_session.reset();
        m_engine.reset();
        std::filesystem::remove_all(m_dir);
    }
    CPrstDBProxy& queries() { return (*m_session)["sql_query"]; }

private:
    std::string m_dir;
    CPrstClassCatalog m_catalog;
    CIPrstAbstractFactory m_registry;
    std::unique_ptr<host::CSQLiteEngine> m_engine;
    std::unique_ptr<CPrstDBSession> m_session;
};

Store& store() {
    static Store instance;
    return instance;
}

void selectAll(benchmark::State& state, bool traverse) {
    CPrstDBProxy& queries = store().queries();
    std::size_t objects = 0;
    for (auto _ : state) {
        CPrstDBSelection selection = traverse ? queries._selectTraverse(0) : queries._select(0);
        while (CPrstObjectPtr object = queries._selectNext(0, selection)) {
            benchmark::DoNotOptimize(object);
            ++objects;
        }
    }
    if (objects != static_cast<std::size_t>(state.iterations()) * kRecords)
        state.SkipWithError("objects were missing");
    state.SetItemsProcessed(static_cast<std::int64_t>(objects));
}

void BM_PlainSelection(benchmark::State& state) {
    selectAll(state, false);
}
BENCHMARK(BM_PlainSelection)->Unit(benchmark::kMillisecond);

void BM_TraverseSelection(benchmark::State& state) {
    selectAll(state, true);
}
BENCHMARK(BM_TraverseSelection)->Unit(benchmark::kMillisecond);

}  // namespace
