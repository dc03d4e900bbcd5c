#pragma once
// The part of every general reactor that does not depend on its policies: the flags of the
// ACE_Reactor_Impl interface (restart, opened, deactivated, owner ...) and the operations that
// the reactor does not support, each of which throws nbx::CException ("Operation not
// supported.") instead of failing silently.

#include <ace/Reactor_Impl.h>
#include <ace/Thread.h>

#include <atomic>
#include <cstddef>

class CGeneralReactorBase : public ACE_Reactor_Impl {
public:
    CGeneralReactorBase();
    ~CGeneralReactorBase() override;

    using ACE_Reactor_Impl::handle_events;
    using ACE_Reactor_Impl::register_handler;
    using ACE_Reactor_Impl::remove_handler;

    // Not supported: each throws "Operation not supported.".
    int current_info(ACE_HANDLE handle, size_t& size) override;
    int work_pending(const ACE_Time_Value& maxWaitTime = ACE_Time_Value::zero) override;
    void dump() const override;
    int handler(ACE_HANDLE handle, ACE_Reactor_Mask mask,
                ACE_Event_Handler** eventHandler = nullptr) override;
    int handler(int signum, ACE_Event_Handler** eventHandler = nullptr) override;
    int register_handler(int signum, ACE_Event_Handler* newHandler,
                         ACE_Sig_Action* newDisposition = nullptr,
                         ACE_Event_Handler** oldHandler = nullptr,
                         ACE_Sig_Action* oldDisposition = nullptr) override;
    int register_handler(const ACE_Sig_Set& signals, ACE_Event_Handler* newHandler,
                         ACE_Sig_Action* newDisposition = nullptr) override;
    int register_handler(ACE_HANDLE eventHandle, ACE_HANDLE ioHandle,
                         ACE_Event_Handler* eventHandler, ACE_Reactor_Mask mask) override;
    int resumable_handler() override;
    // Deprecated: throws "Invalid reactor lock call." ("Method is deprecated.").
    ACE_Lock& lock() override;

    // No signal handler can be registered, so none can be removed: -1.
    int remove_handler(int signum, ACE_Sig_Action* newDisposition,
                       ACE_Sig_Action* oldDisposition = nullptr, int sigkey = -1) override;
    int remove_handler(const ACE_Sig_Set& signals) override;

    // Kept for ACE's interface; signals are not dispatched by this reactor.
    int set_sig_handler(ACE_Sig_Handler* signalHandler) override;
    // The wait polls the descriptors themselves: no event objects are associated.
    bool uses_event_associations() override { return false; }

    int handle_events(ACE_Time_Value& maxWaitTime) override;
    // Nothing here is alertable: the same as handle_events.
    int alertable_handle_events(ACE_Time_Value* maxWaitTime = nullptr) override;
    int alertable_handle_events(ACE_Time_Value& maxWaitTime) override;

    int deactivated() override { return m_deactivated.load() ? 1 : 0; }
    bool initialized() override { return m_opened.load(); }
    size_t size() const override { return m_size.load(); }
    int owner(ACE_thread_t newOwner, ACE_thread_t* oldOwner = nullptr) override;
    int owner(ACE_thread_t* owner) override;
    bool restart() override { return m_restart.load(); }
    bool restart(bool restart) override { return m_restart.exchange(restart); }
    void requeue_position(int position) override { m_requeuePosition = position; }
    int requeue_position() override { return m_requeuePosition.load(); }
    // The pipe carries only wake-ups, one per step: any limit is kept; the value is stored.
    void max_notify_iterations(int iterations) override { m_maxNotifyIterations = iterations; }
    int max_notify_iterations() override { return m_maxNotifyIterations.load(); }
    // Handler notifications are refused (see notify), so none is ever pending: 0.
    int purge_pending_notifications(
        ACE_Event_Handler* eventHandler = nullptr,
        ACE_Reactor_Mask mask = ACE_Event_Handler::ALL_EVENTS_MASK) override;

protected:
    // open's argument checks: throws "Failed to open reactor." for a notify handler ("Notify
    // handler must be null.") or a disabled pipe ("Notify pipe must be zero."); false when the
    // reactor is open already.
    bool _checkOpen(int disableNotifyPipe, ACE_Reactor_Notify* notifyHandler);
    bool _isOwner() const;
    [[noreturn]] void _unsupported(const char* function, const char* message) const;

    std::atomic<bool> m_restart{false};
    std::atomic<bool> m_opened{false};
    std::atomic<bool> m_deactivated{false};
    std::atomic<ACE_thread_t> m_owner;
    std::atomic<std::size_t> m_size{0};
    std::atomic<int> m_requeuePosition{-1};
    std::atomic<int> m_maxNotifyIterations{-1};
    std::atomic<ACE_Sig_Handler*> m_signalHandler{nullptr};
};
