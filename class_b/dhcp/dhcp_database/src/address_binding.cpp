#include "dhcp_database/address_binding.h"

CPrstClassDef CPrstAddressBinding::_declare(const char* className, unsigned family) {
    return CPrstBinding::_declare(CPrstClassDef(className, "address_binding", "address_binding"),
                                  family, "address_pool",
                                  _clientRows(className, family, "client_id", "duid"));
}

const CPrstClassDef& CPrstAddressBinding4::classDef() {
    static const CPrstClassDef def = _declare("CPrstAddressBinding4", 4);
    return def;
}

const CPrstClassDef& CPrstAddressBinding6::classDef() {
    static const CPrstClassDef def = _declare("CPrstAddressBinding6", 6);
    return def;
}
