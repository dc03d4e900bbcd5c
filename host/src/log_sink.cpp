#include "host/log_sink.h"

#include <ctime>

#include "standard/throw.h"

namespace host {

namespace {

// The name of the highest-priority bit set, in the order error, warning, info, audit, debug,
// verbose; a record carries one bit, so this is its name.
std::string severityName(std::uint32_t severity) {
    std::string names = nbx::CException::severityText(severity);
    std::size_t comma = names.find(',');
    if (names.empty()) return "none";
    return comma == std::string::npos ? names : names.substr(0, comma);
}

}  // namespace

CLogSink::CLogSink(const std::string& path, std::uint32_t mask)
    : m_file(stderr), m_ownsFile(false), m_mask(mask) {
    if (path.empty()) return;
    m_file = std::fopen(path.c_str(), "a");
    if (!m_file) {
        NBX_THROW_CODE(nbx::CException, "host", "CLogSink::CLogSink",
                       nbx::msg("Cannot open log file '%1'.", path), nbx::CMessage(),
                       nbx::lastError());
    }
    m_ownsFile = true;
}

CLogSink::~CLogSink() {
    if (m_ownsFile) std::fclose(m_file);
}

void CLogSink::setMask(std::uint32_t mask) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_mask = mask;
}

std::string CLogSink::line(std::int64_t time, std::uint32_t severity, const std::string& module,
                           const std::string& text) {
    std::time_t seconds = static_cast<std::time_t>(time);
    std::tm parts{};
    char stamp[32] = "0000-00-00 00:00:00";
    if (gmtime_r(&seconds, &parts)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
    return std::string(stamp) + " " + severityName(severity) + " [" + module + "] " + text;
}

void CLogSink::_write(std::int64_t time, std::uint32_t severity, const std::string& module,
                      const std::string& text) {
    if (!(severity & m_mask)) return;
    std::string out = line(time, severity, module, text);
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), m_file);
    std::fflush(m_file);
}

void CLogSink::log(std::uint32_t severity, const nbx::CMessage& message, const void*) {
    nbx::CMessage copy(message);
    std::string text = copy.text();
    std::lock_guard<std::mutex> guard(m_mutex);
    _write(static_cast<std::int64_t>(std::time(nullptr)), severity, copy.module(), text);
}

void CLogSink::log(const nbx::CExceptionList& exceptions) {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (const nbx::CExceptionPtr& record : exceptions) {
        if (!record) continue;
        nbx::CException copy(*record);
        _write(copy.time(), copy.severity(), copy.module(), copy.text());
    }
}

}  // namespace host
