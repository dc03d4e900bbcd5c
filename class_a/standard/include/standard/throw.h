#pragma once
// Throw sites. Every site fills the same fields in the same order (class name, file, line,
// message, error code, reason, module, function, severity, object); these helpers make a site
// one readable statement:
//
//   NBX_THROW(CExQueueFull, "dhcp_sync", "CCommandQueueTask::sendCommand",
//             nbx::msg("Failed to send command '%1' to task '%2'.", command, name()),
//             nbx::msg("Command queue overflow."));
//
// NBX_THROW uses `this` for class name and object; NBX_THROW_STATIC writes "static". The _CODE
// forms also carry an operating-system error code; the _SEV forms a severity other than error.

#include <cstdint>
#include <string>
#include <typeinfo>
#include <utility>

#include "standard/exception.h"
#include "standard/message.h"

namespace nbx {

// Demangled run-time type name.
std::string demangle(const char* mangledName);

template <class T>
std::string typeName(const T* self) {
    return demangle(typeid(*self).name());
}

struct CThrowSite {
    std::string className;
    const void* object;
    const char* file;
    std::uint32_t line;
    const char* module;
    const char* function;
};

// Fills `record` as a throw site does.
void fillException(CException& record, const CThrowSite& site, CMessage message, CMessage reason,
                   std::uint32_t errorCode, std::uint32_t severity);

template <class E = CException>
E makeException(const CThrowSite& site, CMessage message, CMessage reason = CMessage(),
                std::uint32_t errorCode = 0, std::uint32_t severity = SEVERITY_ERROR) {
    E record;
    fillException(record, site, std::move(message), std::move(reason), errorCode, severity);
    return record;
}

// Last operating-system error (errno), read right after a failing call.
std::uint32_t lastError();

}  // namespace nbx

#define NBX_SITE(module, function)                                        \
    ::nbx::CThrowSite {                                                   \
        ::nbx::typeName(this), this, __FILE__, __LINE__, module, function \
    }
#define NBX_STATIC_SITE(module, function)                       \
    ::nbx::CThrowSite {                                         \
        "static", nullptr, __FILE__, __LINE__, module, function \
    }

#define NBX_THROW(Type, module, function, message, reason) \
    throw ::nbx::makeException<Type>(NBX_SITE(module, function), message, reason)
#define NBX_THROW_CODE(Type, module, function, message, reason, code) \
    throw ::nbx::makeException<Type>(NBX_SITE(module, function), message, reason, code)
#define NBX_THROW_SEV(Type, module, function, message, reason, severity) \
    throw ::nbx::makeException<Type>(NBX_SITE(module, function), message, reason, 0, severity)
#define NBX_THROW_STATIC(Type, module, function, message, reason) \
    throw ::nbx::makeException<Type>(NBX_STATIC_SITE(module, function), message, reason)
#define NBX_THROW_STATIC_CODE(Type, module, function, message, reason, code) \
    throw ::nbx::makeException<Type>(NBX_STATIC_SITE(module, function), message, reason, code)
