#include "standard/exception.h"

#include <cxxabi.h>
#include <errno.h>
#include <string.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "standard/exception_facade.h"
#include "standard/message_store.h"
#include "standard/throw.h"

namespace nbx {

namespace {

struct SeverityName {
    const char* name;
    std::uint32_t bit;
};

// The order in which severityText writes the names.
constexpr SeverityName kSeverityNames[] = {
    {"error", SEVERITY_ERROR}, {"warning", SEVERITY_WARNING}, {"info", SEVERITY_INFO},
    {"audit", SEVERITY_AUDIT}, {"debug", SEVERITY_DEBUG},     {"verbose", SEVERITY_VERBOSE},
};

std::string trimBlanks(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

CException::CException() : m_time(static_cast<std::int64_t>(std::time(nullptr))) {}

CException::CException(const CException& other)
    : m_className(other.m_className),
      m_line(other.m_line),
      m_file(other.m_file),
      m_message(other.m_message),
      m_reason(other.m_reason),
      m_module(other.m_module),
      m_function(other.m_function),
      m_errorCode(other.m_errorCode),
      m_severity(other.m_severity),
      m_time(other.m_time),
      m_object(other.m_object),
      m_reported(false) {}

CException& CException::operator=(const CException& other) {
    if (this != &other) {
        m_className = other.m_className;
        m_line = other.m_line;
        m_file = other.m_file;
        m_message = other.m_message;
        m_reason = other.m_reason;
        m_module = other.m_module;
        m_function = other.m_function;
        m_errorCode = other.m_errorCode;
        m_severity = other.m_severity;
        m_time = other.m_time;
        m_object = other.m_object;
        m_reported = false;
    }
    return *this;
}

CException::~CException() {}

void CException::report(CIExceptionFacade* facade) {
    if (m_reported || !facade) return;
    facade->push(CExceptionPtr(clone()));
    m_reported = true;
}

CException* CException::clone() const {
    return new CException(*this);
}

CMessage& CException::reason() {
    if (m_reason.format().empty() && m_errorCode != 0) m_reason.setFormat(errorText(m_errorCode));
    return m_reason;
}

void CException::text(std::string& out, CMessageStore* store) {
    CMessage message = m_message;
    CMessage& why = reason();
    CMessage cause = why;
    if (store) {
        store->translate(message);
        if (m_errorCode == 0) store->translate(cause);
    }
    out = message.text();
    const std::string& reasonText = cause.text();
    if (!reasonText.empty()) out += " (" + reasonText + ")";
}

std::string CException::text() {
    std::string out;
    text(out);
    return out;
}

std::string CException::reasonText() {
    return reason().text();
}

void CException::location(std::string& out) const {
    out = m_className + ", " + m_file + ", " + std::to_string(m_line);
}

std::string CException::errorText(std::uint32_t code) {
    if (code == 0) return std::string();
    char buffer[512];
    errno = 0;
    // GNU strerror_r: returns the text, which may or may not live in the buffer.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    std::string result = text ? text : "";
    // glibc describes codes it does not know as "Unknown error N".
    if (result.empty() || result.rfind("Unknown error", 0) == 0) {
        return "Unknown error code " + std::to_string(code);
    }
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
    return result;
}

std::uint32_t CException::severityMask(const std::string& text) {
    std::uint32_t mask = 0;
    if (text.empty()) return mask;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = text.find(',', start);
        std::string item = trimBlanks(text.substr(start, comma - start));
        if (item == "*" || item == "all") {
            mask = SEVERITY_ALL;
        } else {
            bool known = false;
            for (const SeverityName& entry : kSeverityNames) {
                if (item == entry.name) {
                    mask |= entry.bit;
                    known = true;
                }
            }
            if (!known) {
                NBX_THROW_STATIC(CException, "standard", "CException::severityMask",
                                 msg("Cannot parse severity mask '%1'.", item),
                                 msg("Invalid value."));
            }
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return mask;
}

std::string CException::severityText(std::uint32_t mask) {
    std::string out;
    for (const SeverityName& entry : kSeverityNames) {
        if (!(mask & entry.bit)) continue;
        if (!out.empty()) out += ",";
        out += entry.name;
    }
    return out;
}

std::string demangle(const char* mangledName) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> readable(
        abi::__cxa_demangle(mangledName, nullptr, nullptr, &status), std::free);
    return status == 0 && readable ? std::string(readable.get()) : std::string(mangledName);
}

void fillException(CException& record, const CThrowSite& site, CMessage message, CMessage reason,
                   std::uint32_t errorCode, std::uint32_t severity) {
    record.setClassName(site.className);
    record.setFile(site.file);
    record.setLine(site.line);
    message.setModule(site.module);
    record.setMessage(message);
    record.setErrorCode(errorCode);
    if (!reason.empty()) {
        reason.setModule(site.module);
        record.setReason(reason);
    }
    record.setModule(site.module);
    record.setFunction(site.function);
    record.setSeverity(severity);
    record.setObject(site.object);
}

std::uint32_t lastError() {
    return static_cast<std::uint32_t>(errno);
}

}  // namespace nbx
