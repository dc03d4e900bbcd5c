#pragma once
// Bindings: a client's lease of an address or a network, and what they share with the failover
// bindings (f_binding.h).
//
//   CIPrstBinding              address family, client keys, addresses, flags, source pool
//     CPrstBinding             the lease (commit, duration, expiry), account, policies
//       CPrstAddressBinding    "address_binding": CPrstAddressBinding4, CPrstAddressBinding6
//       CPrstNetworkBinding    "network_binding": IPv4; CPrstNetworkBinding6
//     CPrstFBinding            the failover state
//
// Each family variant declares its own class and shares the rules of its base. The keys read
// before all others (_preDeserialize) are the client's: IPv4 "client_id"; IPv6 "client_id" (or
// "duid"), "iatype", "iaid"; network bindings first "prefix_len". "ipaddr" and "relay" (or
// "giaddr") must be addresses of the binding's family.

#include <cstdint>
#include <string>
#include <vector>

#include "dhcp_database/prst_dhcp_options.h"
#include "prst_generic/domain_memberships.h"
#include "standard/hex_store.h"
#include "standard/ip_address.h"
#include "standard/time_t.h"

class CIPrstBinding : public CPrstDHCPOptionsRecord<CIPrstBinding> {
public:
    // Text of every failure of a binding's reader.
    static constexpr const char* kFailure = "Failed to set a binding record from text.";

    // 4 or 6.
    virtual unsigned family() const = 0;

    const nbx::CIPAddress& ipAddress() const { return get<nbx::CIPAddress>("ipaddr"); }
    void setIPAddress(const nbx::CIPAddress& v) { put<nbx::CIPAddress>("ipaddr", v); }
    const nbx::CIPAddress& relay() const { return get<nbx::CIPAddress>("relay"); }
    void setRelay(const nbx::CIPAddress& v) { put<nbx::CIPAddress>("relay", v); }
    bool fixed() const { return get<bool>("fixed"); }
    void setFixed(bool v) { put<bool>("fixed", v); }
    const std::string& protocol() const { return get<std::string>("protocol"); }
    void setProtocol(const std::string& v) { put<std::string>("protocol", v); }
    std::uint32_t tidType() const { return get<std::uint32_t>("tid_type"); }
    void setTidType(std::uint32_t v) { put<std::uint32_t>("tid_type", v); }
    const std::string& tid() const { return get<std::string>("tid"); }
    void setTid(const std::string& v) { put<std::string>("tid", v); }
    // OID of the pool the binding came from (kNoKey: none).
    std::uint32_t sourcePool() const { return get<std::uint32_t>("source_pool"); }
    void setSourcePool(std::uint32_t oid) { put<std::uint32_t>("source_pool", oid); }
    // The client identifier (IPv4 "client_id"; IPv6 DUID, "client_id" or "duid").
    const nbx::CHexStore& clientId() const { return get<nbx::CHexStore>("client_id"); }
    void setClientId(const nbx::CHexStore& v) { put<nbx::CHexStore>("client_id", v); }
    // IPv6 bindings only.
    std::uint16_t iaType() const { return get<std::uint16_t>("iatype"); }
    void setIAType(std::uint16_t v) { put<std::uint16_t>("iatype", v); }
    std::uint32_t iaid() const { return get<std::uint32_t>("iaid"); }
    void setIAID(std::uint32_t v) { put<std::uint32_t>("iaid", v); }
    // Network bindings only.
    std::uint16_t prefixLength() const { return get<std::uint16_t>("prefix_len"); }
    void setPrefixLength(std::uint16_t v) { put<std::uint16_t>("prefix_len", v); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }
    const CPrstDomainMemberships& domains() const { return get<CPrstDomainMemberships>("domains"); }

protected:
    explicit CIPrstBinding(const CPrstClassDef& def) : CPrstDHCPOptionsRecord<CIPrstBinding>(def) {}

    // The client rows of `family`, read before all others and reported at
    // "<className>::_preDeserialize": IPv4 "client_id"; IPv6 `idKey` (also read as `idAlias`),
    // "iatype", "iaid". All required.
    static std::vector<CPrstFieldDef> _clientRows(const std::string& className, unsigned family,
                                                  const std::string& idKey,
                                                  const std::string& idAlias);
    // "prefix_len", required and read before all others, at `site`: at most 32 for IPv4, 128
    // for IPv6.
    static CPrstFieldDef _prefixRow(const std::string& site);
    // "ipaddr" and "relay" (or "giaddr"): required, of the binding's family; unset they are the
    // family's unspecified address.
    static CPrstFieldDef _ipAddressRow(unsigned family);
    static CPrstFieldDef _relayRow(unsigned family);
    // A text without "fixed" gives true, without "tid_type" 0, without "protocol" "dhcpv4".
    static CPrstFieldDef _fixedRow();
    static CPrstFieldDef _tidTypeRow();
    static CPrstFieldDef _protocolRow();
    static CPrstFieldDef _domainsRow();

    // Fails with the binding's text at the reader's site ("CPrstBinding::_set" ...) or at
    // `site`.
    [[noreturn]] void _failAt(const std::string& site, nbx::CMessage reason) const;

private:
    void _readEarly(const nbx::CStringMap& map, const CPrstFieldDef& row, const std::string& site,
                    const std::string& alias);
    void _readPrefixLength(const nbx::CStringMap& map, const CPrstFieldDef& row,
                           const std::string& site);
    void _readIPAddress(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readRelay(const nbx::CStringMap& map, const CPrstFieldDef& row);
    nbx::CIPAddress _address(const std::string& key, const std::string& value,
                             const char* wrongFamily) const;
};

class CPrstBinding : public CIPrstBinding {
public:
    nbx::CTimeT leaseCommit() const { return get<nbx::CTimeT>("lease_commit"); }
    void setLeaseCommit(const nbx::CTimeT& v) { put<nbx::CTimeT>("lease_commit", v); }
    // Infinite for a lease that never expires.
    nbx::CTimeT leaseExpire() const { return get<nbx::CTimeT>("lease_expire"); }
    void setLeaseExpire(const nbx::CTimeT& v) { put<nbx::CTimeT>("lease_expire", v); }
    // The expiry less the commit time ("lease_duration"); infinite with the expiry.
    nbx::CTimeT leaseDuration() const;
    // OID of the client's account (kNoKey: none).
    std::uint32_t sourceAccount() const { return get<std::uint32_t>("source_account"); }
    void setSourceAccount(std::uint32_t oid) { put<std::uint32_t>("source_account", oid); }
    const std::string& policies() const { return get<std::string>("policies"); }
    void setPolicies(const std::string& v) { put<std::string>("policies", v); }

protected:
    using CIPrstBinding::CIPrstBinding;

    // The declaration of a binding class: `def` with the rows read first (`early`), then the
    // binding's own; "source_pool" refers to `poolClass`.
    static CPrstClassDef _declare(CPrstClassDef def, unsigned family, const std::string& poolClass,
                                  const std::vector<CPrstFieldDef>& early);

private:
    // The expiry of a lease `duration` after `commit`; false when there is none that can be
    // written (a negative duration, one past the last writable time).
    static bool _expiry(const nbx::CTimeT& commit, const nbx::CTimeT& duration,
                        nbx::CTimeT& expiry);
    void _readLeaseDuration(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _writeLeaseDuration(nbx::CStringMap& map, const CPrstFieldDef& row) const;
};
