#pragma once
// A console client that records what its hooks see, and the server half of the protocol for
// scripted consoles.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "rconsole_base/rconsole_client.h"
#include "rconsole_base/rconsole_login.h"
#include "standard/exception.h"
#include "testing/failure.h"
#include "testing/scripted_console.h"

namespace rctest {

using nbx::testing::Failure;
using nbx::testing::failure;

class RecordingClient : public CRConsoleClient {
public:
    explicit RecordingClient(std::uint16_t ipv4QueryPort = 0, std::uint16_t ipv6QueryPort = 0)
        : CRConsoleClient("Test", ipv4QueryPort, ipv6QueryPort, 5, 5) {}

    void onGreeting(const std::string& text) override { greeting = text; }
    bool getPassword(std::string& out) override {
        out = password;
        return !cancelPassword;
    }
    bool getUser(std::string& out) override {
        out = user;
        return true;
    }
    void onReceive(const char* data, std::size_t count) override { received.append(data, count); }
    void onResponseBlock(const std::string& block) override { blocks.push_back(block); }
    bool canReconnect() override { return reconnect; }

    std::string user;
    std::string password;
    bool cancelPassword = false;
    bool reconnect = false;
    std::string greeting;
    std::string received;
    std::vector<std::string> blocks;
};

// The server's half of a connection in either mode, with the password that keys it.
class ServerHalf {
public:
    ServerHalf(nbx::testing::ScriptedPeer& peer, bool enciphered, const std::string& password)
        : m_peer(peer), m_enciphered(enciphered) {
        m_cipher.setKey(CRConsoleLogin::key(password));
    }

    // Sends a challenge and reads the proof; returns the proof (1024 bytes when it came).
    std::string challenge(std::string* sent = nullptr) {
        const std::string challenge = CRConsoleLogin::challenge();
        if (sent) *sent = challenge;
        m_peer.write(challenge);
        return m_peer.read(1024);
    }
    // One transmission: enciphered (padded) or as it is.
    bool send(const std::string& text) { return m_peer.write(wire(text)); }
    std::string wire(std::string text) const {
        if (!m_enciphered) return text;
        text.resize(std::max<std::size_t>(8, (text.size() + 7) / 8 * 8), '\0');
        m_cipher.encipherBlocks(&text[0], text.size());
        return text;
    }
    // Reads one command up to its empty line; the raw bytes go to `raw` when given. Returns
    // the plain text with the padding removed ("" when the client went away).
    std::string command(std::string* raw = nullptr) {
        if (!m_enciphered) {
            std::string text = m_peer.readUntil("\n\n");
            if (raw) *raw = text;
            return text;
        }
        std::string plain;
        std::string bytes;
        while (plain.find("\n\n") == std::string::npos) {
            std::string block = m_peer.read(8);
            if (block.size() != 8) return std::string();
            bytes += block;
            m_cipher.decipherBlocks(&block[0], 8);
            plain += block;
        }
        if (raw) *raw = bytes;
        return plain.substr(0, plain.find_last_not_of('\0') + 1);
    }

private:
    nbx::testing::ScriptedPeer& m_peer;
    bool m_enciphered;
    CBlowfish m_cipher;
};

}  // namespace rctest
