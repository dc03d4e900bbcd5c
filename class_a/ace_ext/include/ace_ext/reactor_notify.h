#pragma once
// The notification pipe of a reactor: a pair of non-blocking loopback datagram sockets that
// carry one 8-byte pointer per datagram from any thread to the reactor's thread.
//
// A full pipe is reported at once (CExNotifyFull, "Notification pipe overflow.") instead of
// blocking the sender; a closed notifier refuses with "The reactor does not exist.". The base
// class only accepts null pointers (wake-ups); a command queue overrides handle_input to execute
// the pointers it receives.

#include <ace/Event_Handler.h>
#include <ace/INET_Addr.h>
#include <ace/Reactor_Impl.h>

#include <atomic>
#include <cstdint>

#include "standard/exception.h"

NBX_DECLARE_EXCEPTION(CExNotifyFull, nbx::CException);

class CReactorNotify : public ACE_Event_Handler {
public:
    CReactorNotify();
    ~CReactorNotify() override;

    // Creates the socket pair and registers the reader with `reactor` for input.
    virtual void open(ACE_Reactor_Impl* reactor);
    // Removes the reader from the reactor and closes both sockets; later notifications are
    // refused. Pointers still in the pipe are not read: see drain().
    virtual void close();
    bool isClosed() const { return m_closed.load(); }

    // Any thread: writes the pointer value as one datagram.
    void notify(const void* pointer);

    // Reactor thread: peeks at the next pointer, then takes it. Null pointers are wake-ups.
    int handle_input(ACE_HANDLE handle) override;
    ACE_HANDLE get_handle() const override { return m_reader; }

    // Takes every pending pointer out of the pipe and hands each to `dispose` (the reader side
    // must still be open). Returns the number of pointers taken.
    template <class F>
    std::size_t drain(F&& dispose) {
        std::size_t taken = 0;
        void* pointer = nullptr;
        while (_tryRead(pointer)) {
            dispose(pointer);
            ++taken;
        }
        return taken;
    }

    // The reader's loopback address (IPv6 when it could be bound, else IPv4).
    const ACE_INET_Addr& readerAddress() const { return m_readerAddress; }
    // How many pointers the pipe holds before it reports overflow.
    std::int64_t capacity() const { return m_capacity; }

protected:
    // Looks at the next pointer without taking it; false when the pipe is empty.
    bool _peek(void*& pointer);
    // Receives exactly one 8-byte datagram.
    void* _readData();
    // Like _readData but returns false instead of throwing when the pipe is empty.
    bool _tryRead(void*& pointer);

    ACE_Reactor_Impl* reactorImpl() const { return m_reactor; }

private:
    void _createSocketPair();
    void _setNonblockWrite();
    void _setNonblockRead();
    void _closeSockets();

    ACE_Reactor_Impl* m_reactor = nullptr;  // not owned
    ACE_HANDLE m_reader = ACE_INVALID_HANDLE;
    ACE_HANDLE m_writer = ACE_INVALID_HANDLE;
    std::atomic<bool> m_closed{true};
    ACE_INET_Addr m_readerAddress;
    // A loopback datagram that does not fit the reader's buffer is dropped without an error to
    // the sender, so the pipe counts the pointers it holds and reports overflow itself, well
    // before the buffer can fill.
    std::int64_t m_capacity = 0;
    std::atomic<std::int64_t> m_pending{0};
};
