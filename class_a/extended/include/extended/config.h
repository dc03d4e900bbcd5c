#pragma once
// The server's configuration: key=value texts read by key. The host holds it through a
// CGeneralPtr with CMethodLockPolicy, so every call through that pointer is serialised.

#include <cstdint>
#include <string>

#include "standard/string_map.h"
#include "standard/sync.h"

namespace nbx {

class CConfig : public CStringMap, public CLockable {
public:
    // The host's configuration compares keys without regard to case.
    explicit CConfig(bool caseInsensitive = false);
    CConfig(const std::string& text, const std::string& separator, char quote = 0,
            bool caseInsensitive = false);

    using CStringMap::getBool;
    using CStringMap::getLong;
    using CStringMap::getULong;
    using CStringMap::getUShort;

    // Typed reads with a default. A present value that is not empty (blanks aside) is converted
    // as a decimal number; a bad number or one outside the type's range throws
    // CNumberConversionException. An absent key or an empty value gives the default, so a reader
    // that passes its current value keeps it.
    std::uint32_t getULong(const std::string& key, std::uint32_t defaultValue) const;
    std::uint16_t getUShort(const std::string& key, std::uint16_t defaultValue) const;
    std::int32_t getLong(const std::string& key, std::int32_t defaultValue) const;
    // "true"/"yes"/"1" or "false"/"no"/"0" in any case; another word throws
    // CNumberConversionException. Absent or empty: the default.
    bool getBool(const std::string& key, bool defaultValue) const;
    // The first value of the key as it stands (even empty); the default when the key is absent.
    std::string getString(const std::string& key, const std::string& defaultValue) const;

private:
    // The value of a present, non-blank key into `value`.
    bool _value(const std::string& key, std::string& value) const;
};

}  // namespace nbx
