#pragma once
// The host's log: one line per record, "<UTC time> <severity> [<module>] <text>", appended to a
// file or written to standard error. Records whose severity is not in the mask are dropped.

#include <cstdio>
#include <mutex>
#include <string>

#include "standard/exception_facade.h"

namespace host {

class CLogSink : public nbx::CILogSink {
public:
    // An empty path writes to standard error. Throws when the file cannot be opened.
    explicit CLogSink(const std::string& path = std::string(),
                      std::uint32_t mask = nbx::SEVERITY_ALL);
    ~CLogSink() override;
    CLogSink(const CLogSink&) = delete;
    CLogSink& operator=(const CLogSink&) = delete;

    void log(std::uint32_t severity, const nbx::CMessage& message,
             const void* context = nullptr) override;
    void log(const nbx::CExceptionList& exceptions) override;

    void setMask(std::uint32_t mask);

    // The line written for one record (without the line feed).
    static std::string line(std::int64_t time, std::uint32_t severity, const std::string& module,
                            const std::string& text);

private:
    void _write(std::int64_t time, std::uint32_t severity, const std::string& module,
                const std::string& text);

    std::mutex m_mutex;
    std::FILE* m_file;
    bool m_ownsFile;
    std::uint32_t m_mask;
};

}  // namespace host
