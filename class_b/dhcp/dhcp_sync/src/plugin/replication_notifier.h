#pragma once
// How a receiver passes a replication-peer change on to the receiver of the other protocol
// family (the factory implements it).

#include "dhcp_plugin_api/system_bus.h"
#include "standard/protocol_family.h"

class CIReplicationNotifier {
public:
    virtual ~CIReplicationNotifier() = default;
    // Posts a copy of `event` to every receiver whose family is not `sourceFamily`. Called on
    // the source receiver's thread.
    virtual void notify(const CAppEventPtr& event, const CProtocolFamily& sourceFamily) = 0;
};
