#include "standard/endpoint.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "standard/throw.h"

namespace nbx {

namespace {

constexpr const char* kModule = "standard";

bool parsePort(const std::string& text, unsigned short& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535) return false;
    port = static_cast<unsigned short>(value);
    return true;
}

}  // namespace

CEndpoint::CEndpoint()
    : ACE_INET_Addr(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY)) {}

CEndpoint::CEndpoint(const std::string& text) : CEndpoint() {
    _set(text);
}

CEndpoint::CEndpoint(const CIPAddress& address, unsigned short port) : CEndpoint() {
    _assign(address, port);
}

CEndpoint::CEndpoint(const ACE_INET_Addr& address) : ACE_INET_Addr(address) {
    if (!_knownFamily()) {
        NBX_THROW(CException, kModule, "CEndpoint::CEndpoint", msg("Cannot construct endpoint."),
                  msg("Unknown protocol family."));
    }
}

bool CEndpoint::_knownFamily() const {
    return get_type() == AF_INET || get_type() == AF_INET6;
}

CProtocolFamily CEndpoint::family() const {
    if (!_knownFamily()) {
        NBX_THROW(CException, kModule, "CEndpoint::family", msg("Cannot resolve protocol family."),
                  msg("Unknown protocol family."));
    }
    return CProtocolFamily(get_type() == AF_INET ? 4 : 6);
}

CIPAddress CEndpoint::ip_address() const {
    const void* socketAddress = get_addr();
    if (get_type() == AF_INET) {
        return CIPAddress(static_cast<const sockaddr_in*>(socketAddress)->sin_addr);
    }
    if (get_type() == AF_INET6) {
        return CIPAddress(static_cast<const sockaddr_in6*>(socketAddress)->sin6_addr);
    }
    NBX_THROW(CException, kModule, "CEndpoint::ip_address",
              msg("Cannot resolve endpoint ip address."), msg("Unknown protocol family."));
}

void CEndpoint::ip_address(const CIPAddress& address) {
    // The port survives a change of family too; read it while the old family still says where.
    _assign(address, _knownFamily() ? get_port_number() : 0);
}

void CEndpoint::_assign(const CIPAddress& address, unsigned short port) {
    if (address.isV4()) {
        sockaddr_in in4;
        std::memset(&in4, 0, sizeof in4);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(port);
        std::memcpy(&in4.sin_addr, address.raw_addr(), CIPAddress::kIPv4Length);
        set(&in4, static_cast<int>(sizeof in4));
    } else if (address.isV6()) {
        sockaddr_in6 in6;
        std::memset(&in6, 0, sizeof in6);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        std::memcpy(&in6.sin6_addr, address.raw_addr(), CIPAddress::kIPv6Length);
        set(reinterpret_cast<const sockaddr_in*>(&in6), static_cast<int>(sizeof in6));
    } else {
        NBX_THROW(CException, kModule, "CEndpoint::ip_address", msg("Cannot set endpoint address."),
                  msg("Unknown ip address type."));
    }
}

std::string CEndpoint::string() const {
    const CIPAddress address = ip_address();
    const std::string port = std::to_string(get_port_number());
    if (address.isV6()) return "[" + address.string() + "]:" + port;
    return address.string() + ":" + port;
}

bool CEndpoint::string(const std::string& text) {
    _set(text);
    return true;
}

void CEndpoint::_set(const std::string& text) {
    std::string addressText;
    std::string portText;
    bool hasPort = false;
    bool bracketed = false;
    bool wellFormed = true;

    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        bracketed = true;
        if (close == std::string::npos) {
            wellFormed = false;
        } else {
            addressText = text.substr(1, close - 1);
            const std::string rest = text.substr(close + 1);
            if (!rest.empty()) {
                wellFormed = rest[0] == ':';
                hasPort = true;
                portText = rest.substr(1);
            }
        }
    } else {
        const std::size_t colon = text.find(':');
        if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
            addressText = text.substr(0, colon);
            portText = text.substr(colon + 1);
            hasPort = true;
        } else {
            addressText = text;  // no colon, or an IPv6 address without brackets and port
        }
    }

    unsigned short port = 0;
    if (wellFormed && hasPort) wellFormed = parsePort(portText, port);
    if (!wellFormed) {
        NBX_THROW(CException, kModule, "CEndpoint::_set", msg("Cannot set endpoint from text."),
                  msg("Text '%1' is not a valid endpoint.", text));
    }
    const CIPAddress address(addressText);
    if (bracketed && !address.isV6()) {
        NBX_THROW(CException, kModule, "CEndpoint::_set", msg("Cannot set endpoint from text."),
                  msg("Text '%1' is not a valid endpoint.", text));
    }
    _assign(address, port);
}

}  // namespace nbx
