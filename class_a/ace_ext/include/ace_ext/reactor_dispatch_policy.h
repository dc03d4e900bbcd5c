#pragma once
// The dispatch of a general reactor: serves the handles a wait found ready, in registration
// order, calling handle_input, handle_output and handle_exception by their events. The caller
// holds the token.
//
// ACE's conventions: a negative return removes the handler for that mask (its handle_close
// runs); a handler removed or suspended by an earlier call of the same step gets no further
// calls; a reference-counted handler is kept alive for the length of its calls.

#include <ace/Event_Handler.h>

#include <cstdint>
#include <vector>

#include "ace_ext/reactor_registration_policy.h"
#include "standard/throw.h"

template <class RegistrationPolicy>
class CReactorDispatchPolicy {
public:
    explicit CReactorDispatchPolicy(RegistrationPolicy& registration)
        : m_registration(registration) {}

    // Returns the number of handles served.
    int dispatch(const std::vector<CReactorReadyHandle>& ready) {
        int served = 0;
        for (const CReactorReadyHandle& handle : ready) {
            if (_notifyHandle(handle)) ++served;
        }
        return served;
    }

private:
    // Holds a reference on a reference-counted handler for the length of its calls.
    class CReference {
    public:
        explicit CReference(ACE_Event_Handler* handler)
            : m_handler(handler),
              m_counted(handler->reference_counting_policy().value() ==
                        ACE_Event_Handler::Reference_Counting_Policy::ENABLED) {
            if (m_counted) m_handler->add_reference();
        }
        ~CReference() {
            if (m_counted) m_handler->remove_reference();
        }
        CReference(const CReference&) = delete;
        CReference& operator=(const CReference&) = delete;

    private:
        ACE_Event_Handler* m_handler;
        bool m_counted;
    };

    // False when the registration went away after the wait (removed by an earlier call of this
    // step, or by another thread during the wait). A handle that no registration of this reactor
    // ever had cannot be served: "Failed to notify reactor callback." ("No such descriptor.").
    bool _notifyHandle(const CReactorReadyHandle& ready) {
        ACE_Event_Handler* handler = m_registration.find(ready.handle, ready.serial);
        if (!handler) {
            if (m_registration.issued(ready.serial)) return false;
            NBX_THROW(nbx::CException, "ace_ext", "CReactorDispatchPolicy::_notifyHandle",
                      nbx::msg("Failed to notify reactor callback."),
                      nbx::msg("No such descriptor."));
        }
        CReference hold(handler);
        static constexpr ACE_Reactor_Mask kOrder[] = {ACE_Event_Handler::READ_MASK,
                                                      ACE_Event_Handler::WRITE_MASK,
                                                      ACE_Event_Handler::EXCEPT_MASK};
        for (ACE_Reactor_Mask bit : kOrder) {
            if (!(ready.events & bit)) continue;
            if (m_registration.find(ready.handle, ready.serial) != handler ||
                m_registration.isSuspended(ready.handle)) {
                break;
            }
            if (!(m_registration.mask(ready.handle) & bit)) continue;  // cancelled meanwhile
            if (_upcall(handler, ready.handle, bit) < 0 &&
                m_registration.find(ready.handle, ready.serial) == handler) {
                m_registration.unbindHandle(ready.handle, bit);
            }
        }
        return true;
    }

    int _upcall(ACE_Event_Handler* handler, ACE_HANDLE handle, ACE_Reactor_Mask bit) {
        if (bit == ACE_Event_Handler::READ_MASK) {
            // The reactor's own pipe is read through its notify pointer (and method lock).
            if (m_registration.isNotifier(handler)) {
                return m_registration.notifier()->handle_input(handle);
            }
            return handler->handle_input(handle);
        }
        if (bit == ACE_Event_Handler::WRITE_MASK) return handler->handle_output(handle);
        return handler->handle_exception(handle);
    }

    RegistrationPolicy& m_registration;
};
