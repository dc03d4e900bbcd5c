#include "operations/peer_monitor.h"

CPeerMonitor::CPeerMonitor(const std::string& target, int family) : m_target(target) {
    auto first = std::make_shared<CSyncPeerStatus>();
    first->target = target;
    first->family = family;
    first->state = "connecting";
    m_snapshot = std::move(first);
}

CSyncPeerStatus CPeerMonitor::status() const {
    CSyncPeerStatus out = *std::atomic_load(&m_snapshot);
    out.acknowledged = m_acknowledged.load(std::memory_order_relaxed);
    out.conflicts = m_conflicts.load(std::memory_order_relaxed);
    out.rejected = m_rejected.load(std::memory_order_relaxed);
    out.reconnects = m_reconnects.load(std::memory_order_relaxed);
    out.lastSuccess = m_lastSuccess.load(std::memory_order_relaxed);
    out.lastProgress = m_lastProgress.load(std::memory_order_relaxed);
    return out;
}

void CPeerMonitor::publish(const CSyncPeerStatus& snapshot) {
    std::shared_ptr<const CSyncPeerStatus> next = std::make_shared<const CSyncPeerStatus>(snapshot);
    std::atomic_store(&m_snapshot, std::move(next));
}

void CPeerMonitor::answered(Answer answer, std::int64_t now) {
    switch (answer) {
        case Answer::kAcknowledged:
            m_acknowledged.fetch_add(1, std::memory_order_relaxed);
            m_lastSuccess.store(now, std::memory_order_relaxed);
            break;
        case Answer::kConflict:
            // The peer took the command and kept its own object: a success of the exchange.
            m_conflicts.fetch_add(1, std::memory_order_relaxed);
            m_lastSuccess.store(now, std::memory_order_relaxed);
            break;
        case Answer::kRejected:
            m_rejected.fetch_add(1, std::memory_order_relaxed);
            break;
    }
    m_lastProgress.store(now, std::memory_order_relaxed);
}
