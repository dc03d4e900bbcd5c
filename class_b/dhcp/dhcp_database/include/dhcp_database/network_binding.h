#pragma once
// Network bindings (text class name "network_binding", table "network_binding"): a client's
// lease of a network (a prefix of "prefix_len" bits at "ipaddr") from a network pool
// ("source_pool" names a "network_pool"). CPrstNetworkBinding serves IPv4 instances,
// CPrstNetworkBinding6 IPv6 ones, which know the client by "duid" (also read as "client_id"),
// "iatype" and "iaid".

#include "dhcp_database/binding.h"

class CPrstNetworkBinding : public CPrstBinding {
public:
    static const CPrstClassDef& classDef();
    CPrstNetworkBinding() : CPrstNetworkBinding(classDef()) {}
    unsigned family() const override { return 4; }

protected:
    explicit CPrstNetworkBinding(const CPrstClassDef& def) : CPrstBinding(def) {}
    // "prefix_len" is read first (CPrstNetworkBinding::_preDeserialize), then the client keys.
    static CPrstClassDef _declare(const char* className, unsigned family);
};

class CPrstNetworkBinding6 : public CPrstNetworkBinding {
public:
    static const CPrstClassDef& classDef();
    CPrstNetworkBinding6() : CPrstNetworkBinding(classDef()) {}
    unsigned family() const override { return 6; }
};
