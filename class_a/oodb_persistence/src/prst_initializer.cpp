#include "oodb_persistence/prst_initializer.h"

#include <algorithm>

#include "extended/config.h"
#include "standard/exception_facade.h"

namespace {

constexpr CPrstClassEntry kGenericClasses[] = {
    {"CPrstSecuredObjectImpl", ""},
    {"CPrstDeviceAccount", "account"},
    {"CPrstUserAccount", "user_account"},
    {"CPrstDomain", "domain"},
    {"CPrstDomainGroup", "domain_group"},
    {"CPrstDeviceAccessControl", "access_control"},
    {"CPrstUserAccessControl", "user_access_control"},
    {"CPrstKeyValue", "keyvalue"},
    {"CPrstSample", "sample"},
    {"CPrstSQLQuery", "sql_query"},
    {"CPrstSQLQueryGroup", "sql_query_group"},
    {"CPrstSNMPQuery", "snmp_query"},
    {"CPrstSNMPQueryGroup", "snmp_query_group"},
    {"CPrstCapability", "capability"},
    {"CPrstRole", "user_role"},
};

// The pool marks are registered by class name only: their tables are reached through their
// pools ("POOL_OID") and the aliases "APM" and "NPM".
constexpr CPrstClassEntry kDHCPClasses[] = {
    {"CPrstPkt", "historical_packet"},
    {"CPolicyRecord", "policy"},
    {"CPrstOptionAttributes", "option"},
    {"CPrstVendorAttributes", "vendor_class"},
    {"CPrstAddressPool", "address_pool"},
    {"CPrstNetworkPool", "network_pool"},
    {"CPrstAddressBinding", "address_binding"},
    {"CPrstNetworkBinding", "network_binding"},
    {"CPrstAddressPending", "address_pending"},
    {"CPrstNetworkPending", "network_pending"},
    {"CPrstRule", "rule"},
    {"CPrstReplicatePeer", "replicate_peer"},
    {"CPrstFailoverPeer", "failover_peer"},
    {"CPrstAPoolMark", ""},
    {"CPrstNPoolMark", ""},
    {"CPrstFAddressBinding", "failover_address_binding"},
    {"CPrstFNetworkBinding", "failover_network_binding"},
};

struct Alias {
    const char* alias;
    const char* name;
};

constexpr Alias kGenericAliases[] = {
    {"T", "<Applies to current first-class object>"},
    {"D", "domain"},
    {"DG", "domain_group"},
    {"DN", "domain_name"},
    {"DM", "domain_memberships"},
    {"DID", "domain_id"},
    {"I", "ip_address"},
    {"SC", "secured_object"},
    {"A", "account"},
    {"AC", "access_control"},
    {"UA", "user_account"},
    {"UAC", "user_access_control"},
    {"KV", "keyvalue"},
    {"S", "sample"},
    {"SQ", "sql_query"},
    {"SQA", "sql_query_arguments"},
    {"SQT", "sql_query_target_classes"},
    {"SQG", "sql_query_group"},
    {"NQ", "snmp_query"},
    {"NQG", "snmp_query_group"},
    {"CP", "capability"},
    {"UR", "user_role"},
};

constexpr Alias kDHCPAliases[] = {
    {"AB", "address_binding"},
    {"NB", "network_binding"},
    {"AP", "address_pool"},
    {"NP", "network_pool"},
    {"P", "policy"},
    {"O", "option"},
    {"EA", "element_attributes"},
    {"IR", "address_range"},
    {"ER", "exclusive_address_range"},
    {"VC", "vendor_class"},
    {"APM", "address_pool_mark"},
    {"NPM", "network_pool_mark"},
    {"R", "rule"},
    {"RP", "replicate_peer"},
    {"FP", "failover_peer"},
    {"PP", "historical_packet"},
    {"FAB", "failover_address_binding"},
    {"FNB", "failover_network_binding"},
};

}  // namespace

void CPrstClassCatalog::add(const std::string& className, Registration registration) {
    m_registrations[className] = std::move(registration);
}

const CPrstClassCatalog::Registration* CPrstClassCatalog::find(const std::string& className) const {
    auto found = m_registrations.find(className);
    return found == m_registrations.end() ? nullptr : &found->second;
}

std::vector<CPrstClassEntry> CPrstGenericInitializer::classes() const {
    return std::vector<CPrstClassEntry>(std::begin(kGenericClasses), std::end(kGenericClasses));
}

nbx::CStringMap CPrstGenericInitializer::aliases() const {
    nbx::CStringMap map;
    for (const Alias& alias : kGenericAliases) map.set(alias.alias, alias.name);
    return map;
}

void CPrstGenericInitializer::init(const CPrstInitArgs& args) const {
    if (!args.registry || !args.catalog) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstGenericInitializer::init",
                  nbx::msg("Cannot execute persistent object initializer."),
                  nbx::msg("Internal error."));
    }
    _register(args);
}

void CPrstGenericInitializer::_register(const CPrstInitArgs& args) const {
    for (const CPrstClassEntry& entry : classes()) {
        if (!args.wanted.empty() && std::find(args.wanted.begin(), args.wanted.end(),
                                              entry.className) == args.wanted.end()) {
            continue;
        }
        const std::string textClassName = entry.textClassName;
        args.registry->addKnownTextClassName(textClassName);
        if (const CPrstClassCatalog::Registration* registration =
                args.catalog->find(entry.className)) {
            (*registration)(*args.registry, !textClassName.empty(), args.family);
        }
    }
}

std::vector<CPrstClassEntry> CPrstDHCPInitializer::classes() const {
    std::vector<CPrstClassEntry> list = CPrstGenericInitializer::classes();
    list.insert(list.end(), std::begin(kDHCPClasses), std::end(kDHCPClasses));
    return list;
}

nbx::CStringMap CPrstDHCPInitializer::aliases() const {
    nbx::CStringMap map = CPrstGenericInitializer::aliases();
    for (const Alias& alias : kDHCPAliases) map.set(alias.alias, alias.name);
    return map;
}

void CPrstDHCPInitializer::init(const CPrstInitArgs& args) const {
    if (!args.registry || !args.catalog) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDHCPInitializer::init",
                  nbx::msg("Cannot execute persistent object initializer."),
                  nbx::msg("Invalid arguments."));
    }
    if (args.family != 4 && args.family != 6) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDHCPInitializer::init",
                  nbx::msg("Cannot execute persistent object initializer."),
                  nbx::msg("Unknown protocol family."));
    }
    _register(args);
}

std::uint32_t CPrstDHCPInitializer::schemaVersion(const nbx::CConfig* config,
                                                  std::uint32_t application, nbx::CILogSink* sink) {
    const std::uint32_t configured =
        config ? config->getULong(kSchemaVersionKey, application) : application;
    if (configured != application && sink) {
        nbx::CMessage message =
            nbx::msg("Configured schema version %1 is overriding application schema version %2.",
                     configured, application);
        message.setModule(NBX_MODULE_TAG);
        sink->log(nbx::SEVERITY_WARNING, message);
    }
    return configured;
}

CPrstMetaAbstractFactory::CPrstMetaAbstractFactory(const CPrstGenericInitializer& initializer,
                                                   const CPrstInitArgs& args,
                                                   std::uint32_t schemaVersion)
    : m_aliases(initializer.aliases()), m_schemaVersion(schemaVersion) {
    CPrstInitArgs own = args;
    own.registry = &m_registry;
    initializer.init(own);
}

CPrstDHCPMetaAbstractFactory::CPrstDHCPMetaAbstractFactory(CPrstInitArgs args,
                                                           const nbx::CConfig* config,
                                                           std::uint32_t applicationSchemaVersion,
                                                           nbx::CILogSink* sink)
    : CPrstMetaAbstractFactory(
          CPrstDHCPInitializer(), args,
          CPrstDHCPInitializer::schemaVersion(config, applicationSchemaVersion, sink)) {}
