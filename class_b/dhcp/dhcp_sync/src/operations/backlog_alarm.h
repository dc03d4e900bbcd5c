#pragma once
// Whether one peer's backlog is over its limits, told on the crossing only: once when it goes
// over either limit, once when it is back under both, and nothing on the looks in between.

#include <cstdint>

class CBacklogAlarm {
public:
    enum class Change { kNone, kRaised, kCleared };

    // A limit of 0 is no limit.
    void setLimits(std::uint64_t records, std::uint64_t seconds) {
        m_records = records;
        m_seconds = seconds;
    }
    std::uint64_t recordLimit() const { return m_records; }
    std::uint64_t secondLimit() const { return m_seconds; }

    // The backlog as it stands now.
    Change update(std::uint64_t records, std::uint64_t ageSeconds) {
        const bool over =
            (m_records != 0 && records > m_records) || (m_seconds != 0 && ageSeconds > m_seconds);
        if (over == m_raised) return Change::kNone;
        m_raised = over;
        return over ? Change::kRaised : Change::kCleared;
    }
    bool raised() const { return m_raised; }

private:
    std::uint64_t m_records = 10000;
    std::uint64_t m_seconds = 600;
    bool m_raised = false;
};
