#pragma once
// The per-thread exception stack interface, the shared pointer that holds reported records and
// the log sink that a stack is flushed to.

#include <cstdint>
#include <list>
#include <string>

#include "standard/exception.h"
#include "standard/general_ptr.h"

namespace nbx {

// Reported records are shared: a stack may be emptied on one thread and the record released on
// another (an asynchronous result destroyed by its waiter), hence the multi-threaded count.
using CExceptionPtr = CGeneralPtr<CException, CMTOwnerPolicy>;
using CExceptionList = std::list<CExceptionPtr>;

// The host's log: single messages with a severity, and whole exception lists from a flush.
class CILogSink {
public:
    virtual ~CILogSink() = default;
    virtual void log(std::uint32_t severity, const CMessage& message,
                     const void* context = nullptr) = 0;
    virtual void log(const CExceptionList& exceptions) = 0;
};

class CIExceptionFacade {
public:
    virtual ~CIExceptionFacade() = default;
    // Appends; the first pushed is the innermost cause, the last the outermost failure.
    virtual void push(const CExceptionPtr& exception) = 0;
    virtual void clear() = 0;
    // Severity of the outermost record.
    virtual std::uint32_t severity() const = 0;
    // Texts of all records, innermost first, joined by " / ".
    virtual void text(std::string& out) = 0;
    // The innermost record's text with the outermost record's reason.
    virtual void summary(std::string& out) = 0;
    // Hands the whole list to the log sink and empties the stack.
    virtual void flush() = 0;
    virtual std::size_t count() const = 0;
    virtual CExceptionPtr inner() const = 0;
    virtual CExceptionPtr outer() const = 0;
    virtual const CExceptionList& exceptions() const = 0;
    virtual CExceptionList& exceptions() = 0;
};

}  // namespace nbx
