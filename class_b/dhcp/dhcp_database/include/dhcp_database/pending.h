#pragma once
// Pending bindings: an address or network offered to a client and not yet taken
// (CPrstAddressPending "address_pending", CPrstNetworkPending "network_pending"). They are
// written as text ("offer_time", "source_pool", "ipaddr", "relay") but never set from text: an
// offer is only meaningful to the server that made it, so a replicated one is refused with
// "Cannot set a pending record from text." / "This operation is not allowed.".

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"
#include "standard/ip_address.h"
#include "standard/time_t.h"

class CPrstPending : public CPersistentSecuredObject<CPrstPending> {
public:
    nbx::CTimeT offerTime() const { return get<nbx::CTimeT>("offer_time"); }
    void setOfferTime(const nbx::CTimeT& v) { put<nbx::CTimeT>("offer_time", v); }
    std::uint32_t sourcePool() const { return get<std::uint32_t>("source_pool"); }
    void setSourcePool(std::uint32_t oid) { put<std::uint32_t>("source_pool", oid); }
    const nbx::CIPAddress& ipAddress() const { return get<nbx::CIPAddress>("ipaddr"); }
    void setIPAddress(const nbx::CIPAddress& v) { put<nbx::CIPAddress>("ipaddr", v); }
    const nbx::CIPAddress& relay() const { return get<nbx::CIPAddress>("relay"); }
    void setRelay(const nbx::CIPAddress& v) { put<nbx::CIPAddress>("relay", v); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }

    // Refuses every text.
    void _set(const nbx::CStringMap& map) override;

protected:
    using CPersistentSecuredObject<CPrstPending>::CPersistentSecuredObject;
    // The declaration of a pending class whose "source_pool" refers to `poolClass`.
    static CPrstClassDef _declare(const char* className, const char* textClassName,
                                  const char* poolClass);
};

class CPrstAddressPending : public CPrstPending {
public:
    static const CPrstClassDef& classDef();
    CPrstAddressPending() : CPrstPending(classDef()) {}
};

class CPrstNetworkPending : public CPrstPending {
public:
    static const CPrstClassDef& classDef();
    CPrstNetworkPending() : CPrstPending(classDef()) {}
};
