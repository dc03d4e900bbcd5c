#pragma once
// An IP address with a port, usable wherever ACE wants an ACE_INET_Addr.
//
// Text form: "192.0.2.1:67" for IPv4, "[2001:db8::1]:547" for IPv6. Reading splits the text into
// an address and a port:
//   "[<IPv6>]:<port>", "[<IPv6>]"       brackets removed; only IPv6 inside brackets
//   "<IPv4>:<port>", "<IPv4>"           the text's only colon separates the port
//   "<IPv6>"                            two or more colons without brackets: all address
// A missing port reads as 0; a port is 1 to 5 decimal digits up to 65535. Host names are not
// resolved: a parser that waits on a name service has no place in record and log texts. A text
// that cannot be read leaves the endpoint as it was.

#include <ace/INET_Addr.h>

#include <string>

#include "standard/ip_address.h"
#include "standard/object.h"
#include "standard/protocol_family.h"

namespace nbx {

class CEndpoint : public ACE_INET_Addr, public CObject {
public:
    // 0.0.0.0:0
    CEndpoint();
    explicit CEndpoint(const std::string& text);
    CEndpoint(const CIPAddress& address, unsigned short port);
    // Throws "Cannot construct endpoint." / "Unknown protocol family." unless IPv4 or IPv6.
    explicit CEndpoint(const ACE_INET_Addr& address);

    CProtocolFamily family() const;
    CIPAddress ip_address() const;
    // Keeps the port; the endpoint takes the address's family.
    void ip_address(const CIPAddress& address);
    unsigned short port() const { return get_port_number(); }
    void port(unsigned short number) { set_port_number(number); }

    std::string string() const override;
    bool string(const std::string& text) override;

private:
    void _set(const std::string& text);
    void _assign(const CIPAddress& address, unsigned short port);
    bool _knownFamily() const;
};

}  // namespace nbx
