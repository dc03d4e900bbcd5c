#include "ace_ext/general_reactor_base.h"

#include <ace/OS_NS_Thread.h>
#include <errno.h>

#include "standard/throw.h"

namespace {
constexpr const char* kModule = "ace_ext";
}  // namespace

CGeneralReactorBase::CGeneralReactorBase() : m_owner(ACE_Thread::self()) {}

CGeneralReactorBase::~CGeneralReactorBase() {}

void CGeneralReactorBase::_unsupported(const char* function, const char* message) const {
    NBX_THROW(nbx::CException, kModule, function, nbx::msg(message),
              nbx::msg("Operation not supported."));
}

int CGeneralReactorBase::current_info(ACE_HANDLE, size_t&) {
    _unsupported("CGeneralReactor::current_info", "Failed to query reactor.");
}

int CGeneralReactorBase::work_pending(const ACE_Time_Value&) {
    _unsupported("CGeneralReactor::work_pending", "Failed to query reactor.");
}

void CGeneralReactorBase::dump() const {
    _unsupported("CGeneralReactor::dump", "Failed to dump reactor.");
}

int CGeneralReactorBase::handler(ACE_HANDLE, ACE_Reactor_Mask, ACE_Event_Handler**) {
    _unsupported("CGeneralReactor::handler", "Failed to find handler.");
}

int CGeneralReactorBase::handler(int, ACE_Event_Handler**) {
    _unsupported("CGeneralReactor::handler", "Failed to find handler.");
}

int CGeneralReactorBase::register_handler(int, ACE_Event_Handler*, ACE_Sig_Action*,
                                          ACE_Event_Handler**, ACE_Sig_Action*) {
    _unsupported("CGeneralReactor::register_handler", "Failed to register reactor signal handler.");
}

int CGeneralReactorBase::register_handler(const ACE_Sig_Set&, ACE_Event_Handler*, ACE_Sig_Action*) {
    _unsupported("CGeneralReactor::register_handler", "Failed to register reactor handler.");
}

int CGeneralReactorBase::register_handler(ACE_HANDLE, ACE_HANDLE, ACE_Event_Handler*,
                                          ACE_Reactor_Mask) {
    _unsupported("CGeneralReactor::register_handler", "Failed to register reactor handler.");
}

int CGeneralReactorBase::resumable_handler() {
    _unsupported("CGeneralReactor::notify", "Failed to query reactor suspension state.");
}

ACE_Lock& CGeneralReactorBase::lock() {
    NBX_THROW(nbx::CException, kModule, "CGeneralReactor::lock",
              nbx::msg("Invalid reactor lock call."), nbx::msg("Method is deprecated."));
}

int CGeneralReactorBase::remove_handler(int, ACE_Sig_Action*, ACE_Sig_Action*, int) {
    errno = ENOENT;
    return -1;
}

int CGeneralReactorBase::remove_handler(const ACE_Sig_Set&) {
    errno = ENOENT;
    return -1;
}

int CGeneralReactorBase::set_sig_handler(ACE_Sig_Handler* signalHandler) {
    m_signalHandler = signalHandler;
    return 0;
}

int CGeneralReactorBase::handle_events(ACE_Time_Value& maxWaitTime) {
    return handle_events(&maxWaitTime);
}

int CGeneralReactorBase::alertable_handle_events(ACE_Time_Value* maxWaitTime) {
    return handle_events(maxWaitTime);
}

int CGeneralReactorBase::alertable_handle_events(ACE_Time_Value& maxWaitTime) {
    return handle_events(&maxWaitTime);
}

int CGeneralReactorBase::owner(ACE_thread_t newOwner, ACE_thread_t* oldOwner) {
    ACE_thread_t previous = m_owner.exchange(newOwner);
    if (oldOwner) *oldOwner = previous;
    return 0;
}

int CGeneralReactorBase::owner(ACE_thread_t* owner) {
    if (owner) *owner = m_owner.load();
    return 0;
}

int CGeneralReactorBase::purge_pending_notifications(ACE_Event_Handler*, ACE_Reactor_Mask) {
    return 0;
}

bool CGeneralReactorBase::_checkOpen(int disableNotifyPipe, ACE_Reactor_Notify* notifyHandler) {
    if (notifyHandler) {
        NBX_THROW(nbx::CException, kModule, "CGeneralReactor::open",
                  nbx::msg("Failed to open reactor."), nbx::msg("Notify handler must be null."));
    }
    if (disableNotifyPipe != 0) {
        NBX_THROW(nbx::CException, kModule, "CGeneralReactor::open",
                  nbx::msg("Failed to open reactor."), nbx::msg("Notify pipe must be zero."));
    }
    return !m_opened.load();
}

bool CGeneralReactorBase::_isOwner() const {
    return ACE_OS::thr_equal(ACE_Thread::self(), m_owner.load()) != 0;
}
