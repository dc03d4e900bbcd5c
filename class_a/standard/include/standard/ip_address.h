#pragma once
// An IPv4 or IPv6 address, or an address of unknown type (the state of a default-constructed
// address and of one whose text could not be read).
//
// Text form: dotted decimal for IPv4, the platform's compressed hexadecimal form for IPv6.
// Reading: a text holding a ":" is IPv6; any other text must be exactly four decimal parts
// joined by "." (leading zeros allowed, each part 0..255). "10.1" is refused rather than guessed:
// one convention reads it as 10.1.0.0, another as 10.0.0.1, and this system never writes it.
//
// Arithmetic treats the raw bytes as one big-endian unsigned number of 32 or 128 bits and wraps
// around at either end, as unsigned integers do (255.255.255.255 + 1 is 0.0.0.0).
//
// Equality never throws (two unknown addresses are equal, addresses of different types are not);
// ordering needs two addresses of the same known type.

#include <cstddef>
#include <cstdint>
#include <string>

#include "standard/object.h"

struct in_addr;
struct in6_addr;

namespace nbx {

class CIPAddress : public CObject {
public:
    enum Type { kUnknown = 0, kIPv4 = 4, kIPv6 = 6 };

    static constexpr std::size_t kIPv4Length = 4;
    static constexpr std::size_t kIPv6Length = 16;

    CIPAddress() = default;
    // Reads the text; throws "Cannot create an ip address." when it is not an address.
    explicit CIPAddress(const std::string& text);
    // Raw bytes in network order; the length (4 or 16) gives the type.
    CIPAddress(const void* raw, std::size_t length);
    explicit CIPAddress(const in_addr& address);
    explicit CIPAddress(const in6_addr& address);

    Type type() const { return m_type; }
    bool isV4() const { return m_type == kIPv4; }
    bool isV6() const { return m_type == kIPv6; }
    bool isUnknown() const { return m_type == kUnknown; }
    // 4, 16, or 0 for an unknown address.
    std::size_t length() const;

    // The all-zero address of the current type.
    void set_inaddr_any();
    // 127.0.0.1 or ::1, by the current type.
    void setLoopback();
    // AF_INET or AF_INET6.
    int addr_family() const;
    // The address bytes in network order (length() of them).
    const unsigned char* raw_addr() const;
    // Sets raw bytes in network order; a length of 4 or 16 chooses the type.
    void set(const void* raw, std::size_t length);

    bool isAny() const;
    bool isLoopback() const;

    std::string string() const override;
    bool string(const std::string& text) override;

    // Moves the address by `offset`; a negative offset moves it down.
    CIPAddress& operator+=(std::int64_t offset);
    CIPAddress& operator-=(std::int64_t offset);
    // Adds or subtracts another address of the same type as a number (masks, range sizes).
    CIPAddress& operator+=(const CIPAddress& other);
    CIPAddress& operator-=(const CIPAddress& other);

    // -1, 0 or 1 by big-endian byte order; both addresses must be of the same known type.
    int compare(const CIPAddress& other) const;

    bool operator==(const CIPAddress& other) const;
    bool operator!=(const CIPAddress& other) const { return !(*this == other); }
    bool operator<(const CIPAddress& other) const { return compare(other) < 0; }
    bool operator<=(const CIPAddress& other) const { return compare(other) <= 0; }
    bool operator>(const CIPAddress& other) const { return compare(other) > 0; }
    bool operator>=(const CIPAddress& other) const { return compare(other) >= 0; }

private:
    void _set(const std::string& text);
    std::string _v4string() const;
    std::string _v6string() const;
    // Adds or subtracts modulo 2^(8 * length()).
    void _addOffset(std::int64_t offset, bool subtract, const char* site);
    void _addAddress(const CIPAddress& other, bool subtract, const char* site);
    void _requireKnown(const char* site, const char* reason) const;

    Type m_type = kUnknown;
    unsigned char m_bytes[kIPv6Length] = {};
};

inline CIPAddress operator+(CIPAddress address, std::int64_t offset) {
    return address += offset;
}
inline CIPAddress operator-(CIPAddress address, std::int64_t offset) {
    return address -= offset;
}

}  // namespace nbx
