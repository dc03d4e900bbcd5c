#include "prst_generic/domain_name_id.h"

const CPrstClassDef& CPrstDomainNameID::classDef() {
    static const CPrstClassDef def =
        CPrstClassDef("CPrstDomainNameID", "domain_name", "domain_name")
            .module(NBX_MODULE_TAG)
            .site("CPrstDomainNameID::string")
            .failure("Cannot deserialize domain name-id from text.")
            .field(prst::value<std::string>("name", "NAME"))
            .field(prst::value<std::int32_t>("id", "DOMAIN_ID").as(CPrstFieldType::kDomainId));
    return def;
}

CPrstDomainNameID::CPrstDomainNameID(const std::string& name, std::int32_t id) {
    put<std::string>("name", name);
    put<std::int32_t>("id", id);
}

std::string CPrstDomainNameID::string() const {
    return name() + ":" + std::to_string(domainId());
}

bool CPrstDomainNameID::string(const std::string& text) {
    std::size_t colon = text.find(':');
    std::int32_t id = 0;
    bool good = colon != std::string::npos;
    if (good) {
        try {
            id = static_cast<std::int32_t>(
                prst::toNumber(text.substr(colon + 1), INT32_MIN, INT32_MAX));
        } catch (nbx::CException&) {
            good = false;
        }
    }
    if (!good) _fail(nbx::msg("Invalid format '%1'.", text));
    put<std::string>("name", text.substr(0, colon));
    put<std::int32_t>("id", id);
    return true;
}
