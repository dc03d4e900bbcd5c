#include "dhcp_database/pool.h"

#include <algorithm>

namespace {

using nbx::CIPAddress;

constexpr const char* kPreSite = "CPrstPool::_preDeserialize";

// Loopback and the node-local multicast scope (ff?1::).
bool nodeLocal(const CIPAddress& address) {
    const unsigned char* raw = address.raw_addr();
    if (address.isV6() && raw[0] == 0xff) return (raw[1] & 0x0f) == 1;
    return address.isLoopback();
}

// 169.254.0.0/16, fe80::/10 and the link-local multicast scope (ff?2::).
bool linkLocal(const CIPAddress& address) {
    const unsigned char* raw = address.raw_addr();
    if (address.isV4()) return raw[0] == 169 && raw[1] == 254;
    if (!address.isV6()) return false;
    if (raw[0] == 0xff) return (raw[1] & 0x0f) == 2;
    return raw[0] == 0xfe && (raw[1] & 0xc0) == 0x80;
}

// Both addresses of one type agree in their first `bits` bits.
bool sameNetwork(const CIPAddress& a, const CIPAddress& b, unsigned bits) {
    if (a.type() != b.type() || a.isUnknown()) return false;
    bits = std::min<unsigned>(bits, static_cast<unsigned>(a.length() * 8));
    const unsigned char* x = a.raw_addr();
    const unsigned char* y = b.raw_addr();
    unsigned i = 0;
    for (; i < bits / 8; ++i) {
        if (x[i] != y[i]) return false;
    }
    if (bits % 8 == 0) return true;
    const unsigned char mask = static_cast<unsigned char>(0xff << (8 - bits % 8));
    return (x[i] & mask) == (y[i] & mask);
}

unsigned __int128 asNumber(const CIPAddress& address) {
    unsigned __int128 value = 0;
    for (std::size_t i = 0; i < address.length(); ++i) value = (value << 8) | address.raw_addr()[i];
    return value;
}

std::string decimal(unsigned __int128 value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

// The decimal text plus one.
std::string incremented(std::string digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return digits;
        }
        *it = '0';
    }
    return "1" + digits;
}

}  // namespace

CPrstClassDef CPrstPool::_declare(CPrstClassDef def, std::vector<CPrstFieldDef> own) {
    using S = std::string;
    def.field(prst::modTime())
        .field(prst::value<bool>("enabled", "ENABLED", true))
        .field(prst::value<S>("name", "NAME"))
        .field(prst::value<S>("allow", "ALLOW"))
        .field(prst::value<S>("deny", "DENY"))
        .field(prst::value<S>("policies", "POLICIES"))
        .field(prst::value<CIPAddress>("rangestart", "RANGESTART").read(&CPrstPool::_readElsewhere))
        .field(prst::value<CIPAddress>("rangestop", "RANGESTOP").read(&CPrstPool::_readElsewhere))
        .field(prst::value<S>("description", "DESCRIPTION"))
        .field(prst::value<CIPAddress>("relay", "RELAY").read(&CPrstPool::_readRelay))
        .field(prst::value<S>("xrange", "XRANGE").as(CPrstFieldType::kTextBlob))
        .field(prst::value<std::uint32_t>("weight", "WEIGHT"))
        .field(prst::value<CIPAddress>("prefix", "PREFIX").read(&CPrstPool::_readPrefixData))
        .field(
            prst::value<std::uint16_t>("prefix_len", "PREFIX_LEN").read(&CPrstPool::_readElsewhere))
        .field(prst::value<std::uint32_t>("session_id", "SESSION_ID"))
        .field(prst::value<std::uint32_t>("valid_lt", "VALID_LT").read(&CPrstPool::_readValidLt))
        .field(prst::value<std::uint32_t>("pref_lt", "PREF_LT").read(&CPrstPool::_readPrefLt))
        .field(prst::derived<S>("rangesize",
                                [](const CPrstUserBase& self) {
                                    return static_cast<const CPrstPool&>(self).rangeSize();
                                }))
        .field(
            prst::value<CPrstDomainMemberships>("domains", "DOMAINS").as(CPrstFieldType::kString));
    for (CPrstFieldDef& row : own) def.field(std::move(row));
    def.field(prst::dhcpOptions());
    return def;
}

std::string CPrstPool::rangeSize() const {
    const CIPAddress& start = rangeStart();
    const CIPAddress& stop = rangeStop();
    if (start.isUnknown() || start.type() != stop.type() || stop < start) return "0";
    const unsigned bits = static_cast<unsigned>(start.length() * 8);
    const unsigned shift = bits - std::min(subPrefixLen(), bits);
    if (shift >= 128) return "1";
    const unsigned __int128 first = asNumber(start) >> shift;
    const unsigned __int128 last = asNumber(stop) >> shift;
    return incremented(decimal(last - first));
}

// --- reading -----------------------------------------------------------------------------------

CIPAddress CPrstPool::_addressOf(const std::string& text, unsigned family, nbx::CMessage failure,
                                 const char* function) const {
    CIPAddress address;
    try {
        address.string(text);
    } catch (nbx::CException&) {
        address = CIPAddress();
    }
    if (address.isUnknown() || static_cast<unsigned>(address.type()) != family) {
        _poolFail(std::move(failure), function);
    }
    return address;
}

unsigned CPrstPool::_lengthOf(const std::string& key, const std::string& text, unsigned limit,
                              const char* function) const {
    std::int64_t length = -1;
    try {
        length = prst::toNumber(text, 0, limit);
    } catch (nbx::CException&) {
        length = -1;
    }
    if (length < 0) {
        nbx::CMessage reason = nbx::msg("Invalid value '%1' for key '%2'.", text, key);
        if (!function) _fail(std::move(reason));
        _failWith(nbx::CMessage(classDef().failureText()), std::move(reason), function);
    }
    return static_cast<unsigned>(length);
}

void CPrstPool::_preDeserialize(const nbx::CStringMap& map) {
    CPrstDHCPOptionsRecord<CPrstPool>::_preDeserialize(map);
    std::string startText;
    std::string stopText;
    if (!map.get("rangestart", startText)) {
        _poolFail(nbx::msg("Missing '%1' key.", "rangestart"), kPreSite);
    }
    unsigned family = _requiredFamily();
    if (family == 0) {
        // A network pool takes the family of its range.
        CIPAddress probe;
        try {
            probe.string(startText);
        } catch (nbx::CException&) {
            probe = CIPAddress();
        }
        family = static_cast<unsigned>(probe.type());
    }
    const CIPAddress start =
        _addressOf(startText, family,
                   nbx::msg("Incorrect ip address type for key '%1'.", "rangestart"), kPreSite);
    if (!map.get("rangestop", stopText)) {
        _poolFail(nbx::msg("Missing '%1' key.", "rangestop"), kPreSite);
    }
    const CIPAddress stop =
        _addressOf(stopText, family,
                   nbx::msg("Incorrect ip address type for key '%1'.", "rangestop"), kPreSite);
    if (stop < start) {
        _poolFail(nbx::msg("Values for keys 'rangestart' and 'rangestop' are reversed."), kPreSite);
    }
    const std::pair<const char*, const CIPAddress*> ends[] = {{"rangestart", &start},
                                                              {"rangestop", &stop}};
    for (const auto& end : ends) {
        if (nodeLocal(*end.second)) {
            _poolFail(nbx::msg("Key '%1' specifies a node-local address.", end.first), kPreSite);
        }
        if (linkLocal(*end.second)) {
            _poolFail(nbx::msg("Key '%1' specifies a link-local address.", end.first), kPreSite);
        }
    }
    put<CIPAddress>("rangestart", start);
    put<CIPAddress>("rangestop", stop);
}

void CPrstPool::_postDeserialize(const nbx::CStringMap& map) {
    CPrstDHCPOptionsRecord<CPrstPool>::_postDeserialize(map);
    _settlePrefixLength(map);
    if (!sameNetwork(rangeStart(), rangeStop(), prefixLen())) {
        _poolFail(
            nbx::msg("Values for keys 'rangestart' and 'rangestop' are not on the same network."));
    }
    if (!prefix().isUnknown() && !sameNetwork(prefix(), rangeStart(), prefixLen())) {
        _poolFail(
            nbx::msg("The 'prefix' network does not appear to encompass the 'rangestart' "
                     "value."));
    }
}

void CPrstPool::_setPrefixData(const nbx::CStringMap& map) {
    std::string text;
    if (map.get("prefix", text)) {
        put<CIPAddress>("prefix", text.empty()
                                      ? CIPAddress()
                                      : _addressOf(text, family(),
                                                   nbx::msg("Incorrect ip address type for key "
                                                            "'%1'.",
                                                            "prefix"),
                                                   kSetSite));
    }
    if (map.get("prefix_len", text)) {
        put<std::uint16_t>(
            "prefix_len", static_cast<std::uint16_t>(_lengthOf("prefix_len", text, _familyBits())));
    }
}

void CPrstPool::_readPrefixData(const nbx::CStringMap& map, const CPrstFieldDef&) {
    _setPrefixData(map);
}

void CPrstPool::_readRelay(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string text;
    if (!map.get(row.key, text) && !map.get("giaddr", text)) {
        _poolFail(nbx::msg("Missing '%1' key.", row.key));
    }
    put<CIPAddress>(
        row.name,
        _addressOf(text, family(), nbx::msg("Incorrect ip address type for key 'relay' (giaddr)."),
                   kSetSite));
}

void CPrstPool::_readValidLt(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string text;
    if (!map.get(row.key, text)) return;
    std::uint32_t lifetime = 0;
    try {
        lifetime = prst::toULong(text);
    } catch (nbx::CException&) {
        _poolFail(nbx::msg("Invalid or missing 'valid_lt' key"));
    }
    put<std::uint32_t>(row.name, lifetime);
}

void CPrstPool::_readPrefLt(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string text;
    if (map.get(row.key, text)) {
        // A preferred lifetime means nothing without the valid one it must not exceed.
        if (!map.has("valid_lt")) _poolFail(nbx::msg("Invalid or missing 'valid_lt' key"));
        std::uint32_t lifetime = 0;
        try {
            lifetime = prst::toULong(text);
        } catch (nbx::CException&) {
            _fail(nbx::msg("Invalid value '%1' for key '%2'.", text, row.key));
        }
        put<std::uint32_t>(row.name, lifetime);
    }
    if (validLt() < prefLt()) {
        _poolFail(nbx::msg("Key 'valid_lt' cannot be less than key 'pref_lt'."));
    }
}
