#pragma once
// The initializers: which persistent classes the system has, in which order they register, and
// the table aliases of the statement files. The lists are data; a class that a build does not
// provide is simply not registered. Modules that provide classes add them to a class catalogue
// (prst_generic: the generic classes, dhcp_database: the DHCP classes); the initializer runs the
// registrations of the listed classes that the caller wants and the catalogue holds.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "oodb_persistence/prst_abstract_factory.h"
#include "standard/string_map.h"

namespace nbx {
class CConfig;
class CILogSink;
}  // namespace nbx

// One listed class. An empty text class name: registered by class name only.
struct CPrstClassEntry {
    const char* className;
    const char* textClassName;
};

// Class name -> the registration of that class.
class CPrstClassCatalog {
public:
    // Registers the class for a protocol family (4 or 6): a class with address-family variants
    // registers the variant of the family.
    using Registration =
        std::function<void(CIPrstAbstractFactory&, bool byTextName, unsigned family)>;

    template <class T>
    void add() {
        add(T::classDef().className(), [](CIPrstAbstractFactory& registry, bool byTextName,
                                          unsigned) { registry.registerClass<T>(byTextName); });
    }
    void add(const std::string& className, Registration registration);
    const Registration* find(const std::string& className) const;

private:
    std::map<std::string, Registration> m_registrations;
};

struct CPrstInitArgs {
    CIPrstAbstractFactory* registry = nullptr;
    const CPrstClassCatalog* catalog = nullptr;
    // Class names the caller wants; empty: every listed class.
    std::vector<std::string> wanted;
    unsigned family = 4;  // protocol family of the DHCP classes
};

class CPrstGenericInitializer {
public:
    virtual ~CPrstGenericInitializer() = default;
    // The listed classes in registration order.
    virtual std::vector<CPrstClassEntry> classes() const;
    // Alias -> text class name or table, for the statement files.
    virtual nbx::CStringMap aliases() const;
    // For each listed class that is wanted: its text class name becomes known to the registry
    // and, when the catalogue holds the class, its registration runs. Missing registry or
    // catalogue: "Cannot execute persistent object initializer." / "Internal error.".
    virtual void init(const CPrstInitArgs& args) const;

protected:
    void _register(const CPrstInitArgs& args) const;
};

class CPrstDHCPInitializer : public CPrstGenericInitializer {
public:
    // Application schema version used when the configuration names none.
    static constexpr const char* kSchemaVersionKey = "system.db.schema.version";

    std::vector<CPrstClassEntry> classes() const override;
    nbx::CStringMap aliases() const override;
    // "Cannot execute persistent object initializer." with "Invalid arguments." (no registry or
    // catalogue) or "Unknown protocol family." (a family other than 4 and 6).
    void init(const CPrstInitArgs& args) const override;

    // The schema version in force: "system.db.schema.version" from the configuration, else the
    // application's. A configured value that differs is reported to `sink` as "Configured
    // schema version %1 is overriding application schema version %2." (warning).
    static std::uint32_t schemaVersion(const nbx::CConfig* config, std::uint32_t application,
                                       nbx::CILogSink* sink);
};

// Owns the registry and the aliases of one database (the meta abstract factory).
class CPrstMetaAbstractFactory {
public:
    CPrstMetaAbstractFactory(const CPrstGenericInitializer& initializer, const CPrstInitArgs& args,
                             std::uint32_t schemaVersion);
    virtual ~CPrstMetaAbstractFactory() = default;

    CIPrstAbstractFactory& registry() { return m_registry; }
    const CIPrstAbstractFactory& registry() const { return m_registry; }
    const nbx::CStringMap& aliases() const { return m_aliases; }
    std::uint32_t schemaVersion() const { return m_schemaVersion; }

private:
    CIPrstAbstractFactory m_registry;
    nbx::CStringMap m_aliases;
    std::uint32_t m_schemaVersion;
};

// The DHCP meta factory: the schema version from the configuration, then the DHCP classes.
class CPrstDHCPMetaAbstractFactory : public CPrstMetaAbstractFactory {
public:
    // `args.registry` is ignored: the factory's own registry is filled.
    CPrstDHCPMetaAbstractFactory(CPrstInitArgs args, const nbx::CConfig* config,
                                 std::uint32_t applicationSchemaVersion, nbx::CILogSink* sink);
};
