#pragma once
// A historical packet (text class name "historical_packet", table "historical_packet"): a DHCP
// packet kept with the identifiers of its client. "pkt" is the packet as hexadecimal pairs
// joined by "-"; "pkt", "pkt_type" and one of "primary_id" and "secondary_id" are required.
//
// Unlike the other records, writing never fails: a value that cannot be written ends the text
// there, and string() gives what was written before it (with the options).

#include <string>

#include "dhcp_database/prst_dhcp_options.h"
#include "prst_generic/domain_memberships.h"
#include "standard/hex_store.h"
#include "standard/time_t.h"

class CPrstPkt : public CPrstDHCPOptionsRecord<CPrstPkt> {
public:
    static const CPrstClassDef& classDef();

    const std::string& pktType() const { return get<std::string>("pkt_type"); }
    void setPktType(const std::string& v) { put<std::string>("pkt_type", v); }
    const nbx::CHexStore& pkt() const { return get<nbx::CHexStore>("pkt"); }
    void setPkt(const nbx::CHexStore& v) { put<nbx::CHexStore>("pkt", v); }
    const std::string& primaryId() const { return get<std::string>("primary_id"); }
    void setPrimaryId(const std::string& v) { put<std::string>("primary_id", v); }
    const std::string& secondaryId() const { return get<std::string>("secondary_id"); }
    void setSecondaryId(const std::string& v) { put<std::string>("secondary_id", v); }
    const std::string& remoteId() const { return get<std::string>("remote_id"); }
    const std::string& circuitId() const { return get<std::string>("circuit_id"); }
    const std::string& subscriberId() const { return get<std::string>("subscriber_id"); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }

    void _write(nbx::CStringMap& map) const override;

private:
    void _readPkt(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readPrimaryId(const nbx::CStringMap& map, const CPrstFieldDef& row);
};
