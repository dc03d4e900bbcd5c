#include "dhcp_database/prst_dhcp_options.h"

namespace prst {

CPrstFieldDef dhcpOptions() {
    return value<CPrstDHCPOptions>("options", "OPTIONS").as(CPrstFieldType::kCObject).textKey("");
}

std::string optionLines(const nbx::CStringMap& map) {
    std::string lines;
    for (const auto& entry : map) {
        if (CDHCPOptionStore::isOptionKey(entry.first)) {
            lines += entry.first + "=" + entry.second + "\n";
        }
    }
    return lines;
}

}  // namespace prst
