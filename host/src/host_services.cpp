#include "host/host_services.h"

#include <utility>

#include "oodb/db_engine.h"
#include "standard/stat.h"
#include "standard/throw.h"

namespace host {

namespace {

const char* const kModule = "host";

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    return nbx::CStat::join(directory, name);
}

// `folder` exists as a folder afterwards, or the call throws naming it and the system error.
std::string ensureFolder(const std::string& folder) {
    if (const int error = nbx::CStat::makeDirectory(folder)) {
        NBX_THROW_STATIC_CODE(nbx::CException, kModule, "CHostServices::CHostServices",
                              nbx::msg("Cannot create folder '%1'.", folder), nbx::CMessage(),
                              static_cast<std::uint32_t>(error));
    }
    return folder;
}

}  // namespace

CHostServices::CHostServices(CMasterController& controller,
                             std::shared_ptr<const nbx::CConfig> config,
                             CInterfaceRegistry& interfaces, const std::string& dataDirectory,
                             std::uint32_t databaseVersion, std::chrono::milliseconds busMaxBackoff)
    : m_controller(controller),
      m_interfaces(interfaces),
      m_bus(std::make_shared<CSystemBus>(&controller.logSink(), busMaxBackoff)),
      m_databaseVersion(databaseVersion),
      m_baseDirectory(ensureFolder(joinPath(dataDirectory, "spool"))),
      m_resolverDirectory(ensureFolder(joinPath(dataDirectory, "conflicts"))),
      m_config(config ? std::move(config) : std::make_shared<const nbx::CConfig>()) {}

std::shared_ptr<const nbx::CConfig> CHostServices::config() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_config;
}

void CHostServices::setConfig(std::shared_ptr<const nbx::CConfig> config) {
    if (!config) config = std::make_shared<const nbx::CConfig>();
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_config = std::move(config);
    }
    CAppEventList events;
    events.push_back(CAppEventPtr(new CAppEvent("modify", "config", "0", nbx::CTimeT::now())));
    m_bus->publish(events);
}

void CHostServices::releaseThread() {
    // The connection goes first: closing it may still report into the thread's stack.
    if (auto* engine = static_cast<CIDBFacadeFactory*>(m_interfaces.find("CIDBFacadeFactory"))) {
        try {
            engine->releaseConnection();
        } catch (nbx::CException& exception) {
            nbx::CIExceptionFacade& facade = m_controller.exceptionFacade();
            exception.report(&facade);
            facade.flush();
        }
    }
    m_controller.releaseThread();
}

}  // namespace host
