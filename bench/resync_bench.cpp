// Resync of a whole class to an empty peer: the real plug-in in real host objects (this
// process) sends every domain to a real nbxd process on loopback.
//
// - Time: from the resync call until the peer shows the last domain (it applies them in OID
//   order, so the last one stands for all), beside the time the resync call itself took
//   (reading the database and writing the spool).
// - Memory: the peak resident set of this process during the resync (VmHWM, reset just before
//   it), which holds the sending host and nothing of the peer; and the peer daemon's peak.
//
// The objects are loaded in one transaction before the measurement. Each benchmark runs once.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "dhcp_database/dhcp_catalog.h"
#include "host/sqlite_engine.h"
#include "host_process.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_initializer.h"
#include "testing/replicating_host.h"

namespace {

using Clock = std::chrono::steady_clock;
using nbx::testing::eventually;
using nbx::testing::HostProcess;
using nbx::testing::HostSession;
using nbx::testing::ReplicatingHost;

double seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// The "VmHWM" line of a process's status, in KiB; 0 when it cannot be read.
long peakKiB(const std::string& pid) {
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

// Lets the peak of this process start again from its current resident set.
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// `count` domains "d<n>" in one transaction, through an engine of its own on the host's file.
void loadDomains(const std::string& folder, int count) {
    host::CSQLiteEngine engine(host::CSQLiteEngine::Settings{folder + "/host.db", NBX_HOST_DB_DIR});
    CPrstClassCatalog catalog;
    CIPrstAbstractFactory registry;
    addDHCPClasses(catalog);
    CPrstDHCPInitializer().init({&registry, &catalog, {}, 4});
    {
        CPrstDBSession session(registry);
        session.open([&engine](const std::string&) -> void* { return &engine; });
        const CDBTransactionHandle tx = session.begin();
        for (int i = 0; i < count; ++i) {
            CPrstObjectPtr object = session["domain"].newObject(registry.findByTextName("domain"));
            object->string("name=d" + std::to_string(i) + "\n");
            object->commitObject(tx);
        }
        session.commit(tx);
        session.releaseThread();
    }
    engine.close();
}

void BM_ResyncToEmptyPeer(benchmark::State& state) {
    const int objects = static_cast<int>(state.range(0));
    for (auto _ : state) {
        char root[] = "/tmp/nbx-resync-bench-XXXXXX";
        if (!::mkdtemp(root)) return state.SkipWithError("no scratch folder");
        {
            HostProcess peer(root, 2);
            if (!peer.start()) return state.SkipWithError(("peer: " + peer.output()).c_str());
            ReplicatingHost sender;
            loadDomains(sender.folder(), objects);
            sender.start();
            CIDHCPSyncOperations* operations = sender.loader().operations(4);
            if (!operations) return state.SkipWithError("the plug-in has no operations");
            sender.add(4, "replicate_peer",
                       "target=" + peer.target() + "\nconsole_user=admin\nconsole_pass=" +
                           peer.password() + "\nclasses=domain\n");
            if (!sender.logged("Replication peer '" + peer.target() + "' has been added."))
                return state.SkipWithError("the peer was not added");

            resetPeak();
            const Clock::time_point begin = Clock::now();
            const CSyncResyncResult result = operations->resync(peer.target());
            const Clock::time_point written = Clock::now();
            if (result.written.empty() ||
                result.written.front().second != static_cast<std::uint64_t>(objects)) {
                return state.SkipWithError("the resync did not write every domain");
            }
            HostSession session(peer.queryPort(), peer.password());
            const std::string last = "show domain\nname=d" + std::to_string(objects - 1) + "\n";
            const bool arrived = eventually(
                [&] {
                    int code = -1;
                    session.command(last, 4, &code);
                    if (code == 0) return true;
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    return false;
                },
                std::chrono::seconds(1800));
            const Clock::time_point done = Clock::now();
            if (!arrived) return state.SkipWithError("the domains did not all arrive");

            state.SetIterationTime(seconds(done - begin));
            state.counters["resync_call_s"] = seconds(written - begin);
            state.counters["until_peer_has_all_s"] = seconds(done - begin);
            state.counters["objects/s"] = objects / seconds(done - begin);
            state.counters["sender_peak_MiB"] = peakKiB("self") / 1024.0;
            state.counters["peer_peak_MiB"] = peakKiB(std::to_string(peer.pid())) / 1024.0;
        }
        std::system(("rm -rf '" + std::string(root) + "'").c_str());
    }
}
BENCHMARK(BM_ResyncToEmptyPeer)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
