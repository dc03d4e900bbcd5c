#include "receiver/cmd_replication_peer.h"

#include "receiver/receiver_tls.h"
#include "standard/throw.h"

CCmdReplicationPeer::CCmdReplicationPeer(const CAppEventPtr& event, CReceiverTLS* state)
    : CAsyncCommand(kName), m_event(event), m_state(state) {}

void CCmdReplicationPeer::execute(std::uint32_t) {
    try {
        m_state->handlePeerEvent(m_event, false);
    } catch (nbx::CException& failure) {
        m_state->report(failure);
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CCmdReplicationPeer::execute",
                  nbx::msg("Failed to propagate replication peer notification."),
                  nbx::msg("An exception occured during notification."));
    }
}
