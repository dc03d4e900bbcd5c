#include "operations/sync_operations.h"

#include "receiver/receiver_task.h"
#include "receiver/receiver_tls.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

}  // namespace

CSyncOperations::CSyncOperations(CReceiverTask& receiver) : m_receiver(receiver) {}

CSyncStatus CSyncOperations::status() {
    // Each publisher's published snapshot: nothing here waits for a publisher or the receiver.
    CSyncStatus out;
    out.receiver = m_receiver.state().receiverStatus();
    out.peers = m_receiver.state().peerStatuses();
    return out;
}

// Not built yet: each throws until its piece is in.

CSyncResyncResult CSyncOperations::resync(const std::string&) {
    NBX_THROW(nbx::CException, kModule, "CSyncOperations::resync", nbx::msg("Not available."),
              nbx::CMessage());
}

CSyncDriftReport CSyncOperations::drift(const std::string&) {
    NBX_THROW(nbx::CException, kModule, "CSyncOperations::drift", nbx::msg("Not available."),
              nbx::CMessage());
}
