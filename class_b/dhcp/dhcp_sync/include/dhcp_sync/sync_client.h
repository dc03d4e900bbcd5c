#pragma once
// The connection of one publisher to the remote DHCP server of one replication peer: the remote
// console client with the service "NBX DHCP", query ports 67 and 547, 10-second time-outs
// (the publisher may set others), the peer's credentials, and the context command sent right
// after every login.
//
// commandResponse sends one command and returns the fields of the response's last block, or
// raises CDHCPSyncOutdated ("ack" with a message), CDHCPSyncClientServerError ("nak"),
// CDHCPSyncClientConnectFail (the peer closed the connection) or nbx::CException. No failure
// closes the connection; the caller disconnects.
//
// Used by one publisher thread only; no lock.

#include <string>

#include "dhcp_sync/sync_exceptions.h"
#include "rconsole_base/rconsole_client.h"
#include "standard/protocol_family.h"
#include "standard/string_map.h"

class CDHCPSyncClient : public CRConsoleClient {
public:
    static constexpr const char* kServiceName = "NBX DHCP";
    static constexpr std::uint16_t kIPv4QueryPort = 67;
    static constexpr std::uint16_t kIPv6QueryPort = 547;
    static constexpr std::int32_t kTimeoutSeconds = 10;

    CDHCPSyncClient(const CProtocolFamily& family, const std::string& target, bool enabled);

    ~CDHCPSyncClient() override;
    // Ignores `server` and connects to the target (connect()); true or an exception.
    bool connect(const std::string& server) override;
    void onGreeting(const std::string& text) override;
    bool getPassword(std::string& password) override;
    bool getUser(std::string& user) override;
    void onReceive(const char* data, std::size_t count) override;
    // The block's fields replace the response map.
    void onResponseBlock(const std::string& block) override;
    bool canReconnect() override;

    void setUser(const std::string& user) { m_user = user; }
    void setPassword(const std::string& password) { m_password = password; }
    bool isEnabled() const { return m_enabled; }
    const std::string& target() const { return m_target; }

    // Port query, TCP connect and login to the target, then the context command
    // ("set_context=4" or "set_context=6"); returns the context command's response.
    const nbx::CStringMap& connect();
    // Sends `command` and judges the response (see above). The map is the client's own, valid
    // until the next command.
    const nbx::CStringMap& commandResponse(const std::string& command);

private:
    std::string m_user;
    std::string m_password;
    std::string m_target;
    bool m_enabled;
    nbx::CStringMap m_response;
    std::string m_contextCommand;
};
