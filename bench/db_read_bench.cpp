// Rows read by key per second: through the host's engine (the named statement "generic.oid" on
// the calling thread's connection) beside a prepared SQLite select of the same rows.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/sqlite_engine.h"
#include "oodb/db_transaction.h"

namespace {

constexpr std::uint32_t kRows = 10000;

// One database file with kRows address bindings, made once for both benchmarks.
class Fixture {
public:
    Fixture() {
        char name[] = "/tmp/nbx-bench-XXXXXX";
        m_dir = mkdtemp(name);
        m_path = m_dir + "/bench.db";
        m_engine = std::make_unique<host::CSQLiteEngine>(
            host::CSQLiteEngine::Settings{m_path, NBX_HOST_DB_DIR});
        CDBTableDef table;
        table.name = "address_binding";
        table.columns = CDBTypeStringMap(
            "IPADDR=[__DB_TYPE_IP_ADDRESS__]\nPOOL_OID=[__DB_TYPE_LONG__]\n"
            "TID=[__DB_TYPE_STRING__]\nLEASE_EXPIRE=[__DB_TYPE_TIME_STAMP__]\n"
            "FIXED=[__DB_TYPE_BOOL__]",
            "\n");
        m_engine->open({table});
        CIDBConnection& db = m_engine->connection();
        CDBTransaction tx(db);
        for (std::uint32_t pk = 1; pk <= kRows; ++pk) {
            CDBRecord record;
            record.table = "address_binding";
            record.pk = pk;
            record.values = {
                {"IPADDR", "10.0." + std::to_string(pk / 256) + "." + std::to_string(pk % 256)},
                {"POOL_OID", "3"},
                {"TID", "tid-" + std::to_string(pk)},
                {"LEASE_EXPIRE", "1700000000"},
                {"FIXED", "0"}};
            db.write(tx.handle(), record);
        }
        tx.commit();
    }
    ~Fixture() {
        m_engine.reset();
        std::filesystem::remove_all(m_dir);
    }
    host::CSQLiteEngine& engine() { return *m_engine; }
    const std::string& path() const { return m_path; }

private:
    std::string m_dir;
    std::string m_path;
    std::unique_ptr<host::CSQLiteEngine> m_engine;
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

// A scattered walk over the keys.
std::uint32_t nextKey(std::uint32_t key) {
    return key * 7919u % kRows + 1;
}

void BM_EngineGenericOid(benchmark::State& state) {
    CIDBConnection& db = fixture().engine().connection();
    nbx::CStringMap arguments;
    std::uint32_t key = 1;
    std::size_t found = 0;
    for (auto _ : state) {
        arguments.set("OID", std::to_string(key));
        CDBRecordList rows = db.execute(0, "address_binding", "generic.oid", arguments);
        found += rows.size();
        benchmark::DoNotOptimize(rows);
        key = nextKey(key);
    }
    if (found != static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("a row was missing");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineGenericOid);

void BM_RawSQLitePreparedSelect(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(fixture().path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT T.* FROM \"address_binding\" AS T WHERE T.PK = ?", -1,
                       &statement, nullptr);
    std::uint32_t key = 1;
    std::size_t found = 0;
    std::vector<std::string> values;
    for (auto _ : state) {
        sqlite3_bind_int64(statement, 1, key);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            values.clear();
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const unsigned char* text = sqlite3_column_text(statement, i);
                values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            }
            ++found;
        }
        sqlite3_reset(statement);
        benchmark::DoNotOptimize(values);
        key = nextKey(key);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    if (found != static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("a row was missing");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawSQLitePreparedSelect);

}  // namespace
