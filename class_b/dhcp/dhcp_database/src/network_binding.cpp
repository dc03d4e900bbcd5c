#include "dhcp_database/network_binding.h"

CPrstClassDef CPrstNetworkBinding::_declare(const char* className, unsigned family) {
    std::vector<CPrstFieldDef> early{_prefixRow("CPrstNetworkBinding::_preDeserialize")};
    for (const CPrstFieldDef& row :
         _clientRows(className, family, family == 6 ? "duid" : "client_id", "client_id")) {
        early.push_back(row);
    }
    return CPrstBinding::_declare(CPrstClassDef(className, "network_binding", "network_binding"),
                                  family, "network_pool", early);
}

const CPrstClassDef& CPrstNetworkBinding::classDef() {
    static const CPrstClassDef def = _declare("CPrstNetworkBinding", 4);
    return def;
}

const CPrstClassDef& CPrstNetworkBinding6::classDef() {
    static const CPrstClassDef def = _declare("CPrstNetworkBinding6", 6);
    return def;
}
