#include "dhcp_database/f_binding.h"

#include <cctype>

#include "oodb_persistence/prst_ref_attr.h"

const std::vector<std::string>& CPrstFBinding::timeKeys() {
    static const std::vector<std::string> keys{
        "acked_potential_exp_time", "sent_potential_exp_time", "desired_lease_exp_time",
        "lease_exp_time",           "recv_potential_exp_time", "client_last_trans_time",
        "start_time_of_state"};
    return keys;
}

CPrstClassDef CPrstFBinding::_declare(CPrstClassDef def, unsigned family,
                                      const std::string& poolClass,
                                      const std::vector<CPrstFieldDef>& early) {
    def.module(NBX_MODULE_TAG).site("CPrstFBinding::_set").failure(kFailure);
    for (const CPrstFieldDef& row : early) def.field(row);
    def.field(prst::modTime())
        .field(prst::reference("source_pool", "POOL_OID", poolClass).require())
        .field(_ipAddressRow(family))
        .field(_relayRow(family))
        .field(prst::value<std::uint32_t>("session_id", "SESSION_ID"))
        .field(prst::value<std::string>("state", "STATE"))
        .field(prst::value<std::string>("request", "REQUEST"))
        .field(prst::value<std::string>("update_status", "UPDATE_STATUS"))
        .field(_fixedRow())
        .field(_protocolRow())
        .field(prst::value<std::uint32_t>("underlying_oid", "UNDERLYING_OID"))
        .field(_tidTypeRow())
        .field(prst::value<std::string>("tid", "TID"));
    for (const std::string& key : timeKeys()) {
        std::string column = key;
        for (char& c : column) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        def.field(prst::value<std::uint32_t>(key, column));
    }
    return def.field(_domainsRow()).field(prst::dhcpOptions());
}

CPrstClassDef CPrstFAddressBinding::_declare(const char* className, unsigned family) {
    return CPrstFBinding::_declare(
        CPrstClassDef(className, "failover_address_binding", "failover_address_binding"), family,
        "address_pool", _clientRows(className, family, "client_id", "duid"));
}

const CPrstClassDef& CPrstFAddressBinding4::classDef() {
    static const CPrstClassDef def = _declare("CPrstFAddressBinding4", 4);
    return def;
}

const CPrstClassDef& CPrstFAddressBinding6::classDef() {
    static const CPrstClassDef def = _declare("CPrstFAddressBinding6", 6);
    return def;
}

CPrstClassDef CPrstFNetworkBinding::_declare(const char* className, unsigned family) {
    std::vector<CPrstFieldDef> early{_prefixRow("CPrstFNetworkBinding::_preDeserialize")};
    for (const CPrstFieldDef& row :
         _clientRows(className, family, family == 6 ? "duid" : "client_id", "client_id")) {
        early.push_back(row);
    }
    return CPrstFBinding::_declare(
        CPrstClassDef(className, "failover_network_binding", "failover_network_binding"), family,
        "network_pool", early);
}

const CPrstClassDef& CPrstFNetworkBinding::classDef() {
    static const CPrstClassDef def = _declare("CPrstFNetworkBinding", 4);
    return def;
}

const CPrstClassDef& CPrstFNetworkBinding6::classDef() {
    static const CPrstClassDef def = _declare("CPrstFNetworkBinding6", 6);
    return def;
}
