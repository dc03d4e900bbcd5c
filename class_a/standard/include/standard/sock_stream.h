#pragma once
// A TCP stream over ACE_SOCK_Stream for the blocking request/response traffic of the remote
// console: every wait is bounded, every failure is an nbx::CException (module "standard") that
// carries the socket's errno, and a peer that has gone away never raises SIGPIPE.
//
// One thread uses an instance at a time; it holds no lock.

#include <ace/INET_Addr.h>
#include <ace/SOCK_Stream.h>
#include <ace/Time_Value.h>

#include <cstddef>

class CSockStream {
public:
    // How long a send that would block waits for the socket to take more bytes.
    static constexpr time_t kSendWaitSeconds = 180;

    CSockStream();
    ~CSockStream();  // closes the socket
    CSockStream(const CSockStream&) = delete;
    CSockStream& operator=(const CSockStream&) = delete;

    // Connects to `remote` from any local address, waiting at most `timeout` (null: as long as
    // the system tries). An open stream is closed first. Failure throws "Failed to connect to
    // '%1'." with the errno (ETIME when the time-out ran out).
    void connect(const ACE_INET_Addr& remote, const ACE_Time_Value* timeout = nullptr);

    // Takes over a connected socket (an accepted one, on the server side); an open stream is
    // closed first. The stream closes the handle from then on.
    void attach(ACE_HANDLE handle);

    bool isOpen() const { return m_stream.get_handle() != ACE_INVALID_HANDLE; }
    ACE_HANDLE handle() const { return m_stream.get_handle(); }

    // Switches the socket between blocking and non-blocking mode. The sends and receives below
    // bound their waits in either mode; the mode matters to whoever uses the handle directly.
    void setBlocking(bool blocking);

    // Sends every byte. Whenever the socket would block, waits up to the send wait (180 seconds)
    // for it to become writable and tries again; a wait that runs out fails with ETIME. An
    // unopened or closed stream throws "Cannot transmit buffer." / "Invalid handle."; other
    // failures "Failed to write to a socket." with the errno.
    void send_blocked(const void* data, std::size_t length);

    // Waits at most `timeout` (null: without limit) for data and returns the bytes that arrived
    // (at most `length`), or 0 when the peer has closed its sending side. A failure or a time-out
    // throws "Failed to read from a socket." with the errno (ETIME for the time-out). A zero
    // `length` returns 0 at once.
    std::size_t recv(void* buffer, std::size_t length, const ACE_Time_Value* timeout = nullptr);

    // Ends the sending direction (the peer reads end of stream); -1 with errno on failure.
    int shutdownSend();
    // Closes the socket; 0 when there was nothing to close.
    int close();

    void setSendWait(const ACE_Time_Value& wait) { m_sendWait = wait; }

private:
    ACE_SOCK_Stream m_stream;
    ACE_Time_Value m_sendWait{kSendWaitSeconds};
};
