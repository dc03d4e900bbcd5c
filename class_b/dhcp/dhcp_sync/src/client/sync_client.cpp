#include "dhcp_sync/sync_client.h"

#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;
constexpr const char* kSite = "CDHCPSync::commandResponse";

}  // namespace

CDHCPSyncClient::CDHCPSyncClient(const CProtocolFamily& family, const std::string& target,
                                 bool enabled)
    : CRConsoleClient(kServiceName, kIPv4QueryPort, kIPv6QueryPort, kTimeoutSeconds,
                      kTimeoutSeconds),
      m_target(target),
      m_enabled(enabled),
      m_response(false),
      m_contextCommand("set_context=" + family.string()) {}

CDHCPSyncClient::~CDHCPSyncClient() {}

bool CDHCPSyncClient::connect(const std::string&) {
    connect();
    return true;
}

const nbx::CStringMap& CDHCPSyncClient::connect() {
    // The credential hooks never cancel, so the base either connects or throws.
    CRConsoleClient::connect(m_target);
    return commandResponse(m_contextCommand);
}

const nbx::CStringMap& CDHCPSyncClient::commandResponse(const std::string& command) {
    const int result = sendCommand(command);
    if (result == kAcknowledged) return m_response;

    const nbx::CMessage failed =
        nbx::msg("Failed to send command '%1' to server %2.", command, m_target);
    switch (result) {
        case kOutdated: {
            // Not a failure of the command: the publisher logs the map as a conflict.
            auto outdated =
                nbx::makeException<CDHCPSyncOutdated>(NBX_SITE(kModule, kSite), nbx::CMessage());
            outdated.setResponse(m_response);
            throw outdated;
        }
        case kRejected:
            NBX_THROW(CDHCPSyncClientServerError, kModule, kSite, failed,
                      nbx::msg("The remote server responded with error: %1", lastMessage()));
        case kDisconnected:
            NBX_THROW(CDHCPSyncClientConnectFail, kModule, kSite, failed,
                      nbx::msg("The remote end disconnected."));
        default:
            NBX_THROW(nbx::CException, kModule, kSite, failed, nbx::msg("Unknown response code."));
    }
}

void CDHCPSyncClient::onGreeting(const std::string&) {}

bool CDHCPSyncClient::getPassword(std::string& password) {
    password = m_password;
    return true;
}

bool CDHCPSyncClient::getUser(std::string& user) {
    user = m_user;
    return true;
}

void CDHCPSyncClient::onReceive(const char*, std::size_t) {}

void CDHCPSyncClient::onResponseBlock(const std::string& block) {
    m_response.clear();
    m_response.string(block);
}

bool CDHCPSyncClient::canReconnect() {
    return false;
}
