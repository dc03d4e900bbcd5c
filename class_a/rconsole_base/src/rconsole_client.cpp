#include "rconsole_base/rconsole_client.h"

#include <strings.h>
#include <sys/socket.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "rconsole_base/rconsole_framing.h"
#include "rconsole_base/rconsole_login.h"
#include "rconsole_deadline.h"
#include "standard/decimal.h"
#include "standard/seconds.h"
#include "standard/sock_dgram.h"
#include "standard/string_map.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

// A peer that reset the connection or had closed it before a write went away, as much as one
// that closed it in order: the caller's reconnect path applies, not a socket failure.
bool peerWentAway(std::uint32_t error) {
    return error == ECONNRESET || error == EPIPE;
}

// The leading decimal number of `text` as a port: blanks and one sign may precede the digits.
// No digits, a negative number or one beyond 16 bits give 0, which no server listens on.
std::uint16_t leadingPort(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const nbx::DecimalPrefix number = nbx::readDecimal(std::string_view(text).substr(i));
    if (number.status != nbx::DecimalPrefix::ok || number.value < 0 || number.value > 65535) {
        return 0;
    }
    return static_cast<std::uint16_t>(number.value);
}

}  // namespace

CRConsoleClient::CRConsoleClient(const std::string& serviceName, std::uint16_t ipv4QueryPort,
                                 std::uint16_t ipv6QueryPort, std::int32_t handshakeTimeout,
                                 std::int32_t ioTimeout)
    : m_serviceName(serviceName),
      m_handshakeTimeout(nbx::seconds(handshakeTimeout)),
      m_ioTimeout(nbx::seconds(ioTimeout)),
      m_ipv4QueryPort(ipv4QueryPort),
      m_ipv6QueryPort(ipv6QueryPort) {}

CRConsoleClient::~CRConsoleClient() {
    if (m_stream.isOpen()) {
        m_stream.shutdownSend();
        m_stream.close();
    }
}

const ACE_Time_Value* CRConsoleClient::_wait(const ACE_Time_Value& timeout) {
    return timeout == ACE_Time_Value::zero ? nullptr : &timeout;
}

bool CRConsoleClient::connect(const std::string& server) {
    m_serverText = server;
    nbx::CEndpoint endpoint(server);
    if (endpoint.port() == 0) {
        endpoint.port(endpoint.get_type() == AF_INET6 ? m_ipv6QueryPort : m_ipv4QueryPort);
    }
    _queryPort(endpoint);
    if (endpoint.port() == 0) {
        NBX_THROW(nbx::CException, kModule, "CRConsoleClient::connect",
                  nbx::msg("Cannot connect to server '%1'.", server), nbx::msg("Invalid port."));
    }
    return directConnect(endpoint);
}

void CRConsoleClient::parsePortAnswer(const char* answer, std::size_t length, std::uint16_t& port,
                                      bool& enciphered) {
    if (answer == nullptr) length = 0;
    if (length > kMaxAnswerSize) length = kMaxAnswerSize;
    const std::string text =
        length == 0 ? std::string() : std::string(answer, ::strnlen(answer, length));
    const std::size_t comma = text.find(',');
    port = leadingPort(text.substr(0, comma));
    enciphered = true;
    if (comma == std::string::npos) return;
    const std::string rest = text.substr(comma + 1);
    const std::string mode = rest.substr(0, rest.find(','));
    if (!mode.empty() && mode == "clear") enciphered = false;
}

void CRConsoleClient::_queryPort(nbx::CEndpoint& endpoint) {
    CSockDgram socket;
    try {
        socket.open(0);
    } catch (nbx::CException& e) {
        NBX_THROW_CODE(nbx::CException, kModule, "CRConsoleClient::_queryPort",
                       nbx::msg("Cannot create a datagram socket."), nbx::CMessage(),
                       e.errorCode());
    }
    auto noResponse = [this, &socket]() {
        socket.close();
        NBX_THROW(CExNoResponse, kModule, "CRConsoleClient::_queryPort",
                  nbx::msg("Cannot connect."),
                  nbx::msg("The %1 service is not running on the remote server.", m_serviceName));
    };

    try {
        socket.send(kPortQuery, std::strlen(kPortQuery), endpoint);
    } catch (nbx::CException&) {
        noResponse();
    }
    char answer[kMaxAnswerSize + 1] = {};
    std::size_t got = 0;
    try {
        ACE_INET_Addr from;
        got = socket.recv(answer, kMaxAnswerSize, from, _wait(m_handshakeTimeout));
    } catch (nbx::CException&) {
        noResponse();
    }
    std::uint16_t port = 0;
    parsePortAnswer(answer, got, port, m_enciphered);
    endpoint.port(port);
    socket.close();
}

bool CRConsoleClient::directConnect(const nbx::CEndpoint& endpoint) {
    _connectServer(endpoint);
    try {
        m_stream.setBlocking(true);
    } catch (nbx::CException& e) {
        NBX_THROW_CODE(nbx::CException, kModule, "CRConsoleClient::directConnect",
                       nbx::msg("Cannot set blocking mode on the socket."), nbx::CMessage(),
                       e.errorCode());
    }
    if (!_authenticate()) return false;
    _readGreeting();
    return true;
}

void CRConsoleClient::_connectServer(const nbx::CEndpoint& endpoint) {
    try {
        m_stream.connect(endpoint, _wait(m_ioTimeout));
    } catch (nbx::CException& e) {
        NBX_THROW_CODE(nbx::CException, kModule, "CRConsoleClient::_connectServer",
                       nbx::msg("Cannot connect to server %1.", endpoint.string()), nbx::CMessage(),
                       e.errorCode());
    }
}

bool CRConsoleClient::_authenticate() {
    if (!m_enciphered) return true;
    std::string password;
    if (!getPassword(password)) return false;
    m_cipher.setKey(CRConsoleLogin::key(password));
    std::string user;
    if (!getUser(user)) return false;

    std::string challenge(CRConsoleLogin::kChallengeSize, '\0');
    std::size_t got = 0;
    CRConsoleDeadline deadline(_wait(m_handshakeTimeout));
    while (got < challenge.size()) {
        std::size_t count = 0;
        std::uint32_t code = 0;
        try {
            count = m_stream.recv(&challenge[got], challenge.size() - got, deadline.left());
        } catch (nbx::CException& e) {
            code = e.errorCode();
        }
        if (count == 0) {
            NBX_THROW_CODE(nbx::CException, kModule, "CRConsoleClient::_authenticate",
                           nbx::msg("Can't communicate with the server."), nbx::CMessage(), code);
        }
        got += count;
    }
    const std::string proof = CRConsoleLogin::proof(challenge, user, m_cipher);
    try {
        m_stream.send_blocked(proof.data(), proof.size());
    } catch (nbx::CException& e) {
        NBX_THROW_CODE(nbx::CException, kModule, "CRConsoleClient::_authenticate",
                       nbx::msg("Can't communicate with the server."), nbx::CMessage(),
                       e.errorCode());
    }
    return true;
}

void CRConsoleClient::_readGreeting() {
    std::string greeting;
    std::vector<char> chunk(CRConsoleFraming::kChunkSize);
    CRConsoleDeadline deadline(_wait(m_handshakeTimeout));
    while (greeting.size() < 2 || greeting.compare(greeting.size() - 2, 2, "\n\n") != 0) {
        const long got =
            m_channel.receive(chunk.data(), chunk.size(), deadline.left(), m_enciphered);
        // A server that refuses the proof closes the connection or stays silent.
        if (got < 1) {
            NBX_THROW(nbx::CException, kModule, "CRConsoleClient::connect",
                      nbx::msg("Failed to login to remote server."),
                      nbx::msg("The password is incorrect."));
        }
        greeting.append(chunk.data(), ::strnlen(chunk.data(), static_cast<std::size_t>(got)));
        if (greeting.size() > CRConsoleFraming::kMaxMessageSize) {
            NBX_THROW(nbx::CException, kModule, "CRConsoleClient::connect",
                      nbx::msg("Failed to read from a socket."), nbx::msg("Response too large."));
        }
    }
    onGreeting(greeting);
}

int CRConsoleClient::disconnect() {
    if (!m_stream.isOpen()) return 0;
    m_stream.shutdownSend();
    return m_stream.close();
}

int CRConsoleClient::sendCommand(const std::string& command) {
    m_lastMessage.clear();
    const std::string wire = CRConsoleFraming::command(command);
    bool reconnected = false;
    for (;;) {
        const int result = _exchange(wire, reconnected);
        if (result >= 0) return result;
        // The connection was renewed: send the command once more.
    }
}

int CRConsoleClient::_exchange(const std::string& wire, bool& reconnected) {
    try {
        m_channel.send(wire.data(), wire.size(), m_enciphered);
    } catch (nbx::CException& failure) {
        if (!peerWentAway(failure.errorCode())) throw;
        return _lost(reconnected);
    }
    m_receiveBuffer.reset();
    int result = kAcknowledged;
    std::vector<char> chunk(CRConsoleFraming::kChunkSize);
    std::vector<std::string> blocks;
    // The whole response, not each read: a peer answering a byte at a time within the time-out
    // would otherwise hold the caller (and a stop waiting for it) until the size limit.
    CRConsoleDeadline deadline(_wait(m_ioTimeout));
    for (;;) {
        const long got =
            m_channel.receive(chunk.data(), chunk.size(), deadline.left(), m_enciphered);
        if (got < 1) {
            if (got == 0 || peerWentAway(m_channel.lastError()) ||
                (!reconnected && canReconnect())) {
                return _lost(reconnected);
            }
            NBX_THROW_CODE(nbx::CException, kModule, "CRConsoleClient::sendCommand",
                           nbx::msg("Failed to read from a socket."), nbx::CMessage(),
                           m_channel.lastError());
        }
        const std::size_t count = static_cast<std::size_t>(got);
        onReceive(chunk.data(), count);
        blocks.clear();
        const bool ended = m_receiveBuffer.feed(chunk.data(), count, blocks);
        if (!ended && m_receiveBuffer.received() > CRConsoleFraming::kMaxMessageSize) {
            NBX_THROW(nbx::CException, kModule, "CRConsoleClient::sendCommand",
                      nbx::msg("Failed to read from a socket."), nbx::msg("Response too large."));
        }
        for (const std::string& block : blocks) {
            const int judgement = judge(block, m_lastMessage);
            if (judgement != kAcknowledged) result = judgement;
            onResponseBlock(block);
        }
        if (ended) return result;
    }
}

int CRConsoleClient::_lost(bool& reconnected) {
    if (reconnected || !canReconnect()) return kDisconnected;
    reconnected = true;
    disconnect();
    return connect(m_serverText) ? -1 : kDisconnected;
}

int CRConsoleClient::judge(const std::string& block, std::string& message) {
    const nbx::CStringMap fields(block, "\n", 0, false);
    std::string code;
    if (!fields.get("code", code)) return kAcknowledged;
    if (::strcasecmp(code.c_str(), "nak") == 0) {
        message = fields.get("message");
        return kRejected;
    }
    if (::strcasecmp(code.c_str(), "ack") == 0) {
        message = fields.get("message");
        return message.empty() ? kAcknowledged : kOutdated;
    }
    return kAcknowledged;
}

void CRConsoleClient::onGreeting(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool CRConsoleClient::getPassword(std::string& password) {
    password.clear();
    return true;
}

bool CRConsoleClient::getUser(std::string& user) {
    user.clear();
    return true;
}

void CRConsoleClient::onReceive(const char* data, std::size_t count) {
    std::fwrite(data, 1, count, stdout);
    std::fflush(stdout);
}

void CRConsoleClient::onResponseBlock(const std::string&) {}

bool CRConsoleClient::canReconnect() {
    return false;
}
