// Persistent objects read by OID and rendered as text per second: a replicate-peer record found
// through the session ("generic.oid") and written with string(), beside a prepared SQLite select
// of the same row whose columns are joined into a key=value text by hand.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>

#include "bench_store.h"
#include "dhcp_database/replicate_peer.h"
#include "security/access_token.h"

namespace {

constexpr std::uint32_t kRecords = 2000;

// kRecords peers, made once for both benchmarks.
class CPeerStore : public CBenchStore {
public:
    CPeerStore() {
        CDBTransactionHandle tx = session().begin();
        for (std::uint32_t i = 0; i < kRecords; ++i) {
            auto peer = session().newObject<CPrstReplicatePeer>();
            peer->set("classes=*\nconsole_user=admin\nconsole_pass=secret\ndescription=peer " +
                      std::to_string(i) + "\ntarget=10.0." + std::to_string(i / 256) + "." +
                      std::to_string(i % 256) + ":7000\n");
            peer->commit(tx, CFullAccessToken::instance());
            if (i == 0) m_firstOid = peer->oid();
        }
        session().commit(tx);
    }
    std::uint32_t oid(std::uint32_t walk) const { return m_firstOid + walk * 7919u % kRecords; }

private:
    std::uint32_t m_firstOid = 0;
};

CPeerStore& store() {
    static CPeerStore instance;
    return instance;
}

void BM_ObjectByOidAsText(benchmark::State& state) {
    std::uint32_t walk = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto peer = store().session().find<CPrstReplicatePeer>(0, store().oid(walk++));
        if (!peer) {
            state.SkipWithError("a record was missing");
            break;
        }
        std::string text = peer->string();
        bytes += text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["bytes/record"] = state.iterations() ? double(bytes) / state.iterations() : 0;
}
BENCHMARK(BM_ObjectByOidAsText);

void BM_RawSelectAsText(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(store().path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT T.* FROM \"nbx_rep_peers\" AS T WHERE T.PK = ?", -1, &statement,
                       nullptr);
    std::uint32_t walk = 0;
    std::size_t found = 0;
    for (auto _ : state) {
        sqlite3_bind_int64(statement, 1, store().oid(walk++));
        std::string text;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const unsigned char* value = sqlite3_column_text(statement, i);
                text += sqlite3_column_name(statement, i);
                text += '=';
                if (value) text += reinterpret_cast<const char*>(value);
                text += '\n';
            }
            ++found;
        }
        sqlite3_reset(statement);
        benchmark::DoNotOptimize(text);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    if (found != static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("a row was missing");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawSelectAsText);

}  // namespace
