#pragma once
// The one exception record of the system. Every failure is thrown as an nbx::CException (or a
// class derived from it that adds no fields, only a type to catch by).

#include <cstdint>
#include <string>

#include "standard/message.h"

namespace nbx {

class CIExceptionFacade;
class CMessageStore;

// Severity bits.
enum Severity : std::uint32_t {
    SEVERITY_INFO = 1,
    SEVERITY_WARNING = 2,
    SEVERITY_ERROR = 4,
    SEVERITY_DEBUG = 8,
    SEVERITY_AUDIT = 16,
    SEVERITY_VERBOSE = 32,
    SEVERITY_ALL = 0xFFFFFFFFu,
};

class CException {
public:
    CException();
    CException(const CException& other);  // the copy starts unreported
    CException& operator=(const CException& other);
    virtual ~CException();

    // Pushes a heap clone onto the stack once; later reports of the same record do nothing.
    virtual void report(CIExceptionFacade* facade);
    virtual CException* clone() const;

    void setClassName(const std::string& name) { m_className = name; }
    void setFile(const std::string& file) { m_file = file; }
    void setLine(std::uint32_t line) { m_line = line; }
    void setMessage(const CMessage& message) { m_message = message; }
    void setReason(const CMessage& reason) { m_reason = reason; }
    void setModule(const std::string& module) { m_module = module; }
    void setFunction(const std::string& function) { m_function = function; }
    void setErrorCode(std::uint32_t code) { m_errorCode = code; }
    void setSeverity(std::uint32_t severity) { m_severity = severity; }
    void setObject(const void* object) { m_object = object; }
    void setTime(std::int64_t time) { m_time = time; }

    const std::string& className() const { return m_className; }
    const std::string& file() const { return m_file; }
    std::uint32_t line() const { return m_line; }
    CMessage& message() { return m_message; }
    const CMessage& message() const { return m_message; }
    // The reason; an empty reason with an error code first takes the system's text for the code.
    CMessage& reason();
    const std::string& module() const { return m_module; }
    const std::string& function() const { return m_function; }
    std::uint32_t errorCode() const { return m_errorCode; }
    std::uint32_t severity() const { return m_severity; }
    const void* object() const { return m_object; }
    std::int64_t time() const { return m_time; }
    bool reported() const { return m_reported; }

    // message text, then " (" reason ")" when the reason is not empty. With a store the message
    // is translated first, the reason only when it is not a system error text.
    void text(std::string& out, CMessageStore* store = nullptr);
    std::string text();
    // The message's text followed by the reason's, for assertions and logs.
    std::string reasonText();
    // class name ", " file ", " line
    void location(std::string& out) const;

    // Operating-system text of an error code, without trailing line breaks.
    static std::string errorText(std::uint32_t code);
    // "error,warning,..." -> bit mask. Throws "Cannot parse severity mask '%1'." on a bad name.
    static std::uint32_t severityMask(const std::string& text);
    // Bit mask -> names in the order error, warning, info, audit, debug, verbose.
    static std::string severityText(std::uint32_t mask);

private:
    std::string m_className;
    std::uint32_t m_line = 0;
    std::string m_file;
    CMessage m_message;
    CMessage m_reason;
    std::string m_module;
    std::string m_function;
    std::uint32_t m_errorCode = 0;
    std::uint32_t m_severity = 0;
    std::int64_t m_time = 0;
    const void* m_object = nullptr;
    bool m_reported = false;
};

}  // namespace nbx

// Declares an exception class that adds no fields: it exists to be caught by type, and its clone
// keeps that type.
#define NBX_DECLARE_EXCEPTION(Name, Base)                              \
    class Name : public Base {                                         \
    public:                                                            \
        Name() = default;                                              \
        explicit Name(const ::nbx::CException& other) : Base(other) {} \
        Name* clone() const override { return new Name(*this); }       \
    }

namespace nbx {
NBX_DECLARE_EXCEPTION(CParseException, CException);
NBX_DECLARE_EXCEPTION(CNumberConversionException, CException);
NBX_DECLARE_EXCEPTION(CGeneralPtrPoolSizeException, CException);
}  // namespace nbx
