#pragma once
// Address bindings (text class name "address_binding", table "address_binding"): a client's
// lease of one address from an address pool ("source_pool" names an "address_pool"). The
// protocol instance's family picks the class: CPrstAddressBinding4 or CPrstAddressBinding6.

#include "dhcp_database/binding.h"

class CPrstAddressBinding : public CPrstBinding {
protected:
    using CPrstBinding::CPrstBinding;
    // The declaration of the family's class: IPv4 reads "client_id" first, IPv6 "client_id"
    // (or "duid"), "iatype" and "iaid".
    static CPrstClassDef _declare(const char* className, unsigned family);
};

class CPrstAddressBinding4 : public CPrstAddressBinding {
public:
    static const CPrstClassDef& classDef();
    CPrstAddressBinding4() : CPrstAddressBinding(classDef()) {}
    unsigned family() const override { return 4; }
};

class CPrstAddressBinding6 : public CPrstAddressBinding {
public:
    static const CPrstClassDef& classDef();
    CPrstAddressBinding6() : CPrstAddressBinding(classDef()) {}
    unsigned family() const override { return 6; }
};
