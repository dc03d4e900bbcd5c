#include "host/host_daemon.h"

#include <unistd.h>

#include <cstdio>

#include "extended/config_names.h"
#include "host/admin_command_handler.h"
#include "host/context_command_handler.h"
#include "host/log_sink.h"
#include "host/operations_command_handler.h"
#include "host/sync_command_handler.h"
#include "standard/throw.h"

namespace host {

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;
constexpr std::uint32_t kDatabaseVersion = 1;

}  // namespace

CHostDaemon::CHostDaemon(CHostSettings settings) : m_settings(std::move(settings)) {}

CHostDaemon::~CHostDaemon() {
    stop();
}

void CHostDaemon::start() {
    if (m_started) return;
    m_started = true;
    try {
        _openConsole();
        m_controller = std::make_unique<CMasterController>(std::make_unique<CLogSink>(
            m_settings.logToStderr ? std::string() : m_settings.logFile, m_settings.logLevels));
        _openDatabase();
        _startPlugins();
        std::map<int, CSystemBus*> buses;
        for (auto& instance : m_instances) buses[instance.first] = &instance.second.services->bus();
        const std::size_t again = m_outbox->open(buses);
        _startHttp();
        m_console->setLog(&m_controller->logSink());
        m_console->start();
        _writePidFile();
        nbx::CMessage note = nbx::msg(
            "The host is running: node %1, console on port %2 (query port %3), %4 change(s) "
            "delivered again from the outbox.",
            m_settings.nodeId, m_console->tcpPort(), m_console->queryPort(),
            static_cast<unsigned long long>(again));
        note.setModule(kModule);
        m_controller->logSink().log(nbx::SEVERITY_INFO, note);
    } catch (...) {
        stop();
        throw;
    }
}

void CHostDaemon::_openConsole() {
    CConsoleServerConfig config;
    config.listenAddress = m_settings.listenAddress;
    config.tcpPort = m_settings.consolePort;
    config.queryPort = m_settings.queryPort;
    config.clear = m_settings.clear;
    config.user = m_settings.consoleUser;
    config.password = m_settings.consolePassword;
    m_console = std::make_unique<CConsoleServer>(config);
    try {
        m_console->open();
    } catch (nbx::CException& failure) {
        // Name the key of the port that could not be had: the query port when the TCP port
        // was free.
        const bool tcp = failure.text().find(":" + std::to_string(m_settings.consolePort) + ".") !=
                         std::string::npos;
        const std::string key = tcp ? "rconsole.port" : "host.query_port";
        NBX_THROW(nbx::CException, kModule, "CHostDaemon::start",
                  nbx::msg("%1: %2 (key '%3')", m_settings.where(key), failure.text(), key),
                  nbx::CMessage());
    }
}

void CHostDaemon::_openDatabase() {
    m_engine =
        std::make_unique<CSQLiteEngine>(CSQLiteEngine::Settings{m_settings.dataDir + "/host.db",
                                                                m_settings.statementDirectory,
                                                                5000,
                                                                m_settings.nodeId,
                                                                {COutbox::kTable}});
    m_registry.offer("CIDBFacadeFactory", m_engine.get());
    if (m_settings.failover) m_registry.offer("CIDHCPFailoverAddrMgrFactory", &m_failover);
    std::vector<int> families = {4};
    if (m_settings.ipv6) families.push_back(6);
    for (int family : families) {
        m_instances[family].store = std::make_unique<CHostStore>(family, m_registry);
    }
    m_engine->declare({COutbox::tableDef()});
    m_outbox = std::make_unique<COutbox>(*m_engine);

    std::map<int, CHostStore*> stores;
    for (auto& instance : m_instances) stores[instance.first] = instance.second.store.get();
    m_console->addHandler(std::make_shared<CContextCommandHandler>());
    m_console->addHandler(std::make_shared<CSyncCommandHandler>(stores, m_settings.nodeId));
    m_console->addHandler(std::make_shared<COperationsCommandHandler>(m_operations));
    m_console->addHandler(std::make_shared<CAdminCommandHandler>(stores, *m_outbox));
}

void CHostDaemon::_startPlugins() {
    m_features = std::make_shared<CFeatureSet>(true);
    m_hostContext = std::make_unique<CHostContext>(m_controller->logSink(), m_features);
    std::vector<CIDHCPContext*> contexts;
    for (auto& entry : m_instances) {
        Instance& instance = entry.second;
        instance.services = std::make_unique<CHostServices>(
            *m_controller, m_settings.config, m_registry, m_settings.dataDir, kDatabaseVersion);
        instance.context = std::make_unique<CProtocolContext>(CProtocolFamily(entry.first),
                                                              "dhcp" + std::to_string(entry.first),
                                                              *m_hostContext, *instance.services);
        contexts.push_back(instance.context.get());
    }
    for (const std::string& plugin : m_settings.plugins) {
        auto loader = std::make_unique<CPluginLoader>(*m_hostContext);
        if (!loader->load(m_settings.pluginPath(plugin))) continue;
        loader->start(contexts);
        for (const auto& entry : m_instances) {
            m_operations.offer(entry.first, loader->operations(entry.first));
        }
        m_loaders.push_back(std::move(loader));
    }
}

void CHostDaemon::_startHttp() {
    if (!m_settings.config) return;
    const nbx::CConfig& config = *m_settings.config;
    const std::uint16_t port = config.getUShort("http.port", 0);
    if (port == 0) return;
    CHttpEndpointConfig http;
    std::string address;
    if (config.get("http.address", address) &&
        address.find_first_not_of(" \t") != std::string::npos) {
        http.address = address;
    }
    http.port = port;
    for (const auto& entry : m_instances) {
        const unsigned family = static_cast<unsigned>(entry.first);
        http.stallSeconds[entry.first] =
            config.getULong(nbx::familyKey(family, "sync.stall_seconds"), 300);
    }
    m_http = std::make_unique<CHttpEndpoint>(http, m_operations);
    try {
        m_http->start();
    } catch (nbx::CException& failure) {
        m_http.reset();
        NBX_THROW(nbx::CException, kModule, "CHostDaemon::start",
                  nbx::msg("%1: %2 (key '%3')", m_settings.where("http.port"), failure.text(),
                           "http.port"),
                  nbx::CMessage());
    }
}

void CHostDaemon::_writePidFile() {
    if (m_settings.pidFile.empty()) return;
    std::FILE* file = std::fopen(m_settings.pidFile.c_str(), "w");
    bool written = file && std::fprintf(file, "%d\n", static_cast<int>(::getpid())) > 0;
    if (file && std::fclose(file) != 0) written = false;
    if (!written) {
        NBX_THROW_CODE(nbx::CException, kModule, "CHostDaemon::start",
                       nbx::msg("Cannot write the pid file '%1'.", m_settings.pidFile),
                       nbx::CMessage(), nbx::lastError());
    }
    m_pidWritten = true;
}

void CHostDaemon::stop() {
    if (!m_started) return;
    m_started = false;
    // Changes that still come in wait in the outbox for the next start.
    if (m_outbox) m_outbox->stop();
    // Neither the endpoint nor a console command may reach a released instance.
    m_http.reset();
    m_operations.withdraw();
    for (auto it = m_loaders.rbegin(); it != m_loaders.rend(); ++it) (*it)->stop();
    m_loaders.clear();
    if (m_console) m_console->stop();
    m_outbox.reset();
    for (auto& instance : m_instances) {
        instance.second.context.reset();
        instance.second.services.reset();
        instance.second.store.reset();
    }
    m_instances.clear();
    // No plug-in is left to look them up; the registry must not outlive what it points to.
    m_registry.withdraw("CIDBFacadeFactory");
    m_registry.withdraw("CIDHCPFailoverAddrMgrFactory");
    if (m_engine) m_engine->close();
    if (m_pidWritten) ::unlink(m_settings.pidFile.c_str());
    m_pidWritten = false;
    if (m_controller) {
        nbx::CMessage note("The host has stopped.", kModule);
        m_controller->logSink().log(nbx::SEVERITY_INFO, note);
    }
    m_hostContext.reset();
    m_console.reset();
    m_controller.reset();
    m_engine.reset();
}

}  // namespace host
