#pragma once
// A thread's exception stack: caught exceptions are reported into it and flushed to the host log.

#include "extended/master_controller.h"
#include "standard/exception_facade.h"

namespace nbx {

class CExceptionFacade : public CIExceptionFacade {
public:
    // More records than this make push log the exhaustion message and flush.
    static constexpr std::size_t kMaxRecords = 25;

    explicit CExceptionFacade(CIMasterController* controller);
    ~CExceptionFacade() override;

    void push(const CExceptionPtr& exception) override;
    void clear() override;
    std::uint32_t severity() const override;
    void text(std::string& out) override;
    void summary(std::string& out) override;
    void flush() override;
    std::size_t count() const override;
    CExceptionPtr inner() const override;
    CExceptionPtr outer() const override;
    const CExceptionList& exceptions() const override;
    CExceptionList& exceptions() override;

private:
    CIMasterController* m_controller;  // not owned
    CExceptionList m_exceptions;
};

}  // namespace nbx
