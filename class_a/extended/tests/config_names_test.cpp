#include "extended/config_names.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "extended/dhcp_config_names.h"
#include "testing/failure.h"

using nbx::CConfigNames;
using nbx::familyKey;

TEST(ConfigNames, FrameworkTableAndFamilyKeys) {
    EXPECT_EQ(familyKey(4, "sync.interval"), "ipv4.dhcpv4.sync.interval");
    EXPECT_EQ(familyKey(6, "sync.db.shared_connections"), "ipv6.dhcpv6.sync.db.shared_connections");
    CConfigNames names;
    EXPECT_EQ(names.names().size(), 47u);
    for (const char* key : {"system.shared_key", "system.index", "rconsole.commit_time_out"}) {
        EXPECT_NO_THROW(names.validate(key));
    }
}

TEST(ConfigNames, DhcpTablesAddTheirNamesPerFamily) {
    for (unsigned family : {4u, 6u}) {
        SCOPED_TRACE(family);
        CDHCPConfigNames names(family);
        EXPECT_EQ(names.names().size(), 47u + 78u);

        const std::string own = familyKey(family, "");
        const std::string other = familyKey(family == 4 ? 6 : 4, "").substr(0, 4);
        std::size_t ownCount = 0;
        std::set<std::string> otherFamily;
        for (const auto& entry : names.names()) {
            if (entry.first.compare(0, own.size(), own) == 0) ++ownCount;
            if (entry.first.compare(0, 4, other) == 0) otherFamily.insert(entry.first);
        }
        // 67 per-family names, plus the two IPv4 engine names that exist once for the server.
        EXPECT_EQ(ownCount, family == 4 ? 67u + 2u : 67u);
        using Keys = std::set<std::string>;
        const Keys expectedOther = family == 4 ? Keys{"ipv6.enable"}
                                               : Keys{"ipv4.dhcpv4.engine.client_id_generator",
                                                      "ipv4.dhcpv4.engine.dynamic_bootp"};
        EXPECT_EQ(otherFamily, expectedOther);
        for (const char* shortKey : {"reclaimer.interval", "engine.listen_on", "sync.interval",
                                     "lbalancer.local.ds", "engine.def_port"}) {
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

TEST(ConfigNames, RefusesUnknownKeysFamiliesAndApplications) {
    CDHCPConfigNames names(6);
    EXPECT_NO_THROW(names.validate("rconsole.port"));
    EXPECT_NO_THROW(names.validate("IPv6.DHCPv6.Sync.Interval"));  // case is ignored
    const auto unknown = [&](const std::string& key) {
        return std::pair<std::function<void()>, std::string>(
            [&names, key] { names.validate(key); },
            "Cannot validate configuration key '" + key +
                "'. | Unrecognized key. | CConfigNames::validate");
    };
    const auto family = [](unsigned number) {
        return std::pair<std::function<void()>, std::string>(
            [number] { CDHCPConfigNames refused(number); },
            "Cannot create configuration names for protocol family " + std::to_string(number) +
                ". | Unknown protocol family. | CDHCPConfigNames::CDHCPConfigNames");
    };
    const std::pair<std::function<void()>, std::string> cases[] = {
        unknown("sync.interval"),  // a short key is known only under its family's prefix
        unknown("ipv4.dhcpv4.sync.interval"),  // the other family's key
        family(5),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        const nbx::testing::Failure f = nbx::testing::failure(c.first);
        EXPECT_EQ(f.text() + " | " + f.function, c.second);
        EXPECT_EQ(f.module, "extended");
    }
}
