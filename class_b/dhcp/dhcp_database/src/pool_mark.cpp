#include "dhcp_database/pool_mark.h"

CPrstClassDef CPrstPoolMark::_declare(const char* className, const char* table) {
    return CPrstClassDef(className, table, table)
        .module(NBX_MODULE_TAG)
        .site(std::string(className) + "::_set")
        .failure("Cannot set apool mark record from text.")
        .field(prst::modTime())
        .field(
            prst::value<std::uint32_t>("pool_oid", "POOL_OID").as(CPrstFieldType::kLong).require())
        .field(
            prst::value<nbx::CIPAddress>("mark", "MARK").require().read(&CPrstPoolMark::_readMark))
        .field(
            prst::value<CPrstDomainMemberships>("domains", "DOMAINS").as(CPrstFieldType::kString));
}

const CPrstClassDef& CPrstAPoolMark::classDef() {
    static const CPrstClassDef def = _declare("CPrstAPoolMark", "address_pool_mark");
    return def;
}

const CPrstClassDef& CPrstNPoolMark::classDef() {
    static const CPrstClassDef def = _declare("CPrstNPoolMark", "network_pool_mark");
    return def;
}

void CPrstPoolMark::_readMark(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    // A mark is a place in the pool: the empty text (no address) is not one.
    const std::string text = map.get(row.key);
    nbx::CIPAddress mark;
    try {
        mark.string(text);
    } catch (nbx::CException&) {
        mark = nbx::CIPAddress();
    }
    if (mark.isUnknown()) _fail(nbx::msg("Invalid value '%1' for key '%2'.", text, row.key));
    setMark(mark);
}
