#include "operations/sync_operations.h"

#include "operations/drift_reporter.h"
#include "receiver/receiver_task.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

}  // namespace

CSyncOperations::CSyncOperations(CReceiverTask& receiver) : m_receiver(receiver) {}

// Not built yet: each throws until its piece is in.
CSyncStatus CSyncOperations::status() {
    NBX_THROW(nbx::CException, kModule, "CSyncOperations::status", nbx::msg("Not available."),
              nbx::CMessage());
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
