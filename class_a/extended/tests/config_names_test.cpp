#include "extended/config_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "extended/dhcp_config_names.h"
#include "standard/exception.h"
#include "standard/general_ptr.h"

using nbx::CConfigNames;
using nbx::CException;
using nbx::familyKey;

namespace {

// The types a description may begin with.
const std::vector<std::string> kTypes = {"int",        "long",           "bool",   "boolean",
                                         "string",     "byte sequence",  "size_t", "time span",
                                         "expression", "name or address"};

// The type at the front of "type - explanation", or "" when the text has another form.
std::string typeOf(const std::string& description) {
    const std::size_t dash = description.find(" - ");
    if (dash == std::string::npos) return "";
    return description.substr(0, dash);
}

// "message | reason | function | module" of the CException that `call` throws.
template <class F>
std::string failure(F&& call) {
    try {
        call();
    } catch (CException& e) {
        return e.message().text() + " | " + e.reason().text() + " | " + e.function() + " | " +
               e.module();
    }
    return "<no exception>";
}

void expectWellFormed(const CConfigNames& names) {
    for (const auto& entry : names.names()) {
        SCOPED_TRACE(entry.first + ": " + entry.second);
        const std::string type = typeOf(entry.second);
        EXPECT_NE(std::find(kTypes.begin(), kTypes.end(), type), kTypes.end());
        const std::string explanation = entry.second.substr(type.size() + 3);
        ASSERT_GT(explanation.size(), 1u);
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(explanation.front())));
        EXPECT_EQ(explanation.back(), '.');
    }
}

// Framework keys with their types, as the framework documents them.
const char* kFrameworkTypes =
    "system.msg.locale string, system.msg.file string, system.shared_key string, system.index "
    "int, system.log.target.file string, system.log.target.rsyslog string, "
    "system.log.target.eventlog string, system.log.target.stdout string, system.log.synchronous "
    "bool, system.log.targets string, system.log.facility string, system.log.levels string, "
    "system.priv.chroot_path string, system.priv.uid int, system.priv.gid int, system.plugins "
    "string, rconsole.port int, rconsole.listen_on string, rconsole.db.shared_connections "
    "boolean, rconsole.encryption string, rconsole.password string, rconsole.private_key_file "
    "string, rconsole.force_commit_after_select bool, rconsole.commit_time_out long, "
    "rconsole.max_select_count long, udp_publisher.subscribers.file string, "
    "udp_publisher.max_history int, udp_publisher.latency string, "
    "system.db.soft_vs_hard_commit_ratio int, system.db.statements.file string, "
    "system.db.table_groups.file string, system.db.user_sql_queries.file string, "
    "system.db.user_sql_query_groups.file string, system.storage.path string, system.db.path "
    "string, system.db.name string, system.db.sync_queries boolean, system.db.hostname string, "
    "system.db.cache_buffers string, system.db.user string, system.db.password string, "
    "system.db.page_size string, system.db.schema.version int, system.db.versions_path string, "
    "system.db.secondary_files.count int, system.db.secondary_files.max_size int, ipv6.enable "
    "boolean";

const char* kPerFamilyShortKeys[] = {
    "reclaimer.interval", "engine.listen_on",   "sync.db.shared_connections", "sync.interval",
    "heartbeat.interval", "failover.listen_on", "lbalancer.local.ds",         "engine.def_port",
};

}  // namespace

TEST(ConfigNames, FamilyKeyWritesTheFamilyNumberTwice) {
    EXPECT_EQ(familyKey(4, "sync.interval"), "ipv4.dhcpv4.sync.interval");
    EXPECT_EQ(familyKey(6, "sync.interval"), "ipv6.dhcpv6.sync.interval");
    EXPECT_EQ(familyKey(6, "sync.db.shared_connections"), "ipv6.dhcpv6.sync.db.shared_connections");
}

TEST(ConfigNames, FrameworkTableHoldsEveryNameWithItsType) {
    CConfigNames names;
    EXPECT_EQ(names.names().size(), 47u);
    expectWellFormed(names);

    std::istringstream list(kFrameworkTypes);
    std::string item;
    std::size_t checked = 0;
    while (std::getline(list, item, ',')) {
        std::istringstream words(item);
        std::string key, type;
        words >> key >> type;
        SCOPED_TRACE(key);
        ASSERT_TRUE(names.names().has(key));
        EXPECT_EQ(typeOf(names.names().get(key)), type);
        ++checked;
    }
    EXPECT_EQ(checked, 47u);
}

TEST(ConfigNames, PublishedDescriptionsAreKeptWordForWord) {
    const std::pair<const char*, const char*> framework[] = {
        {"system.msg.locale",
         "string - A locale specifier for the system having the format "
         "[language[_territory][.codeset]. The default is en_us.utf8."},
        {"system.msg.file",
         "string - The path to a file containing translations for system messages. If not "
         "specified, messages are displayed in US English."},
        {"system.log.levels",
         "string - A list of names specifying the types of messages to log "
         "(error,warning,info,debug)."},
        {"system.log.targets",
         "string - A list of output devices for logging (stdout,eventlog,rsyslog,file)."},
        {"system.plugins", "string - A list of plugins this process should load."},
        {"ipv6.enable",
         "boolean - When true, the server's general communication subsystems will attempt to use "
         "ipv6 if available."},
        {"rconsole.port", "int - The default port the remote console should listen on."},
    };
    const std::pair<const char*, const char*> sync[] = {
        {"sync.interval",
         "int - The interval, in seconds, at which remote synchronization should occur."},
        {"heartbeat.interval",
         "int - The interval, in seconds, at which periodic heartbeat checks should be sent to "
         "synchronization targets."},
        {"sync.db.shared_connections",
         "boolean - When false, the synchronization threads use more memory but scale well "
         "across multiple cores. The default is false."},
    };
    for (unsigned family : {4u, 6u}) {
        CDHCPConfigNames names(family);
        for (const auto& name : framework) {
            SCOPED_TRACE(name.first);
            EXPECT_EQ(names.names().get(name.first), name.second);
        }
        for (const auto& name : sync) {
            SCOPED_TRACE(familyKey(family, name.first));
            EXPECT_EQ(names.names().get(familyKey(family, name.first)), name.second);
        }
    }
}

TEST(ConfigNames, DhcpTablesAddTheirNamesPerFamily) {
    for (unsigned family : {4u, 6u}) {
        SCOPED_TRACE(family);
        CDHCPConfigNames names(family);
        EXPECT_EQ(names.names().size(), 47u + 78u);
        expectWellFormed(names);

        const std::string own = familyKey(family, "");
        const std::string other = familyKey(family == 4 ? 6 : 4, "");
        std::size_t ownCount = 0;
        std::set<std::string> otherFamily;
        for (const auto& entry : names.names()) {
            if (entry.first.compare(0, own.size(), own) == 0) ++ownCount;
            if (entry.first.compare(0, 4, other.substr(0, 4)) == 0) otherFamily.insert(entry.first);
        }
        // 67 per-family names, plus the two IPv4 engine names that exist once for the server.
        EXPECT_EQ(ownCount, family == 4 ? 67u + 2u : 67u);
        const std::set<std::string> expectedOther =
            family == 4 ? std::set<std::string>{"ipv6.enable"}
                        : std::set<std::string>{"ipv4.dhcpv4.engine.client_id_generator",
                                                "ipv4.dhcpv4.engine.dynamic_bootp"};
        EXPECT_EQ(otherFamily, expectedOther);

        for (const char* shortKey : kPerFamilyShortKeys) {
            SCOPED_TRACE(shortKey);
            EXPECT_NO_THROW(names.validate(familyKey(family, shortKey)));
            EXPECT_FALSE(names.names().has(shortKey));
            EXPECT_FALSE(names.names().has(familyKey(family == 4 ? 6 : 4, shortKey)));
        }
        for (const char* serverKey : {"stats.sample_rate", "system.duid", "ddns.default_ttl"}) {
            EXPECT_NO_THROW(names.validate(serverKey));
        }
    }
}

TEST(ConfigNames, ValidateRefusesUnknownKeysAndIgnoresCase) {
    CDHCPConfigNames names(6);
    EXPECT_NO_THROW(names.validate("rconsole.port"));
    EXPECT_NO_THROW(names.validate("IPv6.DHCPv6.Sync.Interval"));
    for (const char* key : {"sync.interval", "ipv4.dhcpv4.sync.interval", "", "rconsole.port "}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(failure([&] { names.validate(key); }),
                  std::string("Cannot validate configuration key '") + key +
                      "'. | Unrecognized key. | CConfigNames::validate | extended");
    }
}

TEST(ConfigNames, OnlyAnApplicationProvidesASchemaNumber) {
    CConfigNames framework;
    EXPECT_EQ(failure([&] { framework.dbValueDefaultSchemaVersionNumber(); }),
              "Cannot provide a default database schema number. | Unknown application. | "
              "CConfigNames::dbValueDefaultSchemaVersionNumber | extended");
    CDHCPConfigNames dhcp(4);
    const CConfigNames& base = dhcp;
    EXPECT_EQ(base.dbValueDefaultSchemaVersionNumber(), 1u);
}

TEST(ConfigNames, UnknownFamilyIsRefused) {
    for (unsigned family : {0u, 5u, 46u}) {
        SCOPED_TRACE(family);
        EXPECT_EQ(failure([&] { CDHCPConfigNames names(family); }),
                  "Cannot create configuration names for protocol family " +
                      std::to_string(family) +
                      ". | Unknown protocol family. | CDHCPConfigNames::CDHCPConfigNames | "
                      "extended");
    }
}

TEST(ConfigNames, HeldBehindAMethodLockingPointer) {
    CDHCPConfigNames names(4);
    nbx::CGeneralPtr<CDHCPConfigNames, nbx::CMTNotOwnerPolicy, nbx::CMethodLockPolicy> pointer(
        &names);
    EXPECT_NO_THROW(pointer->validate("ipv4.dhcpv4.heartbeat.interval"));
    EXPECT_EQ(failure([&] { pointer->validate("nope"); }),
              "Cannot validate configuration key 'nope'. | Unrecognized key. | "
              "CConfigNames::validate | extended");
}
