#pragma once
// The DHCP options a record carries (pools, bindings, packets), as the records need them: kept,
// written and read back faithfully, with no wire encoding.
//
// An option is an entry whose key begins with "option" (an option set on the record, e.g.
// "option-routers") or "-option" (an option removed from what the record inherits); the key
// "options" itself is the record key of the JSON form, never an option. Entries are
// kept in key order, equal keys in insertion order: the order in which a record's text lists
// them, so a record written and read back gives the same store.
//
// Two text forms:
//   lines  "key=value\n" per entry (appended to a record's own text);
//   JSON   an array of [key, value] pairs (the record's "options" value when the DHCP context
//          asks for JSON options).

#include <cstdint>
#include <map>
#include <string>

#include "standard/ip_address.h"

class CDHCPOptionStore {
public:
    using Entries = std::multimap<std::string, std::string>;

    // The option that gives an IPv4 pool its subnet mask.
    static constexpr const char* kSubnetMaskKey = "option-subnet-mask";

    static bool isOptionKey(const std::string& key);

    bool empty() const { return m_entries.empty(); }
    std::size_t size() const { return m_entries.size(); }
    void clear() { m_entries.clear(); }
    const Entries& entries() const { return m_entries; }

    // Appends an entry (equal keys are all kept). Throws for a key that is not an option key
    // and for a key or value that is not UTF-8 text (the JSON form could not hold it).
    void add(const std::string& key, const std::string& value);
    // Replaces the value of the first entry with the key, or adds one.
    void set(const std::string& key, const std::string& value);
    bool get(const std::string& key, std::string& value) const;
    std::size_t erase(const std::string& key);

    std::string lines() const;
    // Replaces the store by the entries of `text`; blank lines are skipped. A line whose key is
    // not an option key, or that is not UTF-8 text, is refused and the store keeps its previous
    // entries.
    void setLines(const std::string& text);

    std::string json() const;
    // Replaces the store by the pairs of a JSON text; malformed JSON or a pair that is not two
    // strings with an option key is refused and the store keeps its previous entries.
    void setJson(const std::string& text);

    // The subnet-mask option as an IPv4 address; false when the store has none. Throws when its
    // value is not an IPv4 address or not a contiguous mask.
    bool subnetMask(nbx::CIPAddress& mask) const;
    // Prefix length of the subnet-mask option; -1 when the store has none.
    int subnetMaskPrefixLength() const;

    bool operator==(const CDHCPOptionStore& other) const { return m_entries == other.m_entries; }

private:
    Entries m_entries;
};
