#pragma once
// One host with the real plug-in, as the daemon assembles it: master controller with a
// recording log, SQLite database in a fresh folder, interface registry, one system bus and
// host services per protocol family, and libdhcp_sync.so loaded with dlopen. The test thread
// changes objects through its own session and publishes the bus events, as the console does.
//
// Peers are real console servers on loopback with a recording, scriptable handler.
//
// The user defines NBX_HOST_DB_DIR (the host's statement files) and NBX_PLUGIN_PATH.

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_database/replicate_peer.h"
#include "host/failover_addr_mgr_factory.h"
#include "host/feature_set.h"
#include "host/host_context.h"
#include "host/host_services.h"
#include "host/interface_registry.h"
#include "host/master_controller.h"
#include "host/plugin_loader.h"
#include "host/protocol_context.h"
#include "host/sqlite_engine.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_initializer.h"
#include "security/access_token.h"
#include "standard/stat.h"
#include "testing/console_peer.h"
#include "testing/eventually.h"
#include "testing/recording_controller.h"

namespace nbx::testing {

struct ReplicatingHostOptions {
    std::string config = "ipv4.dhcpv4.sync.interval=1\nipv6.dhcpv6.sync.interval=1\n";
    bool failover = false;
    bool syncEnabled = true;
};

class ReplicatingHost {
public:
    using Options = ReplicatingHostOptions;

    explicit ReplicatingHost(const Options& options = Options()) {
        char folder[] = "/tmp/nbx-replication-XXXXXX";
        if (!mkdtemp(folder)) std::abort();
        m_folder = folder;
        auto sink = std::make_unique<nbx::testing::RecordingLogSink>();
        m_sink = sink.get();
        m_controller = std::make_unique<host::CMasterController>(std::move(sink));
        m_engine = std::make_unique<host::CSQLiteEngine>(
            host::CSQLiteEngine::Settings{m_folder + "/host.db", NBX_HOST_DB_DIR});
        m_registry.offer("CIDBFacadeFactory", m_engine.get());
        if (options.failover) m_registry.offer("CIDHCPFailoverAddrMgrFactory", &m_failover);
        m_features = std::make_shared<host::CFeatureSet>(options.syncEnabled);
        m_hostContext = std::make_unique<host::CHostContext>(m_controller->logSink(), m_features);
        m_loader = std::make_unique<host::CPluginLoader>(*m_hostContext);
        auto config = std::make_shared<nbx::CConfig>(options.config, "\n");
        for (int family : {4, 6}) {
            Instance& instance = m_instances[family];
            instance.services = std::make_unique<host::CHostServices>(*m_controller, config,
                                                                      m_registry, m_folder, 1u);
            instance.context = std::make_unique<host::CProtocolContext>(
                CProtocolFamily(family), "dhcp" + std::to_string(family), *m_hostContext,
                *instance.services);
        }
        _openSessions();
    }
    ~ReplicatingHost() {
        stop();
        m_loader.reset();
        m_sessions.clear();
        m_engine->close();
        std::system(("rm -rf '" + m_folder + "'").c_str());
    }

    // Loads the plug-in and starts both protocol instances.
    void start() {
        if (!m_loader->load(NBX_PLUGIN_PATH)) return;
        m_loader->start({m_instances[4].context.get(), m_instances[6].context.get()});
    }
    void stop() { m_loader->stop(); }

    // Stores a new object of `topic` from `text` in `family`'s store and announces it.
    std::uint32_t add(int family, const std::string& topic, const std::string& text) {
        const std::uint32_t oid = store(family, topic, text);
        announce(family, "add", topic, oid);
        return oid;
    }
    // Stores it without a word on the bus.
    std::uint32_t store(int family, const std::string& topic, const std::string& text) {
        try {
            CPrstObjectPtr object =
                _session(family)[topic].newObject(_registry(family).findByTextName(topic));
            object->string(text);
            object->commitObject(0);
            return object->oid();
        } catch (CException& failure) {
            // Test frameworks print what a standard exception says.
            throw std::runtime_error("Cannot store " + topic + " '" + text +
                                     "': " + failure.text());
        }
    }
    void modify(int family, const std::string& topic, std::uint32_t oid, const std::string& text) {
        CPrstObjectPtr object = _session(family)[topic].findByOID(0, oid);
        object->string(text);
        object->commitObject(0);
        announce(family, "modify", topic, oid);
    }
    void remove(int family, const std::string& topic, std::uint32_t oid) {
        CPrstObjectPtr object = _session(family)[topic].findByOID(0, oid);
        object->removeObject(0);
        announce(family, "del", topic, oid);
    }
    void announce(int family, const std::string& type, const std::string& topic,
                  std::uint32_t oid) {
        CAppEventList events;
        events.push_back(CAppEventPtr(new CPrstDHCPObjectEvent(
            type, topic, std::to_string(static_cast<std::int32_t>(oid)), nbx::CTimeT::now())));
        services(family).systemBus()->publish(events);
    }

    // A peer record for `peer` with the peer's credentials and `extra` lines.
    std::uint32_t addPeer(int family, const Peer& peer, const std::string& extra = "classes=*\n") {
        return add(family, "replicate_peer", peerText(peer, extra));
    }
    static std::string peerText(const Peer& peer, const std::string& extra) {
        return "target=" + peer.target() +
               "\nconsole_user=replicator\nconsole_pass=peer-password\n" + extra;
    }

    host::CHostServices& services(int family) { return *m_instances[family].services; }
    host::CProtocolContext& context(int family) { return *m_instances[family].context; }
    host::CHostContext& hostContext() { return *m_hostContext; }
    nbx::testing::RecordingLogSink& log() { return *m_sink; }
    // Waits until `times` log entries hold `text`.
    bool logged(const std::string& text, int times = 1) const {
        return eventually([&] {
            int seen = 0;
            for (const std::string& entry : m_sink->texts())
                seen += entry.find(text) != std::string::npos;
            return seen >= times;
        });
    }
    // The whole log, one entry a line, for failure messages.
    std::string logText() const {
        std::string out;
        for (const std::string& entry : m_sink->texts()) out += entry + "\n";
        return out;
    }
    std::string spool(const std::string& logdir) const { return m_folder + "/spool/" + logdir; }
    std::string conflictLog(int family) const {
        return m_folder + "/conflicts/conflicts." + std::to_string(family) + ".log";
    }
    const std::string& folder() const { return m_folder; }
    host::CPluginLoader& loader() { return *m_loader; }

private:
    struct Instance {
        std::unique_ptr<host::CHostServices> services;
        std::unique_ptr<host::CProtocolContext> context;
    };
    struct Store {
        CPrstClassCatalog catalog;
        CIPrstAbstractFactory registry;
        std::unique_ptr<CPrstDBSession> session;
    };

    void _openSessions() {
        for (int family : {4, 6}) {
            auto store = std::make_unique<Store>();
            addDHCPClasses(store->catalog);
            CPrstDHCPInitializer().init(
                {&store->registry, &store->catalog, {}, static_cast<unsigned>(family)});
            store->session = std::make_unique<CPrstDBSession>(store->registry);
            store->session->open([this](const std::string& name) { return m_registry.find(name); });
            m_sessions[family] = std::move(store);
        }
    }
    CPrstDBSession& _session(int family) { return *m_sessions[family]->session; }
    const CIPrstAbstractFactory& _registry(int family) { return m_sessions[family]->registry; }

    std::string m_folder;
    nbx::testing::RecordingLogSink* m_sink;  // owned by the controller
    std::unique_ptr<host::CMasterController> m_controller;
    std::unique_ptr<host::CSQLiteEngine> m_engine;
    host::CInterfaceRegistry m_registry;
    host::CFailoverAddrMgrFactory m_failover;
    std::shared_ptr<host::CFeatureSet> m_features;
    std::unique_ptr<host::CHostContext> m_hostContext;
    std::map<int, Instance> m_instances;
    std::map<int, std::unique_ptr<Store>> m_sessions;
    std::unique_ptr<host::CPluginLoader> m_loader;
};

}  // namespace nbx::testing
