#pragma once
// The key=value text carrier: an ordered multimap from key text to value text. It is the text
// form of every persistent object, of transaction-log records and of console responses.
//
// Written form: for every entry in key order, key "=" value and the separator (after the last
// entry too). There is no escaping: a value that holds the separator cannot be written
// faithfully, which is why the parser knows an optional quote character.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "standard/object.h"

namespace nbx {

class CStringMap : public CObject {
public:
    // Key order. Byte-wise (memcmp over the shorter length, then the shorter key first) or, for a
    // case-insensitive map, after toupper of every character, so that keys differing only in case
    // are equal.
    struct less_string {
        bool caseInsensitive = false;
        bool operator()(const std::string& a, const std::string& b) const;
    };

    using Map = std::multimap<std::string, std::string, less_string>;
    using iterator = Map::iterator;
    using const_iterator = Map::const_iterator;

    static constexpr const char* kDefaultSeparator = "\n";

    // Empty map: separator "\n", no quote character.
    explicit CStringMap(bool caseInsensitive = false);
    // Parses `text` at once (see string(const std::string&)).
    CStringMap(const std::string& text, const std::string& separator, char quote = 0,
               bool caseInsensitive = false);
    CStringMap(const CStringMap& other);
    CStringMap& operator=(const CStringMap& other);
    ~CStringMap() override;

    // Replaces the content with the entries of `text`. Accepts any text: it never fails and
    // always returns true.
    bool string(const std::string& text) override;
    // key "=" value separator, for every entry in key order.
    std::string string() const override;
    // wrapper key "=" value wrapper separator, for every entry in key order.
    std::string wrappedString(const std::string& wrapper) const;

    bool caseInsensitive() const { return m_map.key_comp().caseInsensitive; }
    const std::string& separator() const { return m_separator; }
    void setSeparator(const std::string& separator) { m_separator = separator; }
    char quote() const { return m_quote; }
    void setQuote(char quote) { m_quote = quote; }

    // Lookups find the first entry with the key (insertion order among equal keys).
    bool has(const std::string& key) const;
    // The first value of `key`, or missingValue(key) when there is none.
    std::string get(const std::string& key) const;
    // The first value of `key` into `value`; false (and `value` untouched) when there is none.
    bool get(const std::string& key, std::string& value) const;

    // Typed getters: the value (or missingValue for an absent key) converted. Integers are
    // decimal with an optional sign; blanks around the digits are tolerated, anything else
    // (including the empty text) throws CNumberConversionException "Cannot convert value '%1'
    // of key '%2' to a number." with the reason "Invalid number." or "Number out of range.".
    // The unsigned 32-bit getter takes back what its setter writes: "-1" is 4294967295.
    std::uint32_t getULong(const std::string& key) const;
    std::int32_t getLong(const std::string& key) const;
    std::uint16_t getUShort(const std::string& key) const;
    // "true", "yes", "1" and "false", "no", "0", in any letter case; anything else throws
    // CNumberConversionException "Cannot convert value '%1' of key '%2' to a boolean." with the
    // reason "Invalid boolean.".
    bool getBool(const std::string& key) const;

    // Typed setters overwrite the value of the first entry with the key, or add an entry.
    void set(const std::string& key, const std::string& value);
    void setBool(const std::string& key, bool value);  // "true" / "false"
    // The 32-bit value written as a signed 32-bit decimal: 4294967295 is "-1".
    void setULong(const std::string& key, std::uint32_t value);
    void setLong(const std::string& key, std::int32_t value);
    void setUShort(const std::string& key, std::uint16_t value);

    // Always adds an entry, after the entries with an equal key.
    iterator insert(const std::string& key, const std::string& value);
    // Removes every entry with the key; returns how many there were.
    std::size_t erase(const std::string& key);
    void clear() { m_map.clear(); }

    std::size_t size() const { return m_map.size(); }
    bool empty() const { return m_map.empty(); }
    iterator begin() { return m_map.begin(); }
    iterator end() { return m_map.end(); }
    const_iterator begin() const { return m_map.begin(); }
    const_iterator end() const { return m_map.end(); }
    const Map& entries() const { return m_map; }

protected:
    // Text used for an absent key by get and the typed getters. Derived maps override it to
    // supply defaults or to refuse missing keys.
    virtual std::string missingValue(const std::string& key) const;

    // Conversions of the typed getters, for derived readers that throw under their own site.
    // `value` must be in [min, max]; the result is the decimal number.
    std::int64_t _toNumber(const std::string& key, const std::string& value, std::int64_t min,
                           std::int64_t max, const char* module, const char* function) const;
    bool _toBool(const std::string& key, const std::string& value, const char* module,
                 const char* function) const;

private:
    void _parse(const std::string& text);
    void _addToken(std::string token);

    Map m_map;
    std::string m_separator;
    char m_quote = 0;
};

}  // namespace nbx
