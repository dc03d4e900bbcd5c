#pragma once
// Compares, class by class, this host's objects with a replication peer's, as seen through the
// peer's console ("list <topic>" with "after" and "limit", with the peer record's credentials).
//
// Both sides come in increasing OID order, a page at a time (the peer's page block by block as
// it arrives), and are merged as they come: this host holds one local page and one of the
// peer's objects, the peer one page, whatever the number of objects. Texts are compared without
// "oid", "mod_time" (equal content with another time is no drift) and masked values (passwords
// never travel, so they cannot be compared).
//
// Runs on the calling thread, with a database session of its own.

#include <cstdint>
#include <map>
#include <string>

#include "dhcp_plugin_api/host_services.h"
#include "dhcp_plugin_api/sync_operations.h"
#include "standard/protocol_family.h"
#include "standard/string_map.h"

class CDriftReporter {
public:
    // Objects per page, here and on the peer.
    static constexpr std::uint32_t kPageSize = 1000;

    CDriftReporter(CIHostServices& services, const CProtocolFamily& family,
                   std::uint32_t pageSize = kPageSize);

    // A target that is no peer throws naming it. A peer that cannot be reached or goes away
    // gives a report with `complete` false and the reason.
    CSyncDriftReport compare(const std::string& target);

    // The keys whose values differ, comma-separated in key order, leaving out the keys
    // comparison ignores; empty when the texts are equal.
    static std::string differingFields(const nbx::CStringMap& local, const nbx::CStringMap& peer);

private:
    CIHostServices& m_services;
    CProtocolFamily m_family;
    std::uint32_t m_pageSize;
};
