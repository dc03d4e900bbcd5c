#pragma once
// Address pools (text class name "address_pool", table "address_pool"): a range of addresses
// handed out one by one. The protocol instance registers the variant of its family,
// CPrstAddressPool4 or CPrstAddressPool6, under the class name "CPrstAddressPool".
//
// Their own rules, checked once the options are read:
//   - IPv6 pools need "prefix_len" ("Missing 'prefix_len' key.");
//   - IPv4 pools need "prefix_len" or a subnet-mask option ("Missing 'prefix_len' key or
//     subnet mask option."); without "prefix_len" the mask gives the length, with both they
//     must agree ("Key 'prefix_len' is not consistent with the specified subnet mask.");
//   - the sub-prefix length is the family's address length and cannot be set to anything else
//     ("Unable to set sub-prefix length." / "The sub-prefix length is fixed at %1 for address
//     bindings."), neither through setSubPrefixLen nor by a "sub_prefix_len" key in a text.

#include "dhcp_database/pool.h"

class CPrstAddressPool : public CPrstPool {
public:
    unsigned subPrefixLen() const override { return _familyBits(); }
    // Throws unless `length` is the fixed length.
    void setSubPrefixLen(unsigned length) override;

protected:
    explicit CPrstAddressPool(const CPrstClassDef& def) : CPrstPool(def) {}
    static CPrstClassDef _declare(const char* className);

    void _preDeserialize(const nbx::CStringMap& map) override;
    void _settlePrefixLength(const nbx::CStringMap& map) override;
};

class CPrstAddressPool4 : public CPrstAddressPool {
public:
    static const CPrstClassDef& classDef();
    CPrstAddressPool4() : CPrstAddressPool(classDef()) {}
    unsigned family() const override { return 4; }
};

class CPrstAddressPool6 : public CPrstAddressPool {
public:
    static const CPrstClassDef& classDef();
    CPrstAddressPool6() : CPrstAddressPool(classDef()) {}
    unsigned family() const override { return 6; }
};
