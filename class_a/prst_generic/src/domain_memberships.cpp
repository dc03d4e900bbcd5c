#include "prst_generic/domain_memberships.h"

std::string CPrstDomainMemberships::string() const {
    std::string out;
    for (const CPrstDomainNameID& member : m_members) {
        if (!out.empty()) out += ",";
        out += member.string();
    }
    return out;
}

bool CPrstDomainMemberships::string(const std::string& text) {
    std::vector<CPrstDomainNameID> members;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::size_t first = item.find_first_not_of(" \t");
        if (first != std::string::npos) {
            item = item.substr(first, item.find_last_not_of(" \t") - first + 1);
            CPrstDomainNameID member;
            member.string(item);
            members.push_back(member);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    m_members.swap(members);
    return true;
}

namespace prst {

CPrstFieldDef domainMemberships() {
    return value<CPrstDomainMemberships>("domains", "DOMAINS").as(CPrstFieldType::kString);
}

}  // namespace prst
