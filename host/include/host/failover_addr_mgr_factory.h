#pragma once
// Offered as "CIDHCPFailoverAddrMgrFactory" when the host is configured as a failover partner.
// The host keeps no address manager of its own: a plug-in only asks whether the interface is
// there, never calls it.

namespace host {

class CFailoverAddrMgrFactory {
public:
    static constexpr const char* kInterfaceName = "CIDHCPFailoverAddrMgrFactory";
};

}  // namespace host
