#include "dhcp_base/dhcp_option_store.h"

#include <nlohmann/json.hpp>

#include <sstream>

#include "standard/throw.h"

namespace {

constexpr const char* kModule = "dhcp_base";

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The JSON form can hold only UTF-8 text: an entry that it could not write is refused when it
// comes in, so that json() (the stored form of every record's options) never fails.
bool jsonText(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
    } catch (const nlohmann::json::type_error&) {
        return false;
    }
    return true;
}

}  // namespace

bool CDHCPOptionStore::isOptionKey(const std::string& key) {
    // "options" is the record key that carries the JSON form, not an option of its own.
    return (key.rfind("option", 0) == 0 || key.rfind("-option", 0) == 0) && key != "options";
}

void CDHCPOptionStore::add(const std::string& key, const std::string& value) {
    if (!isOptionKey(key)) {
        NBX_THROW(nbx::CException, kModule, "CDHCPOptionStore::add",
                  nbx::msg("Cannot add option '%1'.", key),
                  nbx::msg("An option key begins with 'option' or '-option'."));
    }
    if (!jsonText(key) || !jsonText(value)) {
        NBX_THROW(nbx::CException, kModule, "CDHCPOptionStore::add",
                  nbx::msg("Cannot add option '%1'.", key),
                  nbx::msg("The option is not UTF-8 text."));
    }
    m_entries.emplace(key, value);
}

void CDHCPOptionStore::set(const std::string& key, const std::string& value) {
    auto found = m_entries.find(key);
    if (found == m_entries.end() || !jsonText(value)) {
        add(key, value);  // refuses what the store cannot hold
    } else {
        found->second = value;
    }
}

bool CDHCPOptionStore::get(const std::string& key, std::string& value) const {
    auto found = m_entries.find(key);
    if (found == m_entries.end()) return false;
    value = found->second;
    return true;
}

std::size_t CDHCPOptionStore::erase(const std::string& key) {
    return m_entries.erase(key);
}

std::string CDHCPOptionStore::lines() const {
    std::string out;
    for (const auto& entry : m_entries) out += entry.first + "=" + entry.second + "\n";
    return out;
}

void CDHCPOptionStore::setLines(const std::string& text) {
    CDHCPOptionStore parsed;
    std::istringstream in(text);
    std::string line;
    unsigned int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (trimmed(line).empty()) continue;
        std::size_t equals = line.find('=');
        std::string key = trimmed(line.substr(0, equals));
        std::string value =
            equals == std::string::npos ? std::string() : trimmed(line.substr(equals + 1));
        if (!isOptionKey(key)) {
            NBX_THROW(nbx::CException, kModule, "CDHCPOptionStore::setLines",
                      nbx::msg("Cannot read options from text."),
                      nbx::msg("Line %1 is not an option: '%2'.", number, key));
        }
        if (!jsonText(line)) {
            NBX_THROW(nbx::CException, kModule, "CDHCPOptionStore::setLines",
                      nbx::msg("Cannot read options from text."),
                      nbx::msg("Line %1 is not UTF-8 text.", number));
        }
        parsed.m_entries.emplace(key, value);
    }
    m_entries.swap(parsed.m_entries);
}

std::string CDHCPOptionStore::json() const {
    nlohmann::json pairs = nlohmann::json::array();
    for (const auto& entry : m_entries) pairs.push_back({entry.first, entry.second});
    return pairs.dump();
}

void CDHCPOptionStore::setJson(const std::string& text) {
    nlohmann::json pairs = nlohmann::json::parse(text, nullptr, false);
    if (pairs.is_discarded() || !pairs.is_array()) {
        NBX_THROW(nbx::CException, kModule, "CDHCPOptionStore::setJson",
                  nbx::msg("Cannot read options from JSON text."),
                  nbx::msg("The text is not a JSON array."));
    }
    CDHCPOptionStore parsed;
    for (const nlohmann::json& pair : pairs) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string() ||
            !isOptionKey(pair[0].get<std::string>())) {
            NBX_THROW(nbx::CException, kModule, "CDHCPOptionStore::setJson",
                      nbx::msg("Cannot read options from JSON text."),
                      nbx::msg("Every element must be a pair of an option key and a text."));
        }
        parsed.m_entries.emplace(pair[0].get<std::string>(), pair[1].get<std::string>());
    }
    m_entries.swap(parsed.m_entries);
}

namespace {

// The mask as a 32-bit number; false when the text is not an IPv4 address.
bool maskBits(const std::string& value, nbx::CIPAddress& address, std::uint32_t& bits) {
    try {
        address.string(value);
    } catch (nbx::CException&) {
        return false;
    }
    if (!address.isV4()) return false;
    const unsigned char* raw = address.raw_addr();
    bits = (std::uint32_t(raw[0]) << 24) | (std::uint32_t(raw[1]) << 16) |
           (std::uint32_t(raw[2]) << 8) | std::uint32_t(raw[3]);
    return true;
}

}  // namespace

bool CDHCPOptionStore::subnetMask(nbx::CIPAddress& mask) const {
    std::string value;
    if (!get(kSubnetMaskKey, value)) return false;
    nbx::CIPAddress parsed;
    std::uint32_t bits = 0;
    // Contiguous: the inverted mask is a run of ones at the low end.
    if (!maskBits(value, parsed, bits) || ((~bits) & (~bits + 1)) != 0) {
        NBX_THROW(nbx::CException, kModule, "CDHCPOptionStore::subnetMask",
                  nbx::msg("Cannot read the subnet mask option."),
                  nbx::msg("Value '%1' is not an IPv4 subnet mask.", value));
    }
    mask = parsed;
    return true;
}

int CDHCPOptionStore::subnetMaskPrefixLength() const {
    nbx::CIPAddress mask;
    if (!subnetMask(mask)) return -1;
    int length = 0;
    for (std::size_t i = 0; i < mask.length(); ++i) {
        for (int bit = 7; bit >= 0; --bit) length += (mask.raw_addr()[i] >> bit) & 1;
    }
    return length;
}
