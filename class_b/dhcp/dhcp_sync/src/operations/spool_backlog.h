#pragma once
// The backlog of one peer's spool: its closed logs, the records and bytes in them, and the
// event time of the oldest record. Closed logs never change, so each is read once and its
// counts kept by path until it is gone; a scan of a large spool lists the folder and reads only
// the logs it has not seen.
//
// Used by one publisher thread; no lock.

#include <cstdint>
#include <list>
#include <map>
#include <string>

#include "standard/dir_ent.h"

class CSpoolBacklog {
public:
    struct Totals {
        std::uint64_t logs = 0;
        std::uint64_t records = 0;
        std::uint64_t bytes = 0;
        // UTC seconds of the oldest waiting record; 0 without any.
        std::int64_t oldest = 0;
    };

    // Counts `logs` (the closed logs waiting, in any order) and forgets the ones not among them.
    // A log that cannot be read counts with what could be read of it, and is read again next
    // time.
    void update(const std::list<nbx::CDirEnt>& logs);
    // One log was replayed and deleted.
    void remove(const std::string& fullPath);
    const Totals& totals() const { return m_totals; }
    // Seconds between the oldest record and `now`; 0 without any.
    std::uint64_t oldestAge(std::int64_t now) const;

private:
    struct Counts {
        std::uint64_t records = 0;
        std::uint64_t bytes = 0;
        std::int64_t oldest = 0;
        bool complete = false;
    };

    // The records of the log, the size of the file and the event time of its first record
    // (the file's modification time when no record carries one).
    static Counts _count(const std::string& path);
    void _sum();

    std::map<std::string, Counts> m_logs;
    Totals m_totals;
};
