#pragma once
// One protocol instance of the host (IPv4 or IPv6), as baseInstance and release see it.

#include <string>

#include "standard/protocol_family.h"

class CIHostContext;
class CIHostServices;

class CIDHCPContext {
public:
    virtual ~CIDHCPContext() = default;
    virtual CProtocolFamily family() const = 0;
    // Prefix of the instance's task names, such as "dhcp4".
    virtual const std::string& name() const = 0;
    virtual CIHostContext& hostContext() = 0;
    virtual CIHostServices& services() = 0;
    // Made once by the instance's sync service as it closes.
    virtual void close() = 0;
};
