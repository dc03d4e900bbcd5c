// Objects of a complex class (a query record: one top-level row and two further rows) selected
// all at once, per second: a plain selection, which reads each object's further rows when the
// object is built, beside a traverse, which reads them for every object up front.

#include <benchmark/benchmark.h>

#include <string>

#include "bench_store.h"
#include "prst_generic/sql_query.h"
#include "security/access_token.h"

namespace {

constexpr std::uint32_t kRecords = 2000;

// kRecords query records, made once for both benchmarks.
class CQueryStore : public CBenchStore {
public:
    CQueryStore() {
        CDBTransactionHandle tx = session().begin();
        for (std::uint32_t i = 0; i < kRecords; ++i) {
            auto query = session().newObject<CPrstSQLQuery>();
            query->put<std::string>("name", "query " + std::to_string(i));
            query->put<std::string>("tag", "t");
            query->put<std::string>("args", "a=1");
            query->commit(tx, CFullAccessToken::instance());
        }
        session().commit(tx);
    }
};

CQueryStore& store() {
    static CQueryStore instance;
    return instance;
}

void selectAll(benchmark::State& state, bool traverse) {
    CPrstDBProxy& queries = store().session()["sql_query"];
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
