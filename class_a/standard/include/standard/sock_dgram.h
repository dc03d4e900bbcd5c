#pragma once
// A UDP socket over ACE_SOCK_Dgram for the port query of the remote console. It is opened
// dual-stack, so one socket reaches IPv4 and IPv6 peers alike; failures are nbx::CException
// records (module "standard") carrying the errno.
//
// One thread uses an instance at a time; it holds no lock.

#include <ace/INET_Addr.h>
#include <ace/SOCK_Dgram.h>
#include <ace/Time_Value.h>

#include <cstddef>

class CSockDgram {
public:
    // How long a send that would block waits for the socket to become writable.
    static constexpr time_t kSendWaitSeconds = 180;

    CSockDgram();
    ~CSockDgram();  // closes the socket
    CSockDgram(const CSockDgram&) = delete;
    CSockDgram& operator=(const CSockDgram&) = delete;

    // Opens a socket bound to the wildcard address and `port` (0: any free port): an IPv6
    // socket with IPv6-only off, or an IPv4 socket where the system has no IPv6. An open socket
    // is closed first. Failure throws "Cannot create a datagram socket." with the errno.
    void open(u_short port = 0);

    bool isOpen() const { return m_dgram.get_handle() != ACE_INVALID_HANDLE; }
    ACE_HANDLE handle() const { return m_dgram.get_handle(); }
    // AF_INET6 for a dual-stack socket, AF_INET for the fallback; 0 when closed.
    int family() const { return m_family; }
    // The bound port (0 when closed).
    u_short localPort() const;

    // Sends one datagram to `to`; IPv4 addresses are mapped for a dual-stack socket. A send that
    // would block waits up to the send wait (180 seconds) and is tried once more. A closed socket
    // throws "Cannot transmit buffer." / "Invalid handle."; other failures "Failed to send a
    // datagram to '%1'." with the errno.
    void send(const void* data, std::size_t length, const ACE_INET_Addr& to);

    // Waits at most `timeout` (null: without limit) for one datagram and returns its size (cut to
    // `length`); `from` receives the sender (IPv4 senders as plain IPv4 addresses). A failure or
    // a time-out throws "Failed to receive a datagram." with the errno (ETIME for the time-out).
    std::size_t recv(void* buffer, std::size_t length, ACE_INET_Addr& from,
                     const ACE_Time_Value* timeout = nullptr);

    // Closes the socket; 0 when there was nothing to close.
    int close();

    void setSendWait(const ACE_Time_Value& wait) { m_sendWait = wait; }

private:
    ACE_SOCK_Dgram m_dgram;
    int m_family = 0;
    ACE_Time_Value m_sendWait{kSendWaitSeconds};
};
