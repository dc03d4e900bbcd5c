#include "oodb_persistence/prst_meta_entry.h"

std::string CPrstMetaEntry::string() const {
    return className + "[" + (complex ? "complex" : "simple") + "]";
}

CPrstMetaEntry CPrstMetaEntry::parse(const std::string& text) {
    CPrstMetaEntry entry;
    std::size_t open = text.find('[');
    if (open == std::string::npos) {
        entry.className = text;
        return entry;
    }
    entry.className = text.substr(0, open);
    std::size_t close = text.find(']', open + 1);
    std::string kind =
        text.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    entry.complex = kind == "complex";
    return entry;
}
