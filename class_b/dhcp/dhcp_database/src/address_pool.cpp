#include "dhcp_database/address_pool.h"

CPrstClassDef CPrstAddressPool::_declare(const char* className) {
    return CPrstPool::_declare(CPrstClassDef(className, "address_pool", "address_pool")
                                   .module(NBX_MODULE_TAG)
                                   .site("CPrstAddressPool::_set")
                                   .failure("Cannot set address pool record from text."),
                               {});
}

const CPrstClassDef& CPrstAddressPool4::classDef() {
    static const CPrstClassDef def = CPrstAddressPool::_declare("CPrstAddressPool4");
    return def;
}

const CPrstClassDef& CPrstAddressPool6::classDef() {
    static const CPrstClassDef def = CPrstAddressPool::_declare("CPrstAddressPool6");
    return def;
}

void CPrstAddressPool::setSubPrefixLen(unsigned length) {
    if (length == subPrefixLen()) return;
    _failWith(
        nbx::msg("Unable to set sub-prefix length."),
        nbx::msg("The sub-prefix length is fixed at %1 for address bindings.", subPrefixLen()),
        "CPrstAddressPool::setSubPrefixLen");
}

void CPrstAddressPool::_preDeserialize(const nbx::CStringMap& map) {
    // A network pool's text given to an address pool is refused rather than cut down.
    std::string text;
    if (map.get("sub_prefix_len", text)) setSubPrefixLen(_lengthOf("sub_prefix_len", text, 0xFFFF));
    CPrstPool::_preDeserialize(map);
}

void CPrstAddressPool::_settlePrefixLength(const nbx::CStringMap& map) {
    const bool given = map.has("prefix_len");
    if (family() == 6) {
        if (!given) _fail(nbx::msg("Missing '%1' key.", "prefix_len"));
        return;
    }
    int maskLength = -1;
    try {
        maskLength = options().subnetMaskPrefixLength();
    } catch (nbx::CException& e) {
        _fail(e.reason());
    }
    if (!given) {
        if (maskLength < 0) _fail(nbx::msg("Missing 'prefix_len' key or subnet mask option."));
        put<std::uint16_t>("prefix_len", static_cast<std::uint16_t>(maskLength));
    } else if (maskLength >= 0 && static_cast<unsigned>(maskLength) != prefixLen()) {
        _fail(nbx::msg("Key 'prefix_len' is not consistent with the specified subnet mask."));
    }
}
