// Replication between real hosts: nbxd processes on loopback with the real plug-in, changed
// through their consoles as an administrator would change them.
//
// - Throughput: changes made on A (one console session, then several at once) until B holds
//   them all, beside A's own rate and B's rate for as many changes made on B itself.
// - Delay: from the acknowledgement of an add on A to the object being visible on B, for
//   changes spaced out over several sync rounds, per sync interval.
// - Resident memory of a host loaded with objects in steps, with three peers that cannot be
//   reached (loopback ports where nothing listens), so that every change stays in their spools.
//   Every add reads the table for its name, so loading slows as the table grows: 100,000
//   objects take about ten minutes on two cores, 40,000 two
//   (--benchmark_filter='Throughput|Delay|objects:40000' leaves the long one out).
// - Latency of the operator's `status` with 16 peers replaying a stream of changes.
//
// Each benchmark runs once (its own manual time); the program exits with 1 when a change did
// not arrive or was refused, since a rate over a replication that never finished means nothing.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host_process.h"
#include "testing/console_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
using nbx::testing::eventually;
using nbx::testing::HostProcess;
using nbx::testing::HostSession;

constexpr int kChanges = 10000;
constexpr int kClients = 4;
constexpr int kDelaySamples = 200;
constexpr auto kDelaySpacing = std::chrono::milliseconds(50);
// Generous: the machine is small and shared.
constexpr auto kArrivalLimit = std::chrono::seconds(600);

std::atomic<bool> g_failed{false};

void fail(benchmark::State& state, const std::string& why) {
    g_failed = true;
    state.SkipWithError(why.c_str());
}

double seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// Running hosts in a scratch folder that is removed with them.
class BenchHosts {
public:
    BenchHosts() {
        char folder[] = "/tmp/nbx-bench-XXXXXX";
        if (!::mkdtemp(folder)) throw std::runtime_error("no scratch folder");
        m_root = folder;
    }
    ~BenchHosts() {
        m_hosts.clear();
        std::system(("rm -rf '" + m_root + "'").c_str());
    }

    // A started host, or null (with its output in `fault`) when it did not come up.
    HostProcess* start(std::uint32_t node, const std::string& extra, std::string& fault) {
        m_hosts.push_back(std::make_unique<HostProcess>(m_root, node, extra));
        if (m_hosts.back()->start()) return m_hosts.back().get();
        fault = "host " + std::to_string(node) + " did not start: " + m_hosts.back()->output();
        return nullptr;
    }

private:
    std::string m_root;
    std::vector<std::unique_ptr<HostProcess>> m_hosts;
};

std::string domainName(const std::string& prefix, int client, int index) {
    return prefix + std::to_string(client) + "-" + std::to_string(index);
}

// Adds `count` domains named `prefix`<client>-<n> over `clients` sessions at once; empty, or
// the first refusal.
std::string addDomains(const HostProcess& host, const std::string& prefix, int count, int clients) {
    std::mutex guard;
    std::string fault;
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client) {
        threads.emplace_back([&, client] {
            HostSession session(host.queryPort(), host.password());
            for (int i = client; i < count; i += clients) {
                int code = -1;
                const std::string response = session.command(
                    "add domain\nname=" + domainName(prefix, client, i) + "\n", 4, &code);
                if (code == 0) continue;
                std::lock_guard<std::mutex> lock(guard);
                if (fault.empty())
                    fault = "add refused (" + std::to_string(code) + "): " + response;
                return;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    return fault;
}

// The last name each session of addDomains sent.
std::vector<std::string> lastNames(const std::string& prefix, int count, int clients) {
    std::vector<std::string> names;
    for (int client = 0; client < clients && client < count; ++client)
        names.push_back(
            domainName(prefix, client, client + (count - 1 - client) / clients * clients));
    return names;
}

bool visible(HostSession& session, const std::string& name) {
    int code = -1;
    session.command("show domain\nname=" + name + "\n", 4, &code);
    return code == 0;
}

// Waits until `host` shows every name, looking every 20 ms so as not to compete with the
// replication it waits for. A peer applies one host's changes in commit order, so the last
// name of each session stands for all that session sent before it.
bool waitVisible(const HostProcess& host, const std::vector<std::string>& names) {
    HostSession session(host.queryPort(), host.password());
    for (const std::string& name : names) {
        const bool arrived = eventually(
            [&] {
                if (visible(session, name)) return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return false;
            },
            kArrivalLimit);
        if (!arrived) return false;
    }
    return true;
}

long domainCount(HostProcess& host) {
    return std::atol(HostProcess::value(host.command("list domain"), "count").c_str());
}

// Makes `peer` a replication peer of `host` and waits until a first change has arrived there,
// so that the measurement does not include the publisher's first connection.
std::string pairUp(HostProcess& host, HostProcess& peer) {
    int code = -1;
    const std::string response = host.command(host.peerRecord(peer), 4, &code);
    if (code != 0) return "peer refused: " + response;
    const std::string fault = addDomains(host, "warm", 1, 1);
    if (!fault.empty()) return fault;
    if (!waitVisible(peer, lastNames("warm", 1, 1)))
        return "the first change never reached the peer";
    return std::string();
}

// B's own changes come after the replicated ones, so that the replication is measured into a
// table that starts as empty as A's; they are therefore made into a table of 10,001 objects.
void BM_ReplicationThroughput(benchmark::State& state) {
    const int sessions = static_cast<int>(state.range(0));
    for (auto _ : state) {
        BenchHosts hosts;
        std::string fault;
        HostProcess* a = hosts.start(1, "", fault);
        HostProcess* b = a ? hosts.start(2, "", fault) : nullptr;
        if (b) fault = pairUp(*a, *b);
        if (!fault.empty()) return fail(state, fault);

        const Clock::time_point begin = Clock::now();
        fault = addDomains(*a, "a", kChanges, sessions);
        const Clock::time_point acknowledged = Clock::now();
        if (!fault.empty()) return fail(state, fault);
        if (!waitVisible(*b, lastNames("a", kChanges, sessions)))
            return fail(state, "the changes did not all arrive on B");
        const Clock::time_point arrived = Clock::now();
        const long onB = domainCount(*b);
        if (onB != kChanges + 1)
            return fail(state, "B holds " + std::to_string(onB) + " domains after replication");

        const Clock::time_point local = Clock::now();
        fault = addDomains(*b, "b", kChanges, sessions);
        const Clock::time_point localDone = Clock::now();
        if (!fault.empty()) return fail(state, fault);

        state.SetIterationTime(seconds(arrived - begin));
        state.counters["replicated/s"] = kChanges / seconds(arrived - begin);
        state.counters["A_adds/s"] = kChanges / seconds(acknowledged - begin);
        state.counters["B_local_adds/s"] = kChanges / seconds(localDone - local);
        state.counters["drain_s"] = seconds(arrived - acknowledged);
    }
}

// The value at fraction `q` of sorted `values`.
double quantile(const std::vector<double>& values, double q) {
    const std::size_t at = static_cast<std::size_t>(q * static_cast<double>(values.size()));
    return values[std::min(at, values.size() - 1)];
}

void BM_ReplicationDelay(benchmark::State& state) {
    const std::string interval = std::to_string(state.range(0));
    for (auto _ : state) {
        BenchHosts hosts;
        std::string fault;
        const std::string config = "ipv4.dhcpv4.sync.interval=" + interval +
                                   "\nipv6.dhcpv6.sync.interval=" + interval + "\n";
        HostProcess* a = hosts.start(1, config, fault);
        HostProcess* b = a ? hosts.start(2, config, fault) : nullptr;
        if (b) fault = pairUp(*a, *b);
        if (!fault.empty()) return fail(state, fault);

        std::vector<Clock::time_point> acked(kDelaySamples);
        std::vector<Clock::time_point> seen(kDelaySamples);
        std::atomic<bool> lost{false};
        // Changes arrive in commit order: the watcher looks only for the next one it lacks.
        std::thread watcher([&] {
            HostSession session(b->queryPort(), b->password());
            for (int k = 0; k < kDelaySamples && !lost; ++k) {
                const std::string name = "d" + std::to_string(k);
                const Clock::time_point deadline = Clock::now() + kArrivalLimit;
                while (!lost && !visible(session, name)) {
                    if (Clock::now() > deadline) lost = true;
                }
                seen[k] = Clock::now();
            }
        });
        HostSession admin(a->queryPort(), a->password());
        for (int k = 0; k < kDelaySamples && fault.empty(); ++k) {
            int code = -1;
            const std::string response =
                admin.command("add domain\nname=d" + std::to_string(k) + "\n", 4, &code);
            acked[k] = Clock::now();
            if (code != 0) fault = "add refused: " + response;
            std::this_thread::sleep_for(kDelaySpacing);
        }
        if (!fault.empty()) lost = true;
        watcher.join();
        if (!fault.empty()) return fail(state, fault);
        if (lost) return fail(state, "the changes did not all arrive on B");

        std::vector<double> delays;
        for (int k = 0; k < kDelaySamples; ++k) delays.push_back(seconds(seen[k] - acked[k]));
        std::sort(delays.begin(), delays.end());
        state.SetIterationTime(quantile(delays, 0.5));
        state.counters["p50_ms"] = 1000 * quantile(delays, 0.5);
        state.counters["p99_ms"] = 1000 * quantile(delays, 0.99);
        state.counters["max_ms"] = 1000 * delays.back();
    }
}

// A field of /proc/<pid>/status in KiB ("VmRSS", "VmHWM"), or -1.
long statusKiB(pid_t pid, const std::string& field) {
    const std::string text = nbx::testing::readFile("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = text.find("\n" + field + ":");
    return at == std::string::npos ? -1 : std::atol(text.c_str() + at + field.size() + 2);
}

// True once one of the spool folder's logs ends with a record that holds `marker` (its last
// 4 KiB, a few records).
bool spooled(const std::string& folder, const std::string& marker) {
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(directory)) {
        if (found || entry->d_name[0] == '.') continue;
        std::FILE* file = std::fopen((folder + "/" + entry->d_name).c_str(), "rb");
        if (!file) continue;
        char tail[4096];
        std::fseek(file, 0, SEEK_END);
        const long size = std::ftell(file);
        std::fseek(file, size > 4096 ? size - 4096 : 0, SEEK_SET);
        const std::size_t count = std::fread(tail, 1, sizeof tail, file);
        std::fclose(file);
        found = std::string(tail, count).find(marker) != std::string::npos;
    }
    ::closedir(directory);
    return found;
}

// Waits until every peer's spool holds the change that names `name`.
bool spooledEverywhere(const HostProcess& host, int peers, const std::string& name) {
    for (int peer = 1; peer <= peers; ++peer) {
        const std::string folder = host.dataDir() + "/spool/p" + std::to_string(peer);
        const bool arrived = eventually(
            [&] {
                if (spooled(folder, "name=" + name + "\n")) return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                return false;
            },
            kArrivalLimit);
        if (!arrived) return false;
    }
    return true;
}

// Loads in steps and reads the resident size after each: one reading alone would not show
// whether the size follows the number of objects.
void BM_ResidentMemory(benchmark::State& state) {
    const int objects = static_cast<int>(state.range(0));
    constexpr int kPeers = 3;
    constexpr int kSteps = 4;
    for (auto _ : state) {
        BenchHosts hosts;
        std::string fault;
        HostProcess* a = hosts.start(1, "", fault);
        if (!a) return fail(state, fault);
        for (int peer = 1; peer <= kPeers; ++peer) {
            int code = -1;
            const std::string response =
                a->command("add replicate_peer\ntarget=127.0.0.1:" +
                               std::to_string(nbx::testing::freePort(SOCK_DGRAM)) +
                               "\nconsole_user=admin\nconsole_pass=x\nclasses=*\nlogdir=p" +
                               std::to_string(peer) + "\n",
                           4, &code);
            if (code != 0) return fail(state, "peer refused: " + response);
        }
        const long empty = statusKiB(a->pid(), "VmRSS");
        state.counters["rss@0_MiB"] = empty / 1024.0;

        const Clock::time_point begin = Clock::now();
        for (int step = 1; step <= kSteps; ++step) {
            const int count = objects / kSteps;
            const std::string prefix = "m" + std::to_string(step) + "-";
            const Clock::time_point stepBegin = Clock::now();
            fault = addDomains(*a, prefix, count, kClients);
            const double stepSeconds = seconds(Clock::now() - stepBegin);
            if (!fault.empty()) return fail(state, fault);
            // Read once every change is in every spool: nothing waits in memory any more. The
            // sessions' changes interleave, so only a change made after all of them is sure to
            // end a spool.
            const std::string marker = "mark" + std::to_string(step);
            int code = -1;
            a->command("add domain\nname=" + marker + "\n", 4, &code);
            if (code != 0 || !spooledEverywhere(*a, kPeers, marker))
                return fail(state, "the changes never reached every spool");
            const long rss = statusKiB(a->pid(), "VmRSS");
            state.counters["rss@" + std::to_string(step * count) + "_MiB"] = rss / 1024.0;
            if (step == kSteps) state.counters["last_step_adds/s"] = count / stepSeconds;
        }
        const double loadSeconds = seconds(Clock::now() - begin);
        state.counters["peak_loading_MiB"] = statusKiB(a->pid(), "VmHWM") / 1024.0;
        // A list answers with every object in one response, built in memory first.
        const long held = domainCount(*a);
        if (held != (objects / kSteps + 1) * kSteps)
            return fail(state, "A holds " + std::to_string(held) + " domains");
        state.counters["peak_with_list_MiB"] = statusKiB(a->pid(), "VmHWM") / 1024.0;
        state.counters["rss_after_list_MiB"] = statusKiB(a->pid(), "VmRSS") / 1024.0;

        state.SetIterationTime(loadSeconds);
        state.counters["adds/s"] = held / loadSeconds;
    }
}

// The operator's `status` while 16 peers replay a stream of changes: each peer is a console
// server in this process that acknowledges every command, so that the 16 publishers are busy
// for the whole run.
void BM_StatusLatency(benchmark::State& state) {
    constexpr int kPeers = 16;
    constexpr int kSamples = 200;
    for (auto _ : state) {
        BenchHosts hosts;
        std::string fault;
        HostProcess* a = hosts.start(1, "ipv4.dhcpv4.sync.interval=1\n", fault);
        if (!a) return fail(state, fault);
        std::vector<std::unique_ptr<nbx::testing::Peer>> peers;
        for (int peer = 1; peer <= kPeers; ++peer) {
            peers.push_back(std::make_unique<nbx::testing::Peer>("admin", "peer-password"));
            int code = -1;
            const std::string response = a->command(
                "add replicate_peer\ntarget=" + peers.back()->target() +
                    "\nconsole_user=admin\nconsole_pass=peer-password\nclasses=*\nlogdir=p" +
                    std::to_string(peer) + "\n",
                4, &code);
            if (code != 0) return fail(state, "peer refused: " + response);
        }
        std::atomic<bool> streaming{true};
        std::thread writer([&] {
            for (int round = 0; streaming && fault.empty(); ++round)
                fault = addDomains(*a, "s" + std::to_string(round) + "-", 500, 2);
        });
        HostSession admin(a->queryPort(), a->password());
        std::vector<double> latencies;
        std::string last;
        for (int k = 0; k < kSamples; ++k) {
            int code = -1;
            const Clock::time_point begin = Clock::now();
            last = admin.command("status\n", 4, &code);
            latencies.push_back(seconds(Clock::now() - begin));
            if (code != 0) {
                streaming = false;
                writer.join();
                return fail(state, "status refused: " + last);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        streaming = false;
        writer.join();
        if (!fault.empty()) return fail(state, fault);
        for (const auto& peer : peers) {
            if (last.find(peer->target()) == std::string::npos)
                return fail(state, "status does not show " + peer->target());
        }
        std::size_t received = 0;
        for (const auto& peer : peers) received += peer->commands().size();
        std::sort(latencies.begin(), latencies.end());
        state.SetIterationTime(quantile(latencies, 0.5));
        state.counters["p50_ms"] = 1000 * quantile(latencies, 0.5);
        state.counters["p99_ms"] = 1000 * quantile(latencies, 0.99);
        state.counters["max_ms"] = 1000 * latencies.back();
        state.counters["commands_replayed"] = static_cast<double>(received);
    }
}

}  // namespace

BENCHMARK(BM_ReplicationThroughput)
    ->ArgName("sessions")
    ->Arg(1)
    ->Arg(kClients)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_ReplicationDelay)
    ->ArgName("interval")
    ->Arg(1)
    ->Arg(5)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResidentMemory)
    ->ArgName("objects")
    ->Arg(40000)
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK(BM_StatusLatency)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_failed ? 1 : 0;
}
