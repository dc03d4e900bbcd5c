#pragma once
// The protocol family of a DHCP instance: 4 (IPv4) or 6 (IPv6). Its text "4" or "6" qualifies
// configuration keys, spool and conflict file names and the console's context command, so no
// other value may ever exist: construction from anything else throws.

#include <sys/socket.h>

#include <string>

#include "standard/ip_address.h"
#include "standard/throw.h"

class CProtocolFamily {
public:
    // Throws "Cannot construct protocol family." / "Unknown protocol family." unless 4 or 6.
    explicit CProtocolFamily(int number) : m_number(number) {
        if (number != 4 && number != 6) _fail();
    }
    // Exactly "4" or "6".
    explicit CProtocolFamily(const std::string& text) : m_number(0) {
        if (text == "4") {
            m_number = 4;
        } else if (text == "6") {
            m_number = 6;
        } else {
            _fail();
        }
    }
    // The family of an address; an address of unknown type has none.
    explicit CProtocolFamily(const nbx::CIPAddress& address) : m_number(address.type()) {
        if (m_number != 4 && m_number != 6) _fail();
    }

    int number() const { return m_number; }
    std::string string() const { return m_number == 4 ? "4" : "6"; }
    bool isV4() const { return m_number == 4; }
    bool isV6() const { return m_number == 6; }
    // AF_INET or AF_INET6.
    int addr_family() const { return m_number == 4 ? AF_INET : AF_INET6; }
    nbx::CIPAddress::Type addressType() const {
        return m_number == 4 ? nbx::CIPAddress::kIPv4 : nbx::CIPAddress::kIPv6;
    }

    bool operator==(const CProtocolFamily& other) const { return m_number == other.m_number; }
    bool operator!=(const CProtocolFamily& other) const { return m_number != other.m_number; }
    bool operator<(const CProtocolFamily& other) const { return m_number < other.m_number; }

private:
    [[noreturn]] void _fail() const {
        NBX_THROW(nbx::CException, "standard", "CProtocolFamily::CProtocolFamily",
                  nbx::msg("Cannot construct protocol family."),
                  nbx::msg("Unknown protocol family."));
    }

    int m_number;
};
