#include "operations/spool_backlog.h"

#include <sys/stat.h>

#include <fstream>

#include "standard/exception.h"
#include "standard/file_reader.h"
#include "standard/time_t.h"

namespace {

constexpr const char* kEventTime = "_event_time=";

// Counts the records as the publisher will send them, and takes the event time of the first
// one that carries it.
class CRecordCounter : public nbx::CFileReader {
public:
    void onCommand(const std::string& command, unsigned int) override {
        ++records;
        if (eventTime != 0) return;
        std::size_t at = command.find(std::string("\n") + kEventTime);
        if (at == std::string::npos) return;
        at += 1 + std::char_traits<char>::length(kEventTime);
        const std::size_t end = command.find('\n', at);
        nbx::CTimeT time;
        try {
            time.string(command.substr(at, end == std::string::npos ? end : end - at));
            eventTime = time.value();
        } catch (nbx::CException&) {
            // A damaged time: the file's own time stands in.
        }
    }

    std::uint64_t records = 0;
    std::int64_t eventTime = 0;
};

}  // namespace

CSpoolBacklog::Counts CSpoolBacklog::_count(const std::string& path) {
    Counts counts;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return counts;
    counts.bytes = static_cast<std::uint64_t>(info.st_size);
    CRecordCounter counter;
    try {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos) {
            counter.execute(".", path);
        } else {
            counter.execute(path.substr(0, slash), path.substr(slash + 1));
        }
        counts.complete = true;
    } catch (nbx::CException&) {
        // Counted as far as it could be read; tried again at the next scan.
    }
    counts.records = counter.records;
    counts.oldest =
        counter.eventTime != 0 ? counter.eventTime : static_cast<std::int64_t>(info.st_mtime);
    return counts;
}

void CSpoolBacklog::update(const std::list<nbx::CDirEnt>& logs) {
    std::map<std::string, Counts> next;
    for (const nbx::CDirEnt& log : logs) {
        auto known = m_logs.find(log.fullPath());
        if (known != m_logs.end() && known->second.complete) {
            next.emplace(log.fullPath(), known->second);
        } else {
            next.emplace(log.fullPath(), _count(log.fullPath()));
        }
    }
    m_logs.swap(next);
    _sum();
}

void CSpoolBacklog::remove(const std::string& fullPath) {
    if (m_logs.erase(fullPath) != 0) _sum();
}

std::uint64_t CSpoolBacklog::oldestAge(std::int64_t now) const {
    if (m_totals.oldest == 0 || now <= m_totals.oldest) return 0;
    return static_cast<std::uint64_t>(now - m_totals.oldest);
}

void CSpoolBacklog::_sum() {
    m_totals = Totals();
    for (const auto& log : m_logs) {
        ++m_totals.logs;
        m_totals.records += log.second.records;
        m_totals.bytes += log.second.bytes;
        if (log.second.records == 0) continue;
        if (m_totals.oldest == 0 || log.second.oldest < m_totals.oldest) {
            m_totals.oldest = log.second.oldest;
        }
    }
}
