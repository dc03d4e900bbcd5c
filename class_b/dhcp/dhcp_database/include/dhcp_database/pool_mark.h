#pragma once
// Pool marks (tables "address_pool_mark" and "network_pool_mark"): where a pool's next search
// for a free address or prefix starts. A mark lives in a table of its own, linked to its pool
// by "POOL_OID", so that handing out addresses does not rewrite the pool record. Marks are
// registered by class name only; their text form ("pool_oid", "mark", both required) is the
// same for both kinds, and so is their failure text "Cannot set apool mark record from text.".

#include <cstdint>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"
#include "standard/ip_address.h"

class CPrstPoolMark : public CPersistentSecuredObject<CPrstPoolMark> {
public:
    std::uint32_t poolOID() const { return get<std::uint32_t>("pool_oid"); }
    void setPoolOID(std::uint32_t oid) { put<std::uint32_t>("pool_oid", oid); }
    const nbx::CIPAddress& mark() const { return get<nbx::CIPAddress>("mark"); }
    void setMark(const nbx::CIPAddress& mark) { put<nbx::CIPAddress>("mark", mark); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }

protected:
    explicit CPrstPoolMark(const CPrstClassDef& def) : CPersistentSecuredObject(def) {}
    static CPrstClassDef _declare(const char* className, const char* table);

private:
    void _readMark(const nbx::CStringMap& map, const CPrstFieldDef& row);
};

class CPrstAPoolMark : public CPrstPoolMark {
public:
    static const CPrstClassDef& classDef();
    CPrstAPoolMark() : CPrstPoolMark(classDef()) {}
};

class CPrstNPoolMark : public CPrstPoolMark {
public:
    static const CPrstClassDef& classDef();
    CPrstNPoolMark() : CPrstPoolMark(classDef()) {}
};
