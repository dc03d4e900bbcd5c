#pragma once
// The receiver's subscription to the system bus. Deliveries run on the receiver task's thread:
// "config" reloads the sync interval, "replicate_peer" changes the peers, anything else becomes
// a transaction-log record. A failure is reported and the event dropped; the next one goes on.

#include "dhcp_plugin_api/system_bus.h"
#include "receiver/receiver_processor.h"

class CReceiverTLS;

class CReceiverSubscriber : public CISystemBusSubscriber {
public:
    // Takes every topic (the empty filter); `state` is not owned.
    CReceiverSubscriber(CIHostContext* hostContext, CICommandQueueTask* queue, CReceiverTLS* state);

    void onEvent(const CAppEventPtr& event) override;

    CReceiverProcessor& processor() { return m_processor; }

private:
    CReceiverTLS* m_state;  // not owned
    CReceiverProcessor m_processor;
};
