#pragma once
// The host's services for one protocol instance: the master controller's log sink, exception
// stacks and task registry, a configuration snapshot, the instance's own system bus, the host's
// interfaces by name, and the folders of the instance under the host's data directory.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "dhcp_plugin_api/host_services.h"
#include "host/interface_registry.h"
#include "host/master_controller.h"
#include "host/system_bus.h"

namespace host {

class CHostServices : public CIHostServices {
public:
    // Creates <dataDirectory>/spool and <dataDirectory>/conflicts (0755) when they are missing;
    // throws when one cannot be made. `controller` and `interfaces` are not owned and outlive
    // the services.
    CHostServices(CMasterController& controller, std::shared_ptr<const nbx::CConfig> config,
                  CInterfaceRegistry& interfaces, const std::string& dataDirectory,
                  std::uint32_t databaseVersion,
                  std::chrono::milliseconds busMaxBackoff = std::chrono::milliseconds(100));

    nbx::CILogSink& logSink() override { return m_controller.logSink(); }
    nbx::CIExceptionFacade& exceptionFacade() override { return m_controller.exceptionFacade(); }
    CTaskRegistryPtr taskRegistry() override { return m_controller.taskRegistry(); }

    std::shared_ptr<const nbx::CConfig> config() override;
    CISystemBusPtr systemBus() override { return m_bus; }
    void* queryInterface(const std::string& name) override { return m_interfaces.find(name); }
    std::uint32_t databaseVersion() override { return m_databaseVersion; }
    std::string baseDirectory() override { return m_baseDirectory; }
    std::string resolverDirectory() override { return m_resolverDirectory; }
    void releaseThread() override;

    // Replaces the snapshot, then announces it on the bus (type "modify", topic "config").
    void setConfig(std::shared_ptr<const nbx::CConfig> config);
    CSystemBus& bus() { return *m_bus; }

private:
    CMasterController& m_controller;
    CInterfaceRegistry& m_interfaces;
    std::shared_ptr<CSystemBus> m_bus;
    const std::uint32_t m_databaseVersion;
    const std::string m_baseDirectory;
    const std::string m_resolverDirectory;
    std::mutex m_mutex;  // guards the snapshot pointer
    std::shared_ptr<const nbx::CConfig> m_config;
};

}  // namespace host
