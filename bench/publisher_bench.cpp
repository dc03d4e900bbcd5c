// Commands per second that a publisher replays from one closed log of 10,000 records to a
// console server on loopback that answers at once, beside the sync client sending the same
// commands directly: the difference is what reading the log and the task around it cost. Clear
// and enciphered.

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dhcp_sync/sync_client.h"
#include "host/console_server.h"
#include "host/host_services.h"
#include "host/interface_registry.h"
#include "host/master_controller.h"
#include "publisher/publisher_task.h"
#include "resolver/resolver_task.h"
#include "standard/stat.h"
#include "testing/recording_controller.h"
#include "testing/replicating_host.h"

namespace {

constexpr int kRecords = 10000;

class Ack : public host::CIConsoleCommandHandler {
public:
    bool handle(host::CConsoleSession&, const std::string&,
                std::vector<nbx::CStringMap>& blocks) override {
        blocks.assign(1, nbx::CStringMap("code=ack\n", "\n"));
        return true;
    }
};

// A record as the receiver writes it.
std::string record(int i) {
    return "sync_address_pool\n_event_operation=modify\n_event_time=Mon Dec  7 01:00:00 2026\n"
           "_oid=" +
           std::to_string(16777216 + i) + "\nname=pool-" + std::to_string(i) +
           "\nrangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\nprefix=10.1.2.0\n"
           "prefix_len=24\n\n";
}

struct Peer {
    explicit Peer(bool clear) {
        host::CConsoleServerConfig config;
        config.listenAddress = "127.0.0.1";
        config.clear = clear;
        config.user = "bench";
        config.password = "secret";
        server = std::make_unique<host::CConsoleServer>(config);
        server->addHandler(std::make_shared<Ack>());
        server->start();
    }
    std::string target() const { return "127.0.0.1:" + std::to_string(server->queryPort()); }
    std::unique_ptr<host::CConsoleServer> server;
};

// A protocol instance's services over a fresh data folder.
struct Instance : CIDHCPContext {
    Instance()
        : controller(std::make_unique<nbx::testing::RecordingLogSink>()),
          hostServices(controller, std::make_shared<nbx::CConfig>("", "\n"), interfaces, folder(),
                       1),
          resolver(*this, hostServices.resolverDirectory(), CProtocolFamily(4)) {}
    ~Instance() override { std::system(("rm -rf '" + m_folder + "'").c_str()); }

    const std::string& folder() {
        if (m_folder.empty()) {
            char name[] = "/tmp/nbx-publisher-bench-XXXXXX";
            m_folder = mkdtemp(name);
        }
        return m_folder;
    }
    CProtocolFamily family() const override { return CProtocolFamily(4); }
    const std::string& name() const override { return m_name; }
    CIHostContext& hostContext() override { std::abort(); }
    CIHostServices& services() override { return hostServices; }
    void close() override {}

    std::string m_folder;
    std::string m_name = "bench4";
    host::CMasterController controller;
    host::CInterfaceRegistry interfaces;
    host::CHostServices hostServices;
    CResolverTask resolver;
};

void BM_PublisherReplay(benchmark::State& state) {
    Peer peer(state.range(0) != 0);
    Instance instance;
    const std::string spool = instance.hostServices.baseDirectory() + "/peer";
    ::mkdir(spool.c_str(), 0755);
    std::string log;
    for (int i = 0; i < kRecords; ++i) log += record(i);
    instance.resolver.run();
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = spool + "/0000001-transactions.4.log";
        std::ofstream(path) << log;
        state.ResumeTiming();
        CPublisherTask publisher(&instance.resolver, CProtocolFamily(4), peer.target(), spool,
                                 "bench", "secret", true, &instance.hostServices);
        publisher.run();
        if (!nbx::testing::eventually([&] { return !nbx::CStat::exists(path); },
                                      std::chrono::seconds(600)))
            state.SkipWithError("the log was not replayed");
        publisher.stop();
    }
    instance.resolver.stop();
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_SyncClientDirect(benchmark::State& state) {
    Peer peer(state.range(0) != 0);
    std::vector<std::string> commands;
    for (int i = 0; i < kRecords; ++i) {
        std::string text = record(i);
        commands.push_back(text.substr(0, text.size() - 1));
    }
    for (auto _ : state) {
        CDHCPSyncClient client(CProtocolFamily(4), peer.target(), true);
        client.setUser("bench");
        client.setPassword("secret");
        client.connect();
        for (const std::string& command : commands) client.commandResponse(command);
        client.disconnect();
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

}  // namespace

// Argument: 1 clear, 0 enciphered.
BENCHMARK(BM_SyncClientDirect)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PublisherReplay)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
