#include "operations/sync_operations.h"

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

CSyncResyncResult CSyncOperations::resync(const std::string&) {
    NBX_THROW(nbx::CException, kModule, "CSyncOperations::resync", nbx::msg("Not available."),
              nbx::CMessage());
}

CSyncDriftReport CSyncOperations::drift(const std::string&) {
    NBX_THROW(nbx::CException, kModule, "CSyncOperations::drift", nbx::msg("Not available."),
              nbx::CMessage());
}
