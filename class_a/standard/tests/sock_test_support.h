#pragma once
// Helpers for the socket tests: a record of the exception a call throws, and a real TCP listener
// on a loopback address.

#include <ace/INET_Addr.h>
#include <ace/SOCK_Acceptor.h>
#include <ace/SOCK_Stream.h>
#include <gtest/gtest.h>

#include <string>

#include "standard/exception.h"
#include "testing/failure.h"

namespace socktest {

using nbx::testing::Failure;
using nbx::testing::failure;

// `host` ("127.0.0.1" or "::1") with `port`.
inline ACE_INET_Addr loopback(const char* host, u_short port) {
    ACE_INET_Addr address;
    address.set(port, host, 1,
                std::string(host).find(':') != std::string::npos ? AF_INET6 : AF_INET);
    return address;
}

// A listening TCP socket on a loopback address with a system-chosen port.
class Listener {
public:
    explicit Listener(const char* host) : m_address(loopback(host, 0)) {
        if (m_acceptor.open(m_address, 1) == -1) return;
        m_acceptor.get_local_addr(m_address);
        m_open = true;
    }
    ~Listener() { m_acceptor.close(); }
    bool open() const { return m_open; }
    const ACE_INET_Addr& address() const { return m_address; }
    // Accepts one connection, waiting at most 5 seconds.
    bool accept(ACE_SOCK_Stream& peer) {
        ACE_Time_Value wait(5);
        return m_acceptor.accept(peer, nullptr, &wait) == 0;
    }
    void close() {
        m_acceptor.close();
        m_open = false;
    }

private:
    ACE_INET_Addr m_address;
    ACE_SOCK_Acceptor m_acceptor;
    bool m_open = false;
};

}  // namespace socktest
