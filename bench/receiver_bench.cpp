// Changes per second that the real plug-in spools for 1, 4 and 16 peers: each change committed
// to the store, announced on the bus and written by the receiver into every peer's working log,
// beside the store's own commit rate in the same host.
//
// The peers are disabled, so their publishers never read the spools; the sync interval is long,
// so each spool holds one working log that the loop watches for the batch's last record.

#include <benchmark/benchmark.h>

#include <string>

#include "testing/replicating_host.h"

namespace {

using nbx::testing::ReplicatingHost;

constexpr int kBatch = 200;

ReplicatingHost::Options quietHost() {
    ReplicatingHost::Options options;
    options.config = "ipv4.dhcpv4.sync.interval=3600\nipv6.dhcpv6.sync.interval=3600\n";
    return options;
}

// True once the file's last bytes hold `marker`.
bool tailHolds(const std::string& path, const std::string& marker) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char buffer[4096];
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, size > 4096 ? size - 4096 : 0, SEEK_SET);
    const std::size_t count = std::fread(buffer, 1, sizeof buffer, file);
    std::fclose(file);
    return std::string(buffer, count).find(marker) != std::string::npos;
}

void BM_ReceiverSpool(benchmark::State& state) {
    const int peers = static_cast<int>(state.range(0));
    ReplicatingHost host(quietHost());
    host.start();
    for (int i = 0; i < peers; ++i) {
        host.add(4, "replicate_peer",
                 "target=127.0.0.1:" + std::to_string(2000 + i) +
                     "\nconsole_user=u\nconsole_pass=p\nenabled=false\nclasses=*\nlogdir=p" +
                     std::to_string(i) + "\n");
    }
    const std::string lastLog = host.spool("p" + std::to_string(peers - 1)) + "/transactions.4.log";
    long next = 0;
    // Warm-up: every peer is in place once its log holds a record.
    host.add(4, "domain", "name=warm\n");
    if (!nbx::testing::eventually([&] { return tailHolds(lastLog, "name=warm\n"); }))
        state.SkipWithError("the receiver never spooled");
    for (auto _ : state) {
        std::string last;
        for (int k = 0; k < kBatch; ++k) {
            last = "name=d" + std::to_string(next++) + "\n";
            host.add(4, "domain", last);
        }
        if (!nbx::testing::eventually([&] { return tailHolds(lastLog, last); }))
            state.SkipWithError("records did not arrive");
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.counters["records"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kBatch * peers), benchmark::Counter::kIsRate);
}

// The same commits without the bus and the plug-in.
void BM_StoreCommitOnly(benchmark::State& state) {
    ReplicatingHost host(quietHost());
    long next = 0;
    for (auto _ : state) {
        for (int k = 0; k < kBatch; ++k)
            host.store(4, "domain", "name=d" + std::to_string(next++) + "\n");
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

}  // namespace

BENCHMARK(BM_StoreCommitOnly)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiverSpool)->Arg(1)->Arg(4)->Arg(16)->UseRealTime()->Unit(benchmark::kMillisecond);
