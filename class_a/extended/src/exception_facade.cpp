#include "extended/exception_facade.h"

#include "standard/throw.h"

namespace nbx {

namespace {
constexpr const char* kModule = "extended";
}

CExceptionFacade::CExceptionFacade(CIMasterController* controller) : m_controller(controller) {}

CExceptionFacade::~CExceptionFacade() = default;

void CExceptionFacade::push(const CExceptionPtr& exception) {
    m_exceptions.push_back(exception);
    if (m_exceptions.size() > kMaxRecords) {
        if (m_controller) {
            CMessage exhausted(
                "The exception stack is exhausted. The next %1 message(s) are from the exception "
                "stack.",
                kModule);
            exhausted.push(static_cast<unsigned long>(m_exceptions.size()));
            m_controller->logSink().log(SEVERITY_ERROR, exhausted);
        }
        flush();
    }
}

void CExceptionFacade::clear() {
    m_exceptions.clear();
}

std::uint32_t CExceptionFacade::severity() const {
    if (m_exceptions.empty()) {
        NBX_THROW(CException, kModule, "CExceptionFacade::severity",
                  msg("Cannot compute exception severity."), msg("Exception stack is empty."));
    }
    return m_exceptions.back()->severity();
}

void CExceptionFacade::text(std::string& out) {
    out.clear();
    bool first = true;
    for (CExceptionPtr& record : m_exceptions) {
        if (!first) out += " / ";  // also after a record whose text is empty
        first = false;
        out += record->text();
    }
}

void CExceptionFacade::summary(std::string& out) {
    if (m_exceptions.empty()) {
        out = "<No data>";
        return;
    }
    CException copy(*m_exceptions.front());
    copy.setReason(m_exceptions.back()->reason());
    copy.text(out);
}

void CExceptionFacade::flush() {
    if (m_controller) m_controller->logSink().log(m_exceptions);
    m_exceptions.clear();
}

std::size_t CExceptionFacade::count() const {
    return m_exceptions.size();
}

CExceptionPtr CExceptionFacade::inner() const {
    if (m_exceptions.empty()) {
        NBX_THROW(CException, kModule, "CExceptionFacade::inner",
                  msg("Cannot retrieve inner exception."), msg("Exception stack is empty."));
    }
    return m_exceptions.front();
}

CExceptionPtr CExceptionFacade::outer() const {
    if (m_exceptions.empty()) {
        NBX_THROW(CException, kModule, "CExceptionFacade::outer",
                  msg("Cannot retrieve outer exception."), msg("Exception stack is empty."));
    }
    return m_exceptions.back();
}

const CExceptionList& CExceptionFacade::exceptions() const {
    return m_exceptions;
}

CExceptionList& CExceptionFacade::exceptions() {
    return m_exceptions;
}

}  // namespace nbx
