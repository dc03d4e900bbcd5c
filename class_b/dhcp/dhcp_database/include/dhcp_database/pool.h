#pragma once
// What address pools ("address_pool") and network pools ("network_pool") share: their keys, the
// rules of their range, relay, lifetimes and prefix, and their options.
//
// Reading a pool, in this order:
//   1. "oid";
//   2. _preDeserialize: "rangestart" and "rangestop", both required, addresses of the pool's
//      family, in order, neither node-local nor link-local;
//   3. the rows: "relay" (required; "giaddr" is accepted in its place) of the pool's family,
//      "prefix" and "prefix_len" (_setPrefixData), "valid_lt" not less than "pref_lt", ...;
//   4. the options, then the rules that need the prefix length: the length is settled (address
//      pools take it from "prefix_len" or the subnet-mask option), the range must lie in one
//      network and the "prefix" network must hold "rangestart".
//
// "One network" means that "rangestart" and "rangestop" agree in their first prefix_len bits.
// The length is always known when this is checked, because a pool without one (and, for IPv4,
// without a subnet-mask option either) is refused before; no default network size is guessed.
//
// The rules of this class fail with "Cannot set pool record from text."; the rows' own value
// failures and the rules of the pool kinds name the kind ("Cannot set address pool record from
// text.", "Cannot set network pool record from text.").

#include <cstdint>
#include <string>
#include <vector>

#include "dhcp_database/prst_dhcp_options.h"
#include "prst_generic/domain_memberships.h"
#include "standard/ip_address.h"

class CPrstPool : public CPrstDHCPOptionsRecord<CPrstPool> {
public:
    // 4 or 6. A network pool has the family of its range (0 while it has none).
    virtual unsigned family() const = 0;
    // Length of the prefixes the pool hands out; for address pools the full address length.
    virtual unsigned subPrefixLen() const = 0;
    virtual void setSubPrefixLen(unsigned length) = 0;

    bool enabled() const { return get<bool>("enabled"); }
    void setEnabled(bool v) { put<bool>("enabled", v); }
    const std::string& name() const { return get<std::string>("name"); }
    void setName(const std::string& v) { put<std::string>("name", v); }
    const std::string& allow() const { return get<std::string>("allow"); }
    const std::string& deny() const { return get<std::string>("deny"); }
    const std::string& policies() const { return get<std::string>("policies"); }
    const std::string& description() const { return get<std::string>("description"); }
    void setDescription(const std::string& v) { put<std::string>("description", v); }
    // The exclusions within the range, as text; the server reads them, this record keeps them.
    const std::string& xrange() const { return get<std::string>("xrange"); }
    const nbx::CIPAddress& rangeStart() const { return get<nbx::CIPAddress>("rangestart"); }
    const nbx::CIPAddress& rangeStop() const { return get<nbx::CIPAddress>("rangestop"); }
    const nbx::CIPAddress& relay() const { return get<nbx::CIPAddress>("relay"); }
    // No address (unknown type) when the pool names no prefix.
    const nbx::CIPAddress& prefix() const { return get<nbx::CIPAddress>("prefix"); }
    unsigned prefixLen() const { return get<std::uint16_t>("prefix_len"); }
    std::uint32_t weight() const { return get<std::uint32_t>("weight"); }
    std::uint32_t sessionId() const { return get<std::uint32_t>("session_id"); }
    std::uint32_t validLt() const { return get<std::uint32_t>("valid_lt"); }
    std::uint32_t prefLt() const { return get<std::uint32_t>("pref_lt"); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }
    const CPrstDomainMemberships& domains() const { return get<CPrstDomainMemberships>("domains"); }

    // How many prefixes of subPrefixLen() the range touches (addresses, for an address pool), in
    // decimal: an IPv6 range can hold more than 64 bits count. "0" without a valid range.
    std::string rangeSize() const;

protected:
    static constexpr const char* kPoolFailure = "Cannot set pool record from text.";
    static constexpr const char* kSetSite = "CPrstPool::_set";

    explicit CPrstPool(const CPrstClassDef& def) : CPrstDHCPOptionsRecord<CPrstPool>(def) {}

    // The declaration of a pool kind: `def` (names, module, site, failure text) with the rows
    // every pool has, in reading order, and the kind's `own` rows before the options.
    static CPrstClassDef _declare(CPrstClassDef def, std::vector<CPrstFieldDef> own);

    // The family the range must have; 0: the range's own (network pools).
    virtual unsigned _requiredFamily() const { return family(); }
    void _preDeserialize(const nbx::CStringMap& map) override;
    void _postDeserialize(const nbx::CStringMap& map) override;
    // "prefix" and "prefix_len", each when present: the prefix of the pool's family (the empty
    // text: none), the length at most the family's address length.
    virtual void _setPrefixData(const nbx::CStringMap& map);
    // Called once the options are read: makes prefixLen() the pool's length or fails.
    virtual void _settlePrefixLength(const nbx::CStringMap&) {}

    // The pool's rule failures: "Cannot set pool record from text." at `function`.
    [[noreturn]] void _poolFail(nbx::CMessage reason, const char* function = kSetSite) const {
        _failWith(nbx::CMessage(kPoolFailure), std::move(reason), function);
    }
    // The address of `text` when it is one of `family` (4 or 6); else the pool's failure with
    // `reason` at `function`.
    nbx::CIPAddress _addressOf(const std::string& text, unsigned family, nbx::CMessage reason,
                               const char* function) const;
    // A length up to `limit`; else the failure "Invalid value '%1' for key '%2'." under the
    // class's own text at `function` (the class's site when null).
    unsigned _lengthOf(const std::string& key, const std::string& text, unsigned limit,
                       const char* function = nullptr) const;
    // The address length of the pool's family in bits (0 while a network pool has no range).
    unsigned _familyBits() const { return family() == 6 ? 128 : family() == 4 ? 32 : 0; }

    // Rows that another step reads: the range (_preDeserialize), "prefix_len" (with "prefix").
    void _readElsewhere(const nbx::CStringMap&, const CPrstFieldDef&) {}

private:
    void _readRelay(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readPrefixData(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readValidLt(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readPrefLt(const nbx::CStringMap& map, const CPrstFieldDef& row);
};
