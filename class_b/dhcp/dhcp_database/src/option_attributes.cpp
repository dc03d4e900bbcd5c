#include "dhcp_database/option_attributes.h"

namespace {

bool blank(const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

}  // namespace

CPrstClassDef CPrstOptionAttributes::_declare(CPrstClassDef def) {
    using S = std::string;
    using U = std::uint32_t;
    using Self = CPrstOptionAttributes;
    return def.field(prst::modTime())
        .field(prst::value<S>("name", "NAME").read(&Self::_readSetting))
        .field(prst::value<S>("type", "TYPE").read(&Self::_readSetting))
        .field(prst::value<S>("tagpath", "TAGPATH").read(&Self::_readSetting))
        .field(prst::value<U>("max_instances", "MAX_INSTANCES").read(&Self::_readData))
        .field(prst::value<S>("class", "CLASS"))
        .field(prst::value<S>("description", "DESCRIPTION"))
        .field(prst::value<S>("default_value", "DEFAULT_VALUE"))
        .field(prst::value<S>("user_definable", "USER_DEFINABLE", "allowed")
                   .read(&Self::_readUserDefinable))
        .field(prst::value<S>("allowed", "ALLOWED"))
        .field(prst::value<U>("vendor_id", "VENDOR_ID").read(&Self::_readData))
        .field(prst::value<bool>("vendor_oro", "VENDOR_ORO").read(&Self::_readData))
        .field(prst::value<U>("context_vendor_id", "CONTEXT_VENDOR_ID").read(&Self::_readData))
        .field(prst::value<S>("input_type_encoding_value", "INPUT_TYPE_ENCODING_VALUE"))
        .field(prst::value<S>("output_type_encoding_value", "OUTPUT_TYPE_ENCODING_VALUE"))
        .field(prst::value<S>("fixed_offsets", "FIXED_OFFSETS")
                   .as(CPrstFieldType::kFixedOffset)
                   .read(&Self::_readFixedOffsets))
        .field(
            prst::value<CPrstDomainMemberships>("domains", "DOMAINS").as(CPrstFieldType::kString));
}

const CPrstClassDef& CPrstOptionAttributes::classDef() {
    static const CPrstClassDef def =
        _declare(CPrstClassDef("CPrstOptionAttributes", "option", "option")
                     .module(NBX_MODULE_TAG)
                     .site("CPrstOptionAttributes::_set")
                     .failure("Failed to set an option record from text."));
    return def;
}

void CPrstOptionAttributes::_invalidData() const {
    _failWith(nbx::msg("Invalid data for option %1.", name()),
              nbx::msg("Invalid option attribute data."));
}

void CPrstOptionAttributes::_readSetting(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string text;
    if (!map.get(row.key, text) || blank(text)) {
        _fail(nbx::msg("An option type definition must include a '%1' setting.", row.key));
    }
    put<std::string>(row.name, text);
}

void CPrstOptionAttributes::_readData(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string text;
    if (!map.get(row.key, text)) return;
    try {
        attr(row.name).setText(*this, text);
    } catch (nbx::CException&) {
        _invalidData();
    }
}

void CPrstOptionAttributes::_readFixedOffsets(const nbx::CStringMap& map,
                                              const CPrstFieldDef& row) {
    std::string text;
    if (!map.get(row.key, text)) return;
    std::size_t start = 0;
    while (!blank(text)) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? comma : comma - start);
        try {
            prst::toNumber(item, 0, UINT32_MAX);
        } catch (nbx::CException&) {
            _invalidData();
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    put<std::string>(row.name, text);
}

void CPrstOptionAttributes::_readUserDefinable(const nbx::CStringMap& map,
                                               const CPrstFieldDef& row) {
    std::string text;
    if (!map.get(row.key, text)) return;
    if (text != "allowed" && text != "required" && text != "disallowed") {
        _failWith(nbx::msg("Cannot deserialize 'user_definable' value '%1'.", text),
                  nbx::msg("Illegal value."));
    }
    put<std::string>(row.name, text);
}
