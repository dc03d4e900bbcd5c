#pragma once
// The console client of the command-line console: logs in as its user with a password asked
// for only when the server wants one, and keeps each response's text as the server sent it
// rather than writing it out, so that the caller decides where it goes.

#include <cstddef>
#include <functional>
#include <string>

#include "rconsole_base/rconsole_client.h"

namespace host {

class CConsoleCommandClient : public CRConsoleClient {
public:
    // Called once per enciphered login; its exceptions pass out of connect unchanged.
    using PasswordSource = std::function<std::string()>;

    static constexpr const char* kServiceName = "nbxd";

    CConsoleCommandClient(const std::string& user, PasswordSource password,
                          std::uint16_t defaultQueryPort, std::int32_t handshakeTimeout,
                          std::int32_t ioTimeout);

    // Sends `command` and puts the text of its response into `response` (the cipher's zero
    // padding dropped); returns sendCommand's result.
    int execute(const std::string& command, std::string& response);

    const std::string& greeting() const { return m_greeting; }

    void onGreeting(const std::string& text) override { m_greeting = text; }
    bool getPassword(std::string& password) override;
    bool getUser(std::string& user) override;
    void onReceive(const char* data, std::size_t count) override;

private:
    std::string m_user;
    PasswordSource m_password;
    std::string m_greeting;
    std::string m_response;
};

}  // namespace host
