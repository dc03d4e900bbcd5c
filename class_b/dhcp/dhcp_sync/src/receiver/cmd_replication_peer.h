#pragma once
// A replication-peer change that the receiver of the other protocol family handled and passed
// on: applied here on the receiver's thread, and not passed back.

#include "dhcp_plugin_api/system_bus.h"
#include "extended/async_command.h"

class CReceiverTLS;

class CCmdReplicationPeer : public CAsyncCommand {
public:
    static constexpr const char* kName = "cmd-sync-publisher-replication-peer";

    // `state` is the receiving task's and is not owned.
    CCmdReplicationPeer(const CAppEventPtr& event, CReceiverTLS* state);

    void execute(std::uint32_t threadIndex) override;
    // Nobody waits for it.
    void complete() override {}

private:
    CAppEventPtr m_event;
    CReceiverTLS* m_state;  // not owned
};
