#pragma once
// The general reactor: an ACE_Reactor_Impl assembled from a wait, a registration and a dispatch
// policy (see reactor_impl_policy.h), used behind ACE's facade:
//
//   ACE_Reactor reactor(new CSTGeneralReactor, true); // the facade deletes it
//   reactor.open(0);                                  // (its destructor calls close)
//   reactor.owner(ACE_Thread::self());                // the thread that runs the loop
//   reactor.handle_events();
//
// It waits with poll(2) on every registered handle, its own notification pipe and the earliest
// timer, runs the due timers of ACE's timer queue and then serves the ready handles in
// registration order. The operations follow ACE's meanings; those it does not support throw
// (general_reactor_base.h). Two instantiations:
//   CSTGeneralReactor  no-op token, no locks: entered only by its owner thread, except notify();
//   CMTGeneralReactor  ACE_Token, locked notifier and handle set: any thread may register,
//                      remove, schedule and notify while the owner runs the loop.

#include <ace/Countdown_Time.h>
#include <ace/Guard_T.h>
#include <ace/Handle_Set.h>
#include <ace/Token.h>
#include <errno.h>

#include "ace_ext/general_reactor_base.h"
#include "ace_ext/reactor_dispatch_policy.h"
#include "ace_ext/reactor_impl_policy.h"
#include "ace_ext/reactor_notify.h"
#include "ace_ext/reactor_poll_wait_policy.h"
#include "ace_ext/reactor_registration_policy.h"
#include "standard/general_ptr.h"
#include "standard/sync.h"
#include "standard/throw.h"

template <class ImplPolicy>
class CGeneralReactor : public CGeneralReactorBase {
    using Guard = typename ImplPolicy::Guard;

public:
    using CGeneralReactorBase::handle_events;
    using CGeneralReactorBase::register_handler;
    using CGeneralReactorBase::remove_handler;

    CGeneralReactor() = default;
    ~CGeneralReactor() override { close(); }

    // Throws for a notify handler or a disabled notify pipe (see _checkOpen); -1 when open
    // already. `size` caps the number of registrations (0: as many as a handle set holds).
    // `restart` is kept for restart(); a wait interrupted by a signal is always resumed.
    int open(size_t size, bool restart = false, ACE_Sig_Handler* signalHandler = nullptr,
             ACE_Timer_Queue* timerQueue = nullptr, int disableNotifyPipe = 0,
             ACE_Reactor_Notify* notifyHandler = nullptr) override {
        Guard guard(_token());
        if (!_checkOpen(disableNotifyPipe, notifyHandler)) return -1;
        m_restart = restart;
        m_signalHandler = signalHandler;
        if (m_impl.open(this, size, timerQueue) != 0) return -1;
        m_size = m_impl.registration().limit();
        m_owner = ACE_Thread::self();
        m_deactivated = false;
        m_opened = true;
        return 0;
    }

    // ACE's meaning (see CReactorImplPolicy::close); -1 when a handler threw from its
    // handle_close. A loop waiting in another thread is woken and its step ends with -1.
    int close() override {
        Guard guard(_token());
        // Woken under the token: the loop cannot take the wake-up before the pipe is gone, so
        // its poll ends (ready or closed descriptor) and the step finds the reactor closed.
        _wakeForeign();
        m_opened = false;
        return m_impl.close() ? 0 : -1;
    }

    int timer_queue(ACE_Timer_Queue* timerQueue) override {
        CReactorTimerQueue* queue = dynamic_cast<CReactorTimerQueue*>(timerQueue);
        if (timerQueue && !queue) {
            errno = EINVAL;
            return -1;
        }
        m_impl.setTimerQueue(queue);
        return 0;
    }
    ACE_Timer_Queue* timer_queue() const override {
        return const_cast<ImplPolicy&>(m_impl).timerQueue();
    }

    // One step of the loop, by the owner thread only (else -1, EACCES); -1 (ESHUTDOWN) when
    // closed or deactivated. `maxWaitTime` (null: no limit) is reduced by the time spent.
    int handle_events(ACE_Time_Value* maxWaitTime = nullptr) override {
        ACE_Countdown_Time countdown(maxWaitTime);
        if (!m_opened.load() || m_deactivated.load()) {
            errno = ESHUTDOWN;
            return -1;
        }
        if (!_isOwner()) {
            errno = EACCES;
            return -1;
        }
        return m_impl.handleEvents(maxWaitTime);
    }

    void deactivate(int doStop) override {
        m_deactivated = doStop != 0;
        if (doStop) _wake();
    }
    void wakeup_all_threads() override { _wake(); }

    int register_handler(ACE_Event_Handler* eventHandler, ACE_Reactor_Mask mask) override {
        if (!eventHandler) return _fail(EINVAL);
        return register_handler(eventHandler->get_handle(), eventHandler, mask);
    }
    int register_handler(ACE_HANDLE ioHandle, ACE_Event_Handler* eventHandler,
                         ACE_Reactor_Mask mask) override {
        int result;
        {
            Guard guard(_token());
            result = m_impl.registration().bindHandle(ioHandle, eventHandler, mask);
        }
        if (result == 0) _wakeForeign();
        return result;
    }
    int register_handler(const ACE_Handle_Set& handles, ACE_Event_Handler* eventHandler,
                         ACE_Reactor_Mask mask) override {
        ACE_Handle_Set_Iterator next(handles);
        for (ACE_HANDLE handle = next(); handle != ACE_INVALID_HANDLE; handle = next()) {
            if (register_handler(handle, eventHandler, mask) != 0) return -1;
        }
        return 0;
    }

    // An absent handle throws "Failed to delete reactor event handle." ("No such handle.").
    int remove_handler(ACE_Event_Handler* eventHandler, ACE_Reactor_Mask mask) override {
        if (!eventHandler) return _fail(EINVAL);
        return remove_handler(eventHandler->get_handle(), mask);
    }
    int remove_handler(ACE_HANDLE handle, ACE_Reactor_Mask mask) override {
        int result;
        {
            Guard guard(_token());
            result = m_impl.registration().unbindHandle(handle, mask);
        }
        if (result == 0) _wakeForeign();
        return result;
    }
    int remove_handler(const ACE_Handle_Set& handles, ACE_Reactor_Mask mask) override {
        int result = 0;
        ACE_Handle_Set_Iterator next(handles);
        for (ACE_HANDLE handle = next(); handle != ACE_INVALID_HANDLE; handle = next()) {
            if (remove_handler(handle, mask) != 0) result = -1;
        }
        return result;
    }

    int suspend_handler(ACE_Event_Handler* eventHandler) override {
        return eventHandler ? _suspend(eventHandler->get_handle(), true) : _fail(EINVAL);
    }
    int suspend_handler(ACE_HANDLE handle) override { return _suspend(handle, true); }
    int suspend_handler(const ACE_Handle_Set& handles) override { return _suspend(handles, true); }
    int suspend_handlers() override { return _suspendAll(true); }
    int resume_handler(ACE_Event_Handler* eventHandler) override {
        return eventHandler ? _suspend(eventHandler->get_handle(), false) : _fail(EINVAL);
    }
    int resume_handler(ACE_HANDLE handle) override { return _suspend(handle, false); }
    int resume_handler(const ACE_Handle_Set& handles) override { return _suspend(handles, false); }
    int resume_handlers() override { return _suspendAll(false); }

    long schedule_timer(ACE_Event_Handler* eventHandler, const void* arg,
                        const ACE_Time_Value& delay,
                        const ACE_Time_Value& interval = ACE_Time_Value::zero) override {
        if (!eventHandler) return _fail(EINVAL);
        long id = m_impl.scheduleTimer(eventHandler, arg, delay, interval);
        if (id != -1) _wakeForeign();  // the loop may be waiting for a later deadline
        return id;
    }
    int reset_timer_interval(long timerId, const ACE_Time_Value& interval) override {
        int result = m_impl.resetTimerInterval(timerId, interval);
        if (result == 0) _wakeForeign();
        return result;
    }
    int cancel_timer(ACE_Event_Handler* eventHandler, int dontCallHandleClose = 1) override {
        return m_impl.cancelTimer(eventHandler, dontCallHandleClose);
    }
    int cancel_timer(long timerId, const void** arg = nullptr,
                     int dontCallHandleClose = 1) override {
        return m_impl.cancelTimer(timerId, arg, dontCallHandleClose);
    }

    int schedule_wakeup(ACE_Event_Handler* eventHandler, ACE_Reactor_Mask mask) override {
        return mask_ops(eventHandler, mask, ACE_Reactor::ADD_MASK);
    }
    int schedule_wakeup(ACE_HANDLE handle, ACE_Reactor_Mask mask) override {
        return mask_ops(handle, mask, ACE_Reactor::ADD_MASK);
    }
    int cancel_wakeup(ACE_Event_Handler* eventHandler, ACE_Reactor_Mask mask) override {
        return mask_ops(eventHandler, mask, ACE_Reactor::CLR_MASK);
    }
    int cancel_wakeup(ACE_HANDLE handle, ACE_Reactor_Mask mask) override {
        return mask_ops(handle, mask, ACE_Reactor::CLR_MASK);
    }

    // Any thread: a null handler writes a wake-up into the reactor's pipe (CExNotifyFull when
    // the pipe is full or the reactor closed). A handler notification would need a buffer the
    // pipe does not carry: "Failed to notify reactor handler." ("Operation not supported.").
    int notify(ACE_Event_Handler* eventHandler = nullptr,
               ACE_Reactor_Mask = ACE_Event_Handler::EXCEPT_MASK,
               ACE_Time_Value* = nullptr) override {
        if (eventHandler)
            _unsupported("CGeneralReactor::notify", "Failed to notify reactor handler.");
        m_impl.wake();
        return 0;
    }

    // ACE's meaning: the handler of `handle` with one more reference, or null.
    ACE_Event_Handler* find_handler(ACE_HANDLE handle) override {
        Guard guard(_token());
        ACE_Event_Handler* handler = m_impl.registration().find(handle);
        if (handler) handler->add_reference();
        return handler;
    }

    int mask_ops(ACE_Event_Handler* eventHandler, ACE_Reactor_Mask mask, int ops) override {
        return eventHandler ? mask_ops(eventHandler->get_handle(), mask, ops) : _fail(EINVAL);
    }
    int mask_ops(ACE_HANDLE handle, ACE_Reactor_Mask mask, int ops) override {
        int result;
        {
            Guard guard(_token());
            result = m_impl.registration().maskOps(handle, mask, ops);
        }
        if (result != -1 && ops != ACE_Reactor::GET_MASK) _wakeForeign();
        return result;
    }
    int ready_ops(ACE_Event_Handler* eventHandler, ACE_Reactor_Mask mask, int ops) override {
        return eventHandler ? ready_ops(eventHandler->get_handle(), mask, ops) : _fail(EINVAL);
    }
    int ready_ops(ACE_HANDLE handle, ACE_Reactor_Mask mask, int ops) override {
        int result;
        {
            Guard guard(_token());
            result = m_impl.registration().readyOps(handle, mask, ops);
        }
        if (result != -1 && ops != ACE_Reactor::GET_MASK) _wakeForeign();
        return result;
    }

    ImplPolicy& implPolicy() { return m_impl; }

private:
    typename ImplPolicy::Registration::TokenType& _token() { return m_impl.registration().token(); }

    static int _fail(int code) {
        errno = code;
        return -1;
    }

    int _suspend(ACE_HANDLE handle, bool suspended) {
        int result;
        {
            Guard guard(_token());
            result = m_impl.registration().suspend(handle, suspended);
        }
        if (result == 0) _wakeForeign();
        return result;
    }
    int _suspend(const ACE_Handle_Set& handles, bool suspended) {
        int result = 0;
        ACE_Handle_Set_Iterator next(handles);
        for (ACE_HANDLE handle = next(); handle != ACE_INVALID_HANDLE; handle = next()) {
            if (_suspend(handle, suspended) != 0) result = -1;
        }
        return result;
    }
    int _suspendAll(bool suspended) {
        int result;
        {
            Guard guard(_token());
            result = m_impl.registration().suspendAll(suspended);
        }
        if (result == 0) _wakeForeign();
        return result;
    }

    // Wakes the loop so that it sees a change. A full pipe wakes it anyway and a closed one has
    // no loop to wake; any other failure only delays the loop until its next event, which is
    // no reason to fail the change that has been made.
    void _wake() {
        try {
            m_impl.wake();
        } catch (const nbx::CException&) {
        }
    }
    // Only another thread's change can find the loop in a wait that does not know of it.
    void _wakeForeign() {
        if (m_opened.load() && !_isOwner()) _wake();
    }

    ImplPolicy m_impl;
};

// The notifier of the locking reactor: its methods are serialised through its pointer.
class CLockedReactorNotify : public CReactorNotify, public nbx::CLockable {};

using CSTReactorRegistrationPolicy =
    CReactorRegistrationPolicy<ACE_Noop_Token,
                               nbx::CGeneralPtr<ACE_Event_Handler, nbx::CSTNotOwnerPolicy>,
                               nbx::CGeneralPtr<CReactorHandleSet, nbx::CSTNotOwnerPolicy>,
                               nbx::CGeneralPtr<CReactorTimerQueue, nbx::CSTNotOwnerPolicy>,
                               nbx::CGeneralPtr<CReactorNotify, nbx::CSTNotOwnerPolicy>>;
using CSTReactorImplPolicy =
    CReactorImplPolicy<CReactorPollWaitPolicy<CSTReactorRegistrationPolicy>,
                       CSTReactorRegistrationPolicy,
                       CReactorDispatchPolicy<CSTReactorRegistrationPolicy>>;
using CSTGeneralReactor = CGeneralReactor<CSTReactorImplPolicy>;

using CMTReactorRegistrationPolicy = CReactorRegistrationPolicy<
    ACE_Token, nbx::CGeneralPtr<ACE_Event_Handler, nbx::CMTNotOwnerPolicy>,
    nbx::CGeneralPtr<CReactorHandleSet, nbx::CMTNotOwnerPolicy, nbx::CNoMethodLockPolicy,
                     nbx::CObjectLockPolicy>,
    nbx::CGeneralPtr<CReactorTimerQueue, nbx::CMTNotOwnerPolicy>,
    nbx::CGeneralPtr<CLockedReactorNotify, nbx::CMTNotOwnerPolicy, nbx::CMethodLockPolicy>>;
using CMTReactorImplPolicy =
    CReactorImplPolicy<CReactorPollWaitPolicy<CMTReactorRegistrationPolicy>,
                       CMTReactorRegistrationPolicy,
                       CReactorDispatchPolicy<CMTReactorRegistrationPolicy>>;
using CMTGeneralReactor = CGeneralReactor<CMTReactorImplPolicy>;

// Both are compiled once, in the ace_ext library.
extern template class CGeneralReactor<CSTReactorImplPolicy>;
extern template class CGeneralReactor<CMTReactorImplPolicy>;
