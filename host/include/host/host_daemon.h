#pragma once
// One host as the daemon runs it, assembled from its settings: log, master controller, SQLite
// engine in the data directory (keys of the node's range), the stores of both families with the
// outbox, the host services and protocol contexts, the plug-ins, and the console with its
// command handlers.
//
// start() opens the console's ports first, so that a port in use stops the host before anything
// is written; then the database, the plug-ins (both instances), the outbox delivery, the HTTP
// endpoint (when `http.port` is set) and the console's service. stop() undoes it in order: no
// more bus deliveries (changes wait in the outbox), the endpoint closed and the plug-ins'
// operations withdrawn (waiting for the console's running calls), instances released and
// plug-ins destroyed, console closed, database closed.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/console_server.h"
#include "host/failover_addr_mgr_factory.h"
#include "host/feature_set.h"
#include "host/host_context.h"
#include "host/host_services.h"
#include "host/host_settings.h"
#include "host/host_store.h"
#include "host/http_endpoint.h"
#include "host/interface_registry.h"
#include "host/master_controller.h"
#include "host/outbox.h"
#include "host/plugin_loader.h"
#include "host/protocol_context.h"
#include "host/sqlite_engine.h"
#include "host/sync_operations_access.h"

namespace host {

class CHostDaemon {
public:
    explicit CHostDaemon(CHostSettings settings);
    ~CHostDaemon();  // stop()
    CHostDaemon(const CHostDaemon&) = delete;
    CHostDaemon& operator=(const CHostDaemon&) = delete;

    // Throws nbx::CException; a failure leaves nothing running. A port that cannot be opened
    // is reported with the place of its key in the configuration file.
    void start();
    void stop();

    const CHostSettings& settings() const { return m_settings; }
    std::uint16_t consolePort() const { return m_console ? m_console->tcpPort() : 0; }
    std::uint16_t queryPort() const { return m_console ? m_console->queryPort() : 0; }
    // 0 when the endpoint is off.
    std::uint16_t httpPort() const { return m_http ? m_http->port() : 0; }

private:
    struct Instance {
        std::unique_ptr<CHostStore> store;
        std::unique_ptr<CHostServices> services;
        std::unique_ptr<CProtocolContext> context;
    };

    void _openConsole();
    void _openDatabase();
    void _startPlugins();
    void _startHttp();
    void _writePidFile();

    CHostSettings m_settings;
    std::unique_ptr<CMasterController> m_controller;
    std::unique_ptr<CConsoleServer> m_console;
    std::unique_ptr<CSQLiteEngine> m_engine;
    CInterfaceRegistry m_registry;
    CFailoverAddrMgrFactory m_failover;
    std::shared_ptr<CFeatureSet> m_features;
    std::unique_ptr<CHostContext> m_hostContext;
    std::map<int, Instance> m_instances;
    std::unique_ptr<COutbox> m_outbox;
    std::vector<std::unique_ptr<CPluginLoader>> m_loaders;
    CSyncOperationsAccess m_operations;
    std::unique_ptr<CHttpEndpoint> m_http;
    bool m_pidWritten = false;
    bool m_started = false;
};

}  // namespace host
