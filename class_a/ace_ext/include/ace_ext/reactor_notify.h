#pragma once
// The notification pipe of a reactor: a connected pair of non-blocking datagram sockets that
// carry one 8-byte pointer per datagram from any thread to the reactor's thread.
//
// A full pipe is reported at once (CExNotifyFull, "Notification pipe overflow.") instead of
// blocking the sender; a closed notifier refuses with "The reactor does not exist.". The base
// class only accepts null pointers (wake-ups); a command queue overrides handle_input to execute
// the pointers it receives.
//
// The pair is an unnamed local (AF_UNIX) socket pair, not two loopback UDP sockets: loopback UDP
// drops datagrams silently when the reader's buffer is full (the sender never learns of the
// overflow, and the commands behind the lost pointers leak), and a bound UDP port accepts
// datagrams - pointers - from any process on the host. A local datagram pair reports a full
// reader to the writer and cannot be reached from outside.

#include <ace/Event_Handler.h>
#include <ace/Reactor_Impl.h>

#include <atomic>
#include <cstddef>
#include <shared_mutex>

#include "standard/exception.h"

NBX_DECLARE_EXCEPTION(CExNotifyFull, nbx::CException);

class CReactorNotify : public ACE_Event_Handler {
public:
    CReactorNotify();
    // Leaves the reactor and closes the pipe; pointers still in it are not read (drain first).
    ~CReactorNotify() override;

    // Creates the socket pair and registers the reader with `reactor` for input. Opening an open
    // notifier closes the old pipe first.
    virtual void open(ACE_Reactor_Impl* reactor);
    // Removes the reader from the reactor and closes both sockets; later notifications are
    // refused. Pointers still in the pipe are not read: see drain().
    virtual void close();
    bool isClosed() const { return m_closed.load(); }

    // Any thread: writes the pointer value as one datagram.
    void notify(const void* pointer);

    // Reactor thread: peeks at the next pointer, then takes it. Null pointers are wake-ups.
    int handle_input(ACE_HANDLE handle) override;
    // The reactor dropped the reader (the reactor was closed, or found the descriptor invalid):
    // refuse further notifications and forget the reactor, which may be gone by the time this
    // notifier is closed. The pipe stays readable for drain().
    int handle_close(ACE_HANDLE handle, ACE_Reactor_Mask mask) override;
    ACE_HANDLE get_handle() const override { return m_reader.load(); }

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

protected:
    // Looks at the next pointer without taking it; false when the pipe is empty. A datagram of
    // the wrong size is taken and reported as by _readData.
    bool _peek(void*& pointer);
    // Receives exactly one 8-byte datagram.
    void* _readData();
    // Like _readData but returns false instead of throwing when the pipe is empty.
    bool _tryRead(void*& pointer);

    ACE_Reactor_Impl* reactorImpl() const { return m_reactor.load(); }

private:
    void _createSocketPair();
    void _setNonblockWrite();
    void _setNonblockRead();
    void _closeSockets();

    std::atomic<ACE_Reactor_Impl*> m_reactor{nullptr};  // not owned
    std::atomic<ACE_HANDLE> m_reader{ACE_INVALID_HANDLE};
    std::atomic<ACE_HANDLE> m_writer{ACE_INVALID_HANDLE};
    std::atomic<bool> m_closed{true};
    // Shared by every send and receive, exclusive for closing: a descriptor is never closed (and
    // its number reused) while another thread is writing to or reading from it.
    mutable std::shared_mutex m_pipeMutex;
};
