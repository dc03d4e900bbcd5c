#pragma once
// The client side of a server's remote console: finds the console's TCP port by a datagram
// query, connects, logs in (enciphered mode only) and exchanges text commands for key=value
// response blocks. Derived classes decide, through the virtual hooks, what becomes of the
// greeting, the credentials, the raw received bytes and each response block.
//
// Use: construct; connect(server text); any number of sendCommand; disconnect; destroy. connect
// may be called again after disconnect. Every wait is bounded by one of the two time-outs, a
// read of several chunks (a response, the greeting, the challenge) as a whole; a zero time-out
// waits without limit. One thread uses an instance at a time; it has no lock.
//
// Failures are nbx::CException records with module "rconsole_base" (those of the socket
// wrappers and of the endpoint text pass through unchanged).

#include <ace/Time_Value.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "rconsole_base/rconsole_block_splitter.h"
#include "rconsole_base/rconsole_channel.h"
#include "security/blowfish.h"
#include "standard/endpoint.h"
#include "standard/exception.h"
#include "standard/sock_stream.h"

// Raised by the port query only, when the server does not answer.
NBX_DECLARE_EXCEPTION(CExNoResponse, nbx::CException);

class CRConsoleClient {
public:
    // What the port query sends.
    static constexpr const char* kPortQuery = "config_port";
    // The longest port-query answer that is read.
    static constexpr std::size_t kMaxAnswerSize = 199;

    // Result codes of sendCommand.
    enum Result {
        kAcknowledged = 0,  // every judged block was an "ack" without message, or had no code
        kOutdated = 1,      // the last non-zero judgement was an "ack" with a message
        kRejected = 2,      // the last non-zero judgement was a "nak"
        kDisconnected = 3,  // the peer closed the connection before the response ended
    };

    // Time-outs in whole seconds; 0 waits without limit.
    CRConsoleClient(const std::string& serviceName, std::uint16_t ipv4QueryPort,
                    std::uint16_t ipv6QueryPort, std::int32_t handshakeTimeout,
                    std::int32_t ioTimeout);
    CRConsoleClient(const CRConsoleClient&) = delete;
    CRConsoleClient& operator=(const CRConsoleClient&) = delete;

    // Closes the stream as disconnect does.
    virtual ~CRConsoleClient();
    // Port query on the server text's port (or the query port of its address family when it
    // names none), then directConnect to the port of the answer.
    virtual bool connect(const std::string& server);
    // Shuts down the sending direction of an open stream, then closes it; the close's result.
    virtual int disconnect();
    // TCP connect, login, greeting. False when a credential hook cancelled the login.
    virtual bool directConnect(const nbx::CEndpoint& endpoint);
    // Sends one command and reads its response; returns a Result.
    virtual int sendCommand(const std::string& command);
    // Writes the greeting to standard output.
    virtual void onGreeting(const std::string& text);
    // Set the text and return true; false cancels the login. The base gives empty texts.
    virtual bool getPassword(std::string& password);
    virtual bool getUser(std::string& user);
    // Every chunk as it was received (deciphered); the base writes it to standard output.
    virtual void onReceive(const char* data, std::size_t count);
    // Every response block, after it was judged; the base does nothing.
    virtual void onResponseBlock(const std::string& block);
    // Asked after a read that brought no data. On true, sendCommand connects again to the last
    // server text and sends the command once more (once per command). The base answers false.
    virtual bool canReconnect();

    bool isEnciphered() const { return m_enciphered; }
    const std::string& lastMessage() const { return m_lastMessage; }
    const std::string& serverText() const { return m_serverText; }

    // Time-outs finer than the constructor's whole seconds; a zero value waits without limit.
    void setHandshakeTimeout(const ACE_Time_Value& timeout) { m_handshakeTimeout = timeout; }
    void setIoTimeout(const ACE_Time_Value& timeout) { m_ioTimeout = timeout; }

    // Reads a port-query answer (at most kMaxAnswerSize bytes are looked at, up to the first
    // zero byte): the decimal number before the first "," is the port (leading blanks and a "+"
    // allowed; no digits, a sign "-" or a value beyond 65535 give 0, an invalid port), and the
    // mode word between the first and the second "," selects clear text when it is exactly
    // "clear", enciphered mode otherwise.
    static void parsePortAnswer(const char* answer, std::size_t length, std::uint16_t& port,
                                bool& enciphered);
    // One response block judged: kRejected for "code=nak", kOutdated for "code=ack" with a
    // message, kAcknowledged otherwise (the code's case does not matter). For an "ack" or a
    // "nak", `message` gets the block's message (empty when it has none).
    static int judge(const std::string& block, std::string& message);

protected:
    // Sends the query to `endpoint` and rewrites its port and the mode from the answer.
    void _queryPort(nbx::CEndpoint& endpoint);
    void _connectServer(const nbx::CEndpoint& endpoint);
    bool _authenticate();

private:
    // The time-out as the socket wrappers take it: null waits without limit.
    static const ACE_Time_Value* _wait(const ACE_Time_Value& timeout);
    void _readGreeting();
    // Sends the framed command and reads its response: a Result, or -1 when the connection was
    // renewed through canReconnect (`reconnected` then turns true) and the command must go again.
    int _exchange(const std::string& wire, bool& reconnected);
    // The connection ended under a command: renewed once where the client may (-1, send
    // again), else kDisconnected.
    int _lost(bool& reconnected);

    CBlowfish m_cipher;
    std::string m_serviceName;
    ACE_Time_Value m_handshakeTimeout;
    ACE_Time_Value m_ioTimeout;
    CSockStream m_stream;
    std::uint16_t m_ipv4QueryPort;
    std::uint16_t m_ipv6QueryPort;
    bool m_enciphered = true;
    CRConsoleBlockSplitter m_receiveBuffer;
    std::string m_lastMessage;
    std::string m_serverText;
    CRConsoleChannel m_channel{m_stream, m_cipher};
};
