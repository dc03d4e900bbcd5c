#include "oodb/db_timeout_mgr.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "standard/throw.h"

namespace {

const char* const kModule = "oodb";
using Clock = std::chrono::steady_clock;
// Longer limits are cut to this, so that the deadline cannot overflow the clock.
constexpr std::chrono::milliseconds kLongest = std::chrono::hours(24 * 365 * 100);

}  // namespace

// Shared by the manager and its guards, so that either may go first.
struct CDBTimeoutMgr::CTable {
    struct Entry {
        CIDBConnection* connection;
        Clock::time_point deadline;
        std::atomic<bool>* expired;  // the guard's flag
    };

    std::mutex lock;
    bool open = false;  // the task runs and takes new entries
    std::uint64_t lastId = 0;
    std::unordered_map<std::uint64_t, Entry> entries;
};

CDBTimeoutMgr::Guard::Guard(CDBTimeoutMgr& manager, CIDBConnection& connection,
                            std::chrono::milliseconds timeout)
    : m_table(manager.m_table) {
    if (timeout <= std::chrono::milliseconds::zero()) return;
    const Clock::time_point deadline = Clock::now() + std::min(timeout, kLongest);
    std::lock_guard<std::mutex> guard(m_table->lock);
    if (!m_table->open) return;
    m_id = ++m_table->lastId;
    m_table->entries.emplace(m_id, CTable::Entry{&connection, deadline, &m_expired});
}

CDBTimeoutMgr::Guard::~Guard() {
    end();
}

void CDBTimeoutMgr::Guard::end() {
    if (m_id == 0) return;
    // Waits for an interrupt in progress: afterwards the task has let go of the connection.
    std::lock_guard<std::mutex> guard(m_table->lock);
    m_table->entries.erase(m_id);
    m_id = 0;
}

CDBTimeoutMgr::CDBTimeoutMgr(nbx::CIMasterController* controller, std::chrono::milliseconds tick)
    : CCommandQueueTask<CSTGeneralReactor>(controller, kTaskName, 1),
      m_tick(std::max(tick, std::chrono::milliseconds(1))),
      m_table(std::make_shared<CTable>()) {}

CDBTimeoutMgr::~CDBTimeoutMgr() {
    // The loop calls handle_timeout of this class: it must end while the class is whole.
    stop();
}

std::int32_t CDBTimeoutMgr::init() {
    // The timer is scheduled by the thread that runs the loop (the reactor is single-threaded).
    m_reactor->owner(ACE_Thread::self());
    ACE_Time_Value tick;
    tick.msec(static_cast<long>(m_tick.count()));
    if (m_reactor->schedule_timer(this, nullptr, tick, tick) == -1) {
        NBX_THROW_CODE(nbx::CException, kModule, "CDBTimeoutMgr::init",
                       nbx::msg("Failed to start task '%1'.", name()),
                       nbx::msg("Cannot schedule the timeout timer."), nbx::lastError());
    }
    std::lock_guard<std::mutex> guard(m_table->lock);
    m_table->open = !stopRequested();
    return 0;
}

std::int32_t CDBTimeoutMgr::stop() {
    {
        std::lock_guard<std::mutex> guard(m_table->lock);
        m_table->open = false;
        m_table->entries.clear();
    }
    return CCommandQueueTask<CSTGeneralReactor>::stop();
}

int CDBTimeoutMgr::handle_timeout(const ACE_Time_Value&, const void*) {
    std::vector<nbx::CException> failures;
    {
        std::lock_guard<std::mutex> guard(m_table->lock);
        const Clock::time_point now = Clock::now();
        for (auto entry = m_table->entries.begin(); entry != m_table->entries.end();) {
            if (entry->second.deadline > now) {
                ++entry;
                continue;
            }
            // Set first: the caller may see its statement fail before interrupt() returns.
            entry->second.expired->store(true);
            try {
                entry->second.connection->interrupt();
            } catch (nbx::CException& failure) {
                failures.push_back(failure);
            } catch (...) {
                failures.push_back(
                    nbx::makeException(NBX_SITE(kModule, "CDBTimeoutMgr::handle_timeout"),
                                       nbx::msg("Failed to interrupt a database operation."),
                                       nbx::msg("Unexpected exception.")));
            }
            entry = m_table->entries.erase(entry);
        }
    }
    // Reported outside the lock: guards must not wait for the log.
    for (nbx::CException& failure : failures) _report(failure);
    return 0;
}

std::size_t CDBTimeoutMgr::watching() const {
    std::lock_guard<std::mutex> guard(m_table->lock);
    return m_table->entries.size();
}
