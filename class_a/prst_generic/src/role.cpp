#include "prst_generic/role.h"

#include <algorithm>

#include "prst_generic/text_list.h"

const CPrstClassDef& CPrstRole::classDef() {
    static const CPrstClassDef def =
        CPrstClassDef("CPrstRole", "user_role", "user_role")
            .module(NBX_MODULE_TAG)
            .site("CPrstRole::_set")
            .failure("Failed to set a role record from text.")
            .field(prst::modTime())
            .field(prst::value<std::string>("name", "NAME").require())
            .field(prst::value<std::string>("groups", "GROUPS"))
            .field(prst::value<std::string>("capabilities", "CAPABILITIES")
                       .as(CPrstFieldType::kTextBlob)
                       .read(&CPrstRole::_readCapabilities))
            .field(prst::domainMemberships());
    return def;
}

std::vector<std::string> CPrstRole::domains() const {
    std::vector<std::string> domains;
    for (const std::string& entry : prst::splitList(capabilities(), true)) {
        const std::string domain = prst::trim(entry.substr(0, entry.find(':')));
        if (std::find(domains.begin(), domains.end(), domain) == domains.end()) {
            domains.push_back(domain);
        }
    }
    return domains;
}

void CPrstRole::_readCapabilities(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string value;
    if (!map.get(row.key, value)) return;
    const std::vector<std::string> entries = prst::splitList(value, true);
    for (const std::string& entry : entries) {
        const std::size_t colon = entry.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == entry.size()) {
            _fail(nbx::msg("Invalid value '%1' for key '%2'.", entry, row.key));
        }
    }
    put<std::string>(row.name, prst::joinList(entries));
}
