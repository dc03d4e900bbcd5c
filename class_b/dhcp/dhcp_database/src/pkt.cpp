#include "dhcp_database/pkt.h"

const CPrstClassDef& CPrstPkt::classDef() {
    using S = std::string;
    static const CPrstClassDef def =
        CPrstClassDef("CPrstPkt", "historical_packet", "historical_packet")
            .module(NBX_MODULE_TAG)
            .site("CPrstPkt::_set")
            .failure("Failed to set a packet record from text.")
            .field(prst::modTime())
            .field(prst::value<S>("pkt_type", "PKT_TYPE").require())
            .field(prst::binary("pkt", "PKT").require().read(&CPrstPkt::_readPkt))
            .field(prst::value<S>("primary_id", "PRIMARY_ID").read(&CPrstPkt::_readPrimaryId))
            .field(prst::value<S>("secondary_id", "SECONDARY_ID"))
            .field(prst::value<S>("remote_id", "REMOTE_ID"))
            .field(prst::value<S>("circuit_id", "CIRCUIT_ID"))
            .field(prst::value<S>("subscriber_id", "SUBSCRIBER_ID"))
            .field(prst::value<CPrstDomainMemberships>("domains", "DOMAINS")
                       .as(CPrstFieldType::kString))
            .field(prst::dhcpOptions());
    return def;
}

void CPrstPkt::_write(nbx::CStringMap& map) const {
    try {
        CPrstDHCPOptionsRecord<CPrstPkt>::_write(map);
    } catch (nbx::CException&) {
        // A packet is history: what can be written is worth more than nothing. The options
        // are written as always.
        if (context().jsonOptions()) map.set("options", options().json());
    }
}

void CPrstPkt::_readPkt(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    nbx::CHexStore pkt(nbx::CHexStore::Bytes(), "-");
    try {
        pkt.string(map.get(row.key));
    } catch (nbx::CException& e) {
        // The hex store's own words say what is wrong with the digits.
        _failWith(e.message(), e.reason());
    }
    setPkt(pkt);
}

void CPrstPkt::_readPrimaryId(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string value;
    if (map.get(row.key, value)) {
        setPrimaryId(value);
    } else if (!map.has("secondary_id")) {
        _fail(nbx::msg("Missing 'primary_id' or 'secondary_id' key."));
    }
}
