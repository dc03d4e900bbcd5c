#pragma once
// The answer to a command: a value shared between the waiting sender and the command, and an
// event the command signals when it is complete. Copies share the value and the event.
//
//   CExtAsyncResult<long> result(controller);
//   task.sendCommand(CAsyncCommandPtr(new CCmdQuery(..., result)));
//   result.wait();
//   if (result.succeeded()) use(*result); else show(result.exceptions());
//
// CExtAsyncResult adds an exception stack of its own, into which the executing thread reports
// failures for the waiter, and a success flag.

#include <chrono>

#include "extended/exception_facade.h"
#include "extended/master_controller.h"
#include "standard/general_ptr.h"
#include "standard/mr_event.h"

template <class T>
class CAsyncResult : public nbx::CGeneralPtr<T, nbx::CMTOwnerPolicy, nbx::CNoMethodLockPolicy,
                                             nbx::CNoObjectLockPolicy,
                                             nbx::CConstructorDeepCopyPolicy, nbx::CLockProxy> {
public:
    using Base =
        nbx::CGeneralPtr<T, nbx::CMTOwnerPolicy, nbx::CNoMethodLockPolicy, nbx::CNoObjectLockPolicy,
                         nbx::CConstructorDeepCopyPolicy, nbx::CLockProxy>;

    CAsyncResult() : Base(new T()), m_event(new nbx::CMREvent) {}
    explicit CAsyncResult(T* value) : Base(value), m_event(new nbx::CMREvent) {}
    ~CAsyncResult() override = default;

    virtual void wait() { m_event->wait(); }
    virtual void signal() { m_event->signal(); }
    // False when the deadline passed before the result was signalled.
    template <class Rep, class Period>
    bool waitFor(const std::chrono::duration<Rep, Period>& timeout) {
        return m_event->waitFor(timeout);
    }
    bool isSignalled() const { return m_event->isSignalled(); }

private:
    nbx::CGeneralPtr<nbx::CMREvent, nbx::CMTOwnerPolicy> m_event;
};

template <class T>
class CExtAsyncResult : public CAsyncResult<T> {
public:
    explicit CExtAsyncResult(nbx::CIMasterController* controller)
        : CExtAsyncResult(controller, new T()) {}
    CExtAsyncResult(nbx::CIMasterController* controller, T* value)
        : CAsyncResult<T>(value),
          m_controller(controller),
          m_exceptions(new nbx::CExceptionFacade(controller)),
          m_succeeded(new bool(false)) {}
    CExtAsyncResult(const CExtAsyncResult&) = default;
    CExtAsyncResult& operator=(const CExtAsyncResult&) = default;
    ~CExtAsyncResult() override {
        // The last holder empties the stack, so no record outlives the answer it explains.
        if (m_exceptions.useCount() == 1) m_exceptions->clear();
    }

    // Failures reported by the executing thread, for the waiter to read after wait().
    // Shared by every copy of the result, so a const copy still hands out the live stack.
    nbx::CExceptionFacade& exceptions() const { return *m_exceptions.get(); }
    bool succeeded() const { return *m_succeeded; }
    void setSucceeded(bool succeeded) { *m_succeeded = succeeded; }
    nbx::CIMasterController* controller() const { return m_controller; }

private:
    nbx::CIMasterController* m_controller;  // not owned
    nbx::CGeneralPtr<nbx::CExceptionFacade, nbx::CMTOwnerPolicy> m_exceptions;
    nbx::CGeneralPtr<bool, nbx::CMTOwnerPolicy> m_succeeded;
};

extern template class CAsyncResult<bool>;
extern template class CAsyncResult<long>;
extern template class CExtAsyncResult<bool>;
extern template class CExtAsyncResult<long>;
