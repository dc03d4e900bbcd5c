#include "operations/sync_operations.h"

#include "operations/drift_reporter.h"
#include "receiver/receiver_task.h"
#include "receiver/receiver_tls.h"

CSyncOperations::CSyncOperations(CReceiverTask& receiver) : m_receiver(receiver) {}

CSyncStatus CSyncOperations::status() {
    // Each publisher's published snapshot: nothing here waits for a publisher or the receiver.
    CSyncStatus out;
    out.receiver = m_receiver.state().receiverStatus();
    out.peers = m_receiver.state().peerStatuses();
    return out;
}

// The spools are the receiver's: the resync runs on its thread.
CSyncResyncResult CSyncOperations::resync(const std::string& target) {
    return m_receiver.resync(target);
}

// Reads only: runs on the caller's thread, with a session of its own, and never holds up
// replication.
CSyncDriftReport CSyncOperations::drift(const std::string& target) {
    CIDHCPContext& context = m_receiver.context();
    return CDriftReporter(context.services(), context.family()).compare(target);
}
