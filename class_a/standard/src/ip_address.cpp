#include "standard/ip_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "standard/throw.h"

namespace nbx {

namespace {

constexpr const char* kModule = "standard";

const char* const kUnknownArithmetic = "Unknown address types do not support arithmetic.";
const char* const kTypeMismatch = "Type mismatch between ip addresses.";

// Four decimal parts of at most 0..255 each, joined by single dots; nothing else.
bool parseV4(const std::string& text, unsigned char out[CIPAddress::kIPv4Length]) {
    std::size_t part = 0;
    std::size_t digits = 0;
    unsigned value = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0 || part == CIPAddress::kIPv4Length - 1) return false;
            out[part++] = static_cast<unsigned char>(value);
            digits = 0;
            value = 0;
        } else if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 255) return false;  // also keeps long digit runs from overflowing
            ++digits;
        } else {
            return false;
        }
    }
    if (digits == 0 || part != CIPAddress::kIPv4Length - 1) return false;
    out[part] = static_cast<unsigned char>(value);
    return true;
}

// sum += addend, both big-endian numbers of `size` bytes, modulo 2^(8 * size).
void addBigEndian(unsigned char* sum, const unsigned char* addend, std::size_t size) {
    unsigned carry = 0;
    for (std::size_t i = size; i-- > 0;) {
        const unsigned digit = sum[i] + addend[i] + carry;
        sum[i] = static_cast<unsigned char>(digit);
        carry = digit >> 8;
    }
}

// number = -number modulo 2^(8 * size).
void negateBigEndian(unsigned char* number, std::size_t size) {
    unsigned carry = 1;
    for (std::size_t i = size; i-- > 0;) {
        const unsigned digit = static_cast<unsigned char>(~number[i]) + carry;
        number[i] = static_cast<unsigned char>(digit);
        carry = digit >> 8;
    }
}

// The text as a failure names it: a NUL would silently end the message argument there.
std::string shown(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\0') {
            out += "\\0";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

CIPAddress::CIPAddress(const std::string& text) {
    _set(text);
}

CIPAddress::CIPAddress(const void* raw, std::size_t length) {
    set(raw, length);
}

CIPAddress::CIPAddress(const in_addr& address) {
    set(&address, kIPv4Length);
}

CIPAddress::CIPAddress(const in6_addr& address) {
    set(&address, kIPv6Length);
}

std::size_t CIPAddress::length() const {
    switch (m_type) {
        case kIPv4:
            return kIPv4Length;
        case kIPv6:
            return kIPv6Length;
        default:
            return 0;
    }
}

void CIPAddress::_requireKnown(const char* site, const char* reason) const {
    if (m_type == kUnknown) {
        NBX_THROW(CException, kModule, site, msg("Illegal operation."), msg(reason));
    }
}

void CIPAddress::set_inaddr_any() {
    _requireKnown("CIPAddress::set_inaddr_any",
                  "Unknown address types do not have an 'any' value.");
    std::memset(m_bytes, 0, sizeof m_bytes);
}

void CIPAddress::setLoopback() {
    _requireKnown("CIPAddress::setLoopback", "Unknown address types do not have a loopback value.");
    std::memset(m_bytes, 0, sizeof m_bytes);
    if (m_type == kIPv4) {
        m_bytes[0] = 127;
        m_bytes[3] = 1;
    } else {
        m_bytes[15] = 1;
    }
}

int CIPAddress::addr_family() const {
    _requireKnown("CIPAddress::addr_family",
                  "Unknown address types do not have an address family.");
    return m_type == kIPv4 ? AF_INET : AF_INET6;
}

const unsigned char* CIPAddress::raw_addr() const {
    _requireKnown("CIPAddress::raw_addr",
                  "Unknown address types cannot provide raw address values.");
    return m_bytes;
}

void CIPAddress::set(const void* raw, std::size_t length) {
    Type type = length == kIPv4Length ? kIPv4 : length == kIPv6Length ? kIPv6 : kUnknown;
    if (type == kUnknown) {
        NBX_THROW(CException, kModule, "CIPAddress::set", msg("Illegal operation."),
                  msg("Address length does not match any known address type."));
    }
    if (raw == nullptr) {
        NBX_THROW(CException, kModule, "CIPAddress::set", msg("Illegal operation."),
                  msg("Invalid pointer."));
    }
    std::memset(m_bytes, 0, sizeof m_bytes);
    std::memcpy(m_bytes, raw, length);
    m_type = type;
}

bool CIPAddress::isAny() const {
    if (m_type == kUnknown) return false;
    for (std::size_t i = 0; i < length(); ++i) {
        if (m_bytes[i] != 0) return false;
    }
    return true;
}

bool CIPAddress::isLoopback() const {
    if (m_type == kIPv4) return m_bytes[0] == 127;
    if (m_type != kIPv6) return false;
    for (std::size_t i = 0; i < 15; ++i) {
        if (m_bytes[i] != 0) return false;
    }
    return m_bytes[15] == 1;
}

void CIPAddress::_set(const std::string& text) {
    m_type = kUnknown;
    std::memset(m_bytes, 0, sizeof m_bytes);

    unsigned char bytes[kIPv6Length] = {};
    Type type = kUnknown;
    // An embedded NUL would let the platform parser read only the text before it.
    if (text.find('\0') == std::string::npos) {
        if (text.find(':') != std::string::npos) {
            if (inet_pton(AF_INET6, text.c_str(), bytes) == 1) type = kIPv6;
        } else if (parseV4(text, bytes)) {
            type = kIPv4;
        }
    }
    if (type == kUnknown) {
        NBX_THROW(CException, kModule, "CIPAddress::_set", msg("Cannot create an ip address."),
                  msg("Text '%1' is not a valid IP address.", shown(text)));
    }
    std::memcpy(m_bytes, bytes, sizeof m_bytes);
    m_type = type;
}

std::string CIPAddress::_v4string() const {
    char out[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, m_bytes, out, sizeof out) == nullptr) {
        NBX_THROW_CODE(CException, kModule, "CIPAddress::_v4string",
                       msg("Failed to convert ipv4 address to text."), CMessage(), lastError());
    }
    return out;
}

std::string CIPAddress::_v6string() const {
    char out[INET6_ADDRSTRLEN];
    if (inet_ntop(AF_INET6, m_bytes, out, sizeof out) == nullptr) {
        NBX_THROW_CODE(CException, kModule, "CIPAddress::_v6string",
                       msg("Failed to convert ipv6 address to text."), CMessage(), lastError());
    }
    return out;
}

std::string CIPAddress::string() const {
    if (m_type == kIPv4) return _v4string();
    if (m_type == kIPv6) return _v6string();
    NBX_THROW(CException, kModule, "CIPAddress::string", msg("Illegal operation."),
              msg("Unknown address types cannot be serialized."));
}

bool CIPAddress::string(const std::string& text) {
    _set(text);
    return true;
}

void CIPAddress::_addOffset(std::int64_t offset, bool subtract, const char* site) {
    if (m_type == kUnknown) {
        NBX_THROW(CException, kModule, site, msg("Illegal operation."), msg(kUnknownArithmetic));
    }
    // The offset as a 128-bit two's complement number; negating it at that width also covers
    // the most negative 64-bit value. The shorter IPv4 address takes its low four bytes.
    unsigned char operand[kIPv6Length];
    const std::uint64_t low = static_cast<std::uint64_t>(offset);
    for (std::size_t i = 0; i < 8; ++i) {
        operand[i] = offset < 0 ? 0xFF : 0x00;
        operand[kIPv6Length - 1 - i] = static_cast<unsigned char>(low >> (8 * i));
    }
    if (subtract) negateBigEndian(operand, kIPv6Length);
    addBigEndian(m_bytes, operand + (kIPv6Length - length()), length());
}

void CIPAddress::_addAddress(const CIPAddress& other, bool subtract, const char* site) {
    if (m_type != other.m_type) {
        NBX_THROW(CException, kModule, site, msg("Illegal operation."), msg(kTypeMismatch));
    }
    if (m_type == kUnknown) {
        NBX_THROW(CException, kModule, site, msg("Illegal operation."), msg(kUnknownArithmetic));
    }
    unsigned char operand[kIPv6Length];
    std::memcpy(operand, other.m_bytes, length());
    if (subtract) negateBigEndian(operand, length());
    addBigEndian(m_bytes, operand, length());
}

CIPAddress& CIPAddress::operator+=(std::int64_t offset) {
    _addOffset(offset, false, "CIPAddress::operator+=");
    return *this;
}

CIPAddress& CIPAddress::operator-=(std::int64_t offset) {
    _addOffset(offset, true, "CIPAddress::operator-=");
    return *this;
}

CIPAddress& CIPAddress::operator+=(const CIPAddress& other) {
    _addAddress(other, false, "CIPAddress::operator+=");
    return *this;
}

CIPAddress& CIPAddress::operator-=(const CIPAddress& other) {
    _addAddress(other, true, "CIPAddress::operator-=");
    return *this;
}

int CIPAddress::compare(const CIPAddress& other) const {
    if (m_type == kUnknown || other.m_type == kUnknown) {
        NBX_THROW(CException, kModule, "CIPAddress::compare",
                  msg("Cannot compare ip addresses of unknown type."), CMessage());
    }
    if (m_type != other.m_type) {
        NBX_THROW(CException, kModule, "CIPAddress::compare", msg("Illegal operation."),
                  msg(kTypeMismatch));
    }
    int order = std::memcmp(m_bytes, other.m_bytes, length());
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

bool CIPAddress::operator==(const CIPAddress& other) const {
    return m_type == other.m_type && std::memcmp(m_bytes, other.m_bytes, length()) == 0;
}

}  // namespace nbx
