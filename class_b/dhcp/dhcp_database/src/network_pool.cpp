#include "dhcp_database/network_pool.h"

namespace {

constexpr const char* kPreSite = "CPrstNetworkPool::_preDeserialize";
constexpr const char* kPrefixSite = "CPrstNetworkPool::_setPrefixData";

}  // namespace

const CPrstClassDef& CPrstNetworkPool::classDef() {
    static const CPrstClassDef def =
        CPrstPool::_declare(CPrstClassDef("CPrstNetworkPool", "network_pool", "network_pool")
                                .module(NBX_MODULE_TAG)
                                .site("CPrstNetworkPool::_set")
                                .failure("Cannot set network pool record from text."),
                            {prst::value<std::uint16_t>("sub_prefix_len", "SUB_PREFIX_LEN")
                                 .read(&CPrstNetworkPool::_readElsewhere)});
    return def;
}

void CPrstNetworkPool::_preDeserialize(const nbx::CStringMap& map) {
    std::string text;
    if (!map.get("sub_prefix_len", text)) {
        _networkFail(nbx::msg("Missing '%1' key.", "sub_prefix_len"), kPreSite);
    }
    // Read before the range; the family, and with it the longest length, is known after it.
    const unsigned length = _lengthOf("sub_prefix_len", text, 128, kPreSite);
    CPrstPool::_preDeserialize(map);
    if (length > _familyBits()) {
        _networkFail(nbx::msg("Invalid value '%1' for key '%2'.", text, "sub_prefix_len"),
                     kPreSite);
    }
    setSubPrefixLen(length);
}

void CPrstNetworkPool::_setPrefixData(const nbx::CStringMap& map) {
    for (const char* key : {"prefix", "prefix_len"}) {
        if (!map.has(key)) _networkFail(nbx::msg("Missing '%1' key.", key), kPrefixSite);
    }
    CPrstPool::_setPrefixData(map);
    if (prefix().isUnknown()) {
        _networkFail(nbx::msg("Incorrect ip address type for key '%1'.", "prefix"), kPrefixSite);
    }
    if (subPrefixLen() < prefixLen()) {
        _networkFail(nbx::msg("Key 'sub_prefix_len' cannot be less than key 'prefix_len'."),
                     kPrefixSite);
    }
}
