#pragma once
// What a general reactor has registered: the handler of each handle and the handle set that
// keeps their masks and order, the timer queue and the reactor's own notifier.
//
//   CReactorRegistrationPolicy<Token, HandlerPtr, HandleSetPtr, TimerQueuePtr, NotifyPtr>
//
// Token is the reactor's lock (ACE_Noop_Token for a reactor that only its owner thread enters,
// ACE_Token where other threads register and schedule too); the pointers never own their
// pointees. Every operation below expects the caller to hold the token; a HandleSetPtr with
// nbx::CObjectLockPolicy additionally locks the handle set for each operation on it.
//
// Removal follows ACE's select reactor: the bits are cleared, the handle is dropped when none is
// left, then the handler's handle_close(handle, mask) runs unless the mask carries DONT_CALL, and
// a reference-counted handler loses the reference its registration held.

#include <ace/Event_Handler.h>
#include <ace/Event_Handler_Handle_Timeout_Upcall.h>
#include <ace/Reactor.h>
#include <ace/Recursive_Thread_Mutex.h>
#include <ace/Timer_Queue_T.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <type_traits>
#include <vector>

#include "ace_ext/reactor_handle_set.h"
#include "standard/general_ptr.h"

using CReactorTimerQueue =
    ACE_Timer_Queue_T<ACE_Event_Handler*, ACE_Event_Handler_Handle_Timeout_Upcall,
                      ACE_Recursive_Thread_Mutex>;

// A handle that a wait found ready.
struct CReactorReadyHandle {
    ACE_HANDLE handle;
    std::uint64_t serial;     // the registration the wait saw
    ACE_Reactor_Mask events;  // read, write and exception bits
};

// Holds a pointee's object lock for a scope when its pointer has nbx::CObjectLockPolicy.
template <class Ptr>
class CObjectLockGuard {
    static constexpr bool kLocks =
        std::is_base_of<nbx::CObjectLockPolicy<typename Ptr::element_type>, Ptr>::value;

public:
    explicit CObjectLockGuard(const Ptr& pointer) : m_pointer(pointer) {
        if constexpr (kLocks) {
            m_locked = !m_pointer.isNull();
            if (m_locked) m_pointer.lockObject();
        }
    }
    ~CObjectLockGuard() {
        if constexpr (kLocks) {
            if (m_locked) m_pointer.unlockObject();
        }
    }
    CObjectLockGuard(const CObjectLockGuard&) = delete;
    CObjectLockGuard& operator=(const CObjectLockGuard&) = delete;

private:
    const Ptr& m_pointer;
    bool m_locked = false;
};

template <class Token, class HandlerPtr, class HandleSetPtr, class TimerQueuePtr, class NotifyPtr>
class CReactorRegistrationPolicy {
public:
    using TokenType = Token;
    using Notifier = typename NotifyPtr::element_type;

    Token& token() { return m_token; }

    // Resources, owned by the implementation policy.
    void attach(CReactorHandleSet* handleSet, CReactorTimerQueue* timerQueue, std::size_t limit) {
        m_handleSet = HandleSetPtr(handleSet);
        m_timerQueue = TimerQueuePtr(timerQueue);
        m_limit = limit;
    }
    void detach() {
        m_entries.clear();
        m_handleSet.reset();
        m_timerQueue.reset();
    }
    bool attached() const { return !m_handleSet.isNull(); }
    // Set while the reactor closes (see unbindHandle).
    void setClosing(bool closing) { m_closing = closing; }
    void setTimerQueue(CReactorTimerQueue* timerQueue) { m_timerQueue = TimerQueuePtr(timerQueue); }
    void setNotifier(Notifier* notifier) { m_notify = NotifyPtr(notifier); }
    TimerQueuePtr& timerQueue() { return m_timerQueue; }
    NotifyPtr& notifier() { return m_notify; }
    bool isNotifier(const ACE_Event_Handler* handler) const {
        return !m_notify.isNull() &&
               static_cast<const ACE_Event_Handler*>(m_notify.get()) == handler;
    }

    // ACE's accept and connect masks wait as read and write.
    static ACE_Reactor_Mask waitMask(ACE_Reactor_Mask mask) {
        ACE_Reactor_Mask result =
            mask & ~(ACE_Event_Handler::ACCEPT_MASK | ACE_Event_Handler::CONNECT_MASK);
        if (mask & ACE_Event_Handler::ACCEPT_MASK) result |= ACE_Event_Handler::READ_MASK;
        if (mask & ACE_Event_Handler::CONNECT_MASK) result |= ACE_Event_Handler::WRITE_MASK;
        return result;
    }

    // Registers `handler` for `mask` on `handle`, or adds the mask when the same handler has it
    // already. -1 (errno set) for a null handler, a handle an ACE_Handle_Set cannot hold, a handle
    // of another handler, or when the reactor holds `limit` handles; a mask with bits besides
    // read, write, exception, accept and connect throws (CReactorHandleSet::applyMask).
    int bindHandle(ACE_HANDLE handle, ACE_Event_Handler* handler, ACE_Reactor_Mask mask) {
        if (!attached()) return _fail(ESHUTDOWN);
        if (!handler || handle < 0 || handle >= CReactorHandleSet::kMaxHandle) return _fail(EINVAL);
        CObjectLockGuard<HandleSetPtr> lock(m_handleSet);
        auto found = m_entries.find(handle);
        if (found != m_entries.end()) {
            if (found->second.handler.get() != handler) return _fail(EEXIST);
            m_handleSet->applyMask(handle, waitMask(mask), ACE_Reactor::ADD_MASK);
            return 0;
        }
        if (m_entries.size() >= m_limit) return _fail(ENOSPC);
        m_handleSet->applyMask(handle, waitMask(mask), ACE_Reactor::ADD_MASK);
        m_handleSet->addEventHandle(handle);
        m_entries.emplace(handle, Entry{HandlerPtr(handler), 0, m_nextSerial++});
        if (_referenceCounted(handler)) handler->add_reference();
        return 0;
    }

    // Clears `mask` from the handle (see above). An absent handle throws "Failed to delete
    // reactor event handle." ("No such handle."), except while the reactor closes, when a
    // handler's handle_close commonly removes itself once more (-1, ENOENT); -1 (ESHUTDOWN)
    // once the reactor is closed.
    int unbindHandle(ACE_HANDLE handle, ACE_Reactor_Mask mask) {
        if (!attached()) return _fail(ESHUTDOWN);
        ACE_Event_Handler* handler = nullptr;
        bool complete = false;
        {
            CObjectLockGuard<HandleSetPtr> lock(m_handleSet);
            auto found = m_entries.find(handle);
            if (found == m_entries.end()) {
                if (m_closing) return _fail(ENOENT);
                m_handleSet->deleteEventHandle(handle);  // not there either: throws
                return _fail(ENOENT);
            }
            handler = found->second.handler.get();
            ACE_Reactor_Mask clear = waitMask(mask) & ACE_Event_Handler::RWE_MASK;
            m_handleSet->applyMask(handle, clear, ACE_Reactor::CLR_MASK);
            found->second.ready &= ~clear;
            if (m_handleSet->mask(handle) == ACE_Event_Handler::NULL_MASK) {
                complete = true;
                m_handleSet->deleteEventHandle(handle);
                m_entries.erase(found);
            }
        }
        bool counted = complete && _referenceCounted(handler);
        if (!(mask & ACE_Event_Handler::DONT_CALL)) handler->handle_close(handle, mask);
        if (counted) handler->remove_reference();
        return 0;
    }

    // GET/SET/ADD/CLR on the handle's wait mask; the mask it had before, or -1 for an absent
    // handle or unknown operation.
    int maskOps(ACE_HANDLE handle, ACE_Reactor_Mask mask, int ops) {
        if (!_knownOps(ops)) return _fail(EINVAL);
        CObjectLockGuard<HandleSetPtr> lock(m_handleSet);
        if (m_entries.find(handle) == m_entries.end()) return _fail(ENOENT);
        ACE_Reactor_Mask applied = waitMask(mask);
        if (ops == ACE_Reactor::CLR_MASK) applied &= ACE_Event_Handler::RWE_MASK;
        return static_cast<int>(m_handleSet->applyMask(handle, applied, ops));
    }

    // The same on the handle's ready mask: bits set here are dispatched by the next step as if
    // the wait had found them.
    int readyOps(ACE_HANDLE handle, ACE_Reactor_Mask mask, int ops) {
        if (!_knownOps(ops)) return _fail(EINVAL);
        auto found = m_entries.find(handle);
        if (found == m_entries.end()) return _fail(ENOENT);
        ACE_Reactor_Mask applied = waitMask(mask) & ACE_Event_Handler::RWE_MASK;
        ACE_Reactor_Mask& ready = found->second.ready;
        ACE_Reactor_Mask before = ready;
        if (ops == ACE_Reactor::SET_MASK) ready = applied;
        if (ops == ACE_Reactor::ADD_MASK) ready |= applied;
        if (ops == ACE_Reactor::CLR_MASK) ready &= ~applied;
        return static_cast<int>(before);
    }

    int suspend(ACE_HANDLE handle, bool suspended) {
        CObjectLockGuard<HandleSetPtr> lock(m_handleSet);
        if (!attached() || !m_handleSet->suspend(handle, suspended)) return _fail(ENOENT);
        return 0;
    }
    // Every handler but the reactor's own pipe, which must stay able to wake the loop.
    int suspendAll(bool suspended) {
        CObjectLockGuard<HandleSetPtr> lock(m_handleSet);
        if (!attached()) return _fail(ESHUTDOWN);
        for (ACE_HANDLE handle : m_handleSet->handles()) {
            if (!isNotifier(find(handle))) m_handleSet->suspend(handle, suspended);
        }
        return 0;
    }

    ACE_Event_Handler* find(ACE_HANDLE handle) const {
        auto found = m_entries.find(handle);
        return found == m_entries.end() ? nullptr : found->second.handler.get();
    }
    // The handler of `handle` while it is still the registration that had `serial`.
    ACE_Event_Handler* find(ACE_HANDLE handle, std::uint64_t serial) const {
        auto found = m_entries.find(handle);
        return found == m_entries.end() || found->second.serial != serial
                   ? nullptr
                   : found->second.handler.get();
    }
    // Whether `serial` named a registration of this reactor (present or since removed).
    bool issued(std::uint64_t serial) const { return serial > 0 && serial < m_nextSerial; }

    ACE_Reactor_Mask mask(ACE_HANDLE handle) const {
        CObjectLockGuard<HandleSetPtr> lock(m_handleSet);
        return attached() ? m_handleSet->mask(handle)
                          : static_cast<ACE_Reactor_Mask>(ACE_Event_Handler::NULL_MASK);
    }
    bool isSuspended(ACE_HANDLE handle) const {
        CObjectLockGuard<HandleSetPtr> lock(m_handleSet);
        return attached() && m_handleSet->isSuspended(handle);
    }

    // The poll entries of every active registration in registration order, with the serial of
    // each; `pending` tells whether some registration has ready bits set by readyOps.
    void collectWaitObjects(std::vector<pollfd>& objects, std::vector<std::uint64_t>& serials,
                            bool& pending) const {
        objects.clear();
        serials.clear();
        pending = false;
        if (!attached()) return;
        CObjectLockGuard<HandleSetPtr> lock(m_handleSet);
        m_handleSet->getWaitObjects(objects);
        for (const pollfd& object : objects) {
            const Entry& entry = m_entries.at(object.fd);
            serials.push_back(entry.serial);
            pending = pending || entry.ready != 0;
        }
    }
    // Takes the ready bits that readyOps set on the registration `serial`.
    ACE_Reactor_Mask takeReady(ACE_HANDLE handle, std::uint64_t serial) {
        auto found = m_entries.find(handle);
        if (found == m_entries.end() || found->second.serial != serial) return 0;
        ACE_Reactor_Mask ready = found->second.ready;
        found->second.ready = 0;
        return ready;
    }

    // Handles in registration order.
    std::vector<ACE_HANDLE> handles() const {
        CObjectLockGuard<HandleSetPtr> lock(m_handleSet);
        return attached() ? m_handleSet->handles() : std::vector<ACE_HANDLE>();
    }
    std::size_t count() const { return m_entries.size(); }
    // How many registrations the reactor takes.
    std::size_t limit() const { return m_limit; }

private:
    struct Entry {
        HandlerPtr handler;
        ACE_Reactor_Mask ready;
        std::uint64_t serial;
    };

    static int _fail(int code) {
        errno = code;
        return -1;
    }
    static bool _knownOps(int ops) {
        return ops == ACE_Reactor::GET_MASK || ops == ACE_Reactor::SET_MASK ||
               ops == ACE_Reactor::ADD_MASK || ops == ACE_Reactor::CLR_MASK;
    }
    static bool _referenceCounted(ACE_Event_Handler* handler) {
        return handler->reference_counting_policy().value() ==
               ACE_Event_Handler::Reference_Counting_Policy::ENABLED;
    }

    Token m_token;
    HandleSetPtr m_handleSet;
    TimerQueuePtr m_timerQueue;
    NotifyPtr m_notify;
    std::map<ACE_HANDLE, Entry> m_entries;
    std::uint64_t m_nextSerial = 1;
    std::size_t m_limit = 0;
    bool m_closing = false;
};
