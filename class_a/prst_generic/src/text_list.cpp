#include "prst_generic/text_list.h"

#include "oodb_persistence/prst_abstract_factory.h"

namespace prst {

std::string trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> splitList(const std::string& text, bool skipEmpty) {
    std::vector<std::string> items;
    if (text.empty()) return items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = trim(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!item.empty() || !skipEmpty) items.push_back(item);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return items;
}

std::string joinList(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += ",";
        out += item;
    }
    return out;
}

std::vector<std::string> knownClassNames(const CPrstContext& context) {
    const CIPrstAbstractFactory* registry = context.registry();
    return registry ? registry->knownTextClassNames() : std::vector<std::string>();
}

bool isKnownClassName(const CPrstContext& context, const std::string& name) {
    const CIPrstAbstractFactory* registry = context.registry();
    return registry && registry->knowsTextClassName(name);
}

}  // namespace prst
