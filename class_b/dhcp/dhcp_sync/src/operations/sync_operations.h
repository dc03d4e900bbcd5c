#pragma once
// The operator's view of one protocol instance and its tools (CIDHCPSyncOperations): owned by
// the instance's receiver task, called from the host's threads.

#include "dhcp_plugin_api/sync_operations.h"

class CReceiverTask;

class CSyncOperations : public CIDHCPSyncOperations {
public:
    // `receiver` owns this object.
    explicit CSyncOperations(CReceiverTask& receiver);

    CSyncStatus status() override;
    CSyncResyncResult resync(const std::string& target) override;
    CSyncDriftReport drift(const std::string& target) override;

private:
    CReceiverTask& m_receiver;
};
