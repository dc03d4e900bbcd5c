#pragma once
// A sync plug-in's operations played by the tests: the status, resync and drift answers are set
// by the test and may be changed while a server reads them.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "dhcp_plugin_api/sync_operations.h"
#include "host/sync_operations_access.h"
#include "standard/throw.h"

namespace opstest {

class FakeOperations : public CIDHCPSyncOperations {
public:
    explicit FakeOperations(int family) { m_status.receiver.family = family; }

    CSyncStatus status() override {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_status;
    }
    CSyncResyncResult resync(const std::string& target) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        _check(target);
        resynced.push_back(target);
        return m_resync;
    }
    CSyncDriftReport drift(const std::string& target) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        _check(target);
        return m_drift;
    }

    // Adds or replaces the peer `target` in `state`; `change` sets its other fields.
    void peer(const std::string& target, const std::string& state,
              const std::function<void(CSyncPeerStatus&)>& change = {}) {
        std::lock_guard<std::mutex> guard(m_mutex);
        CSyncPeerStatus peer;
        peer.target = target;
        peer.family = m_status.receiver.family;
        peer.state = state;
        if (change) change(peer);
        for (auto& known : m_status.peers)
            if (known.target == target) return void(known = peer);
        m_status.peers.push_back(peer);
    }
    void receiver(const std::function<void(CSyncReceiverStatus&)>& change) {
        std::lock_guard<std::mutex> guard(m_mutex);
        change(m_status.receiver);
    }
    void set(CSyncResyncResult result) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_resync = std::move(result);
    }
    void set(CSyncDriftReport report) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_drift = std::move(report);
    }

    std::vector<std::string> resynced;

private:
    void _check(const std::string& target) const {
        for (const auto& peer : m_status.peers)
            if (peer.target == target) return;
        NBX_THROW_STATIC(nbx::CException, "host", "FakeOperations",
                         nbx::msg("Cannot reach the peer."), nbx::msg("No peer '%1'.", target));
    }

    std::mutex m_mutex;
    CSyncStatus m_status;
    CSyncResyncResult m_resync;
    CSyncDriftReport m_drift;
};

// Both families' fake operations, offered as the daemon offers a started plug-in's. A fixture
// that derives from it keeps them until its own servers are gone.
struct FakePlugin {
    FakePlugin() {
        access.offer(4, &ops4);
        access.offer(6, &ops6);
    }
    FakeOperations ops4{4};
    FakeOperations ops6{6};
    host::CSyncOperationsAccess access;
};

}  // namespace opstest
