#include "host/console_command_client.h"

#include <utility>

namespace host {

CConsoleCommandClient::CConsoleCommandClient(const std::string& user, PasswordSource password,
                                             std::uint16_t defaultQueryPort,
                                             std::int32_t handshakeTimeout, std::int32_t ioTimeout)
    : CRConsoleClient(kServiceName, defaultQueryPort, defaultQueryPort, handshakeTimeout,
                      ioTimeout),
      m_user(user),
      m_password(std::move(password)) {}

int CConsoleCommandClient::execute(const std::string& command, std::string& response) {
    m_response.clear();
    const int result = sendCommand(command);
    response.swap(m_response);
    m_response.clear();
    return result;
}

bool CConsoleCommandClient::getPassword(std::string& password) {
    password = m_password ? m_password() : std::string();
    return true;
}

bool CConsoleCommandClient::getUser(std::string& user) {
    user = m_user;
    return true;
}

void CConsoleCommandClient::onReceive(const char* data, std::size_t count) {
    // Zero bytes only ever pad the last cipher block of a transmission; no response holds one.
    for (std::size_t i = 0; i < count; ++i) {
        if (data[i] != '\0') m_response += data[i];
    }
}

}  // namespace host
