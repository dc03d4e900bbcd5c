#pragma once
// The names table: every configuration key the framework knows, with a typed description of the
// form "type - explanation" ("int - The default port the remote console should listen on.").
// It serves validation and documentation of the keys; the values live in CConfig.

#include <cstdint>
#include <string>

#include "standard/string_map.h"
#include "standard/sync.h"

namespace nbx {

// A key that exists once per protocol family: "ipv%u.dhcpv%u.%s" with the family number (4 or
// 6) in both places, so familyKey(6, "sync.interval") is "ipv6.dhcpv6.sync.interval".
std::string familyKey(unsigned family, const std::string& shortKey);

// Lockable so that the host can hold it, like CConfig, behind a method-locking pointer.
class CConfigNames : public CLockable {
public:
    struct Name {
        const char* key;
        const char* description;
    };

    // Registers the framework's own names. Keys compare without regard to case, as the host's
    // configuration does.
    CConfigNames();
    virtual ~CConfigNames();

    // The default database schema number of the running application. The framework alone is no
    // application: throws "Cannot provide a default database schema number." /
    // "Unknown application.".
    virtual std::uint32_t dbValueDefaultSchemaVersionNumber() const;

    // Throws "Cannot validate configuration key '%1'." / "Unrecognized key." for a key that is
    // not registered.
    void validate(const std::string& key) const;

    // Key -> description.
    const CStringMap& names() const { return m_names; }

protected:
    void _add(const std::string& key, const std::string& description);

private:
    CStringMap m_names;
};

}  // namespace nbx
