#pragma once
// What one publisher shows of itself to other threads. The publisher's own thread is the only
// writer; any thread may read at any time without holding the publisher up.
//
// The parts that change together and seldom (state, backlog, last failure) form an immutable
// snapshot that is replaced whole; the per-command counters are atomics of their own, so that
// answering a command costs a few relaxed increments and no allocation.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "dhcp_plugin_api/sync_operations.h"

class CPeerMonitor {
public:
    enum class Answer { kAcknowledged, kConflict, kRejected };

    CPeerMonitor(const std::string& target, int family);
    CPeerMonitor(const CPeerMonitor&) = delete;
    CPeerMonitor& operator=(const CPeerMonitor&) = delete;

    // The latest snapshot with the counters as they stand now.
    CSyncPeerStatus status() const;
    const std::string& target() const { return m_target; }

    // Writer side. `snapshot` is copied; its counters are ignored.
    void publish(const CSyncPeerStatus& snapshot);
    // A command of the spool answered by the peer at `now` (UTC seconds).
    void answered(Answer answer, std::int64_t now);
    // The peer is in step (nothing waits for it) at `now`.
    void inStep(std::int64_t now) { m_lastProgress.store(now, std::memory_order_relaxed); }
    void reconnected() { m_reconnects.fetch_add(1, std::memory_order_relaxed); }

private:
    const std::string m_target;
    std::shared_ptr<const CSyncPeerStatus> m_snapshot;  // std::atomic_load / atomic_store only
    std::atomic<std::uint64_t> m_acknowledged{0};
    std::atomic<std::uint64_t> m_conflicts{0};
    std::atomic<std::uint64_t> m_rejected{0};
    std::atomic<std::uint64_t> m_reconnects{0};
    std::atomic<std::int64_t> m_lastSuccess{0};
    std::atomic<std::int64_t> m_lastProgress{0};
};
