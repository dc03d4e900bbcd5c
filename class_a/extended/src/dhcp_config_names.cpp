#include "extended/dhcp_config_names.h"

#include "standard/throw.h"

namespace {

constexpr const char* kModule = "extended";

using Name = nbx::CConfigNames::Name;

// Names that exist once for the server, whatever the family.
const Name kServerNames[] = {
    {"stats.shared_connections",
     "boolean - When false, the statistics threads use more memory but scale well across "
     "multiple cores. The default is false."},
    {"stats.sample_rate", "time span - The interval at which statistics samples are taken."},
    {"stats.retention_age", "time span - How long statistics samples are kept."},
    {"ddns.default_server",
     "name or address - The DNS server that receives dynamic DNS updates when no other is "
     "given."},
    {"ddns.default_ttl",
     "int - The time to live, in seconds, of the records added by dynamic DNS updates."},
    {"system.limits.max_open_files",
     "int - The largest number of files the server may hold open at once."},
    {"ipv4.dhcpv4.engine.client_id_generator",
     "expression - An expression that computes the client identifier of a DHCPv4 client."},
    {"system.misc.snmp_ext_dll", "string - The path to the SNMP extension library."},
    {"system.misc.arp_helper_dll",
     "string - The path to the library that probes addresses with ARP requests."},
    {"ipv4.dhcpv4.engine.dynamic_bootp",
     "boolean - When true, BOOTP clients may be given addresses from dynamic pools."},
    {"system.duid", "byte sequence - The DHCP unique identifier of this server."},
};

// Names that exist once per protocol family, by their short keys.
const Name kFamilyNames[] = {
    {"reclaimer.interval", "time span - The interval at which expired leases are reclaimed."},
    {"reclaimer.markers.enable",
     "boolean - When true, the reclaimer marks the records of the leases it has reclaimed."},
    {"reclaimer.select_count",
     "int - The number of expired leases that the reclaimer selects at a time."},
    {"reclaimer.db.shared_connections",
     "boolean - When false, the reclaimer threads use more memory but scale well across "
     "multiple cores. The default is false."},
    {"reclaimer.thread_count", "int - The number of reclaimer threads."},
    {"reclaimer.min_inactive_days",
     "int - The number of days a lease must have been inactive before it is reclaimed."},
    {"reclaimer.lead_time",
     "time span - How long before their expiry leases are considered by the reclaimer."},
    {"reclaimer.lease_tolerance",
     "time span - How long after its expiry a lease is kept before it is reclaimed."},
    {"engine.delete_on_release",
     "boolean - When true, a released lease is deleted instead of being kept as released."},
    {"engine.match_local_segment_pools",
     "boolean - When true, requests received directly on an interface are matched only with the "
     "pools of the local segment."},
    {"engine.max_dg_rcv", "int - The largest number of datagrams received in one pass."},
    {"engine.pendings.max_age",
     "time span - How long an offered address stays reserved for the client's request."},
    {"engine.deny_ras", "boolean - When true, requests from remote access servers are refused."},
    {"options.specfile", "string - The path to a file defining the DHCP options."},
    {"vendors.specfile", "string - The path to a file defining the vendor classes."},
    {"engine.authoritative",
     "boolean - When true, the server refuses requests for addresses that it does not know."},
    {"engine.listen_on",
     "string - A list of interfaces or addresses the DHCP engine should listen on."},
    {"engine.def_port", "int - The port the DHCP engine should listen on."},
    {"mprovisioner.account_name.primary",
     "string - The name of the primary account used for provisioning."},
    {"mprovisioner.account_name.secondary",
     "string - The name of the secondary account used for provisioning."},
    {"mprovisioner.auto_provision.domains.create",
     "boolean - When true, provisioning creates the domains that do not exist yet."},
    {"mprovisioner.prioritize_accounts",
     "boolean - When true, accounts are provisioned in the order of their priority."},
    {"mprovisioner.auto_provision.domains.priority",
     "int - The priority given to the domains that provisioning creates."},
    {"engine.pendings.garbage_interval",
     "time span - The interval at which expired address offers are removed."},
    {"engine.private_server", "boolean - When true, the server answers only the clients it knows."},
    {"engine.max_applicable_policies",
     "int - The largest number of policies applied to one request."},
    {"pktstore.packet_types", "string - A list of the packet types that the packet store keeps."},
    {"pktstore.commit_count",
     "int - The number of packets that the packet store writes in one transaction."},
    {"lq.options.allowed", "string - A list of the options that a lease query may ask for."},
    {"lq.sources.allowed", "string - A list of the addresses that lease queries are taken from."},
    {"engine.thread_count", "int - The number of DHCP engine threads."},
    {"engine.db.shared_connections",
     "boolean - When false, the DHCP engine threads use more memory but scale well across "
     "multiple cores. The default is false."},
    {"pktstore.thread_count", "int - The number of packet store threads."},
    {"pktstore.db.shared_connections",
     "boolean - When false, the packet store threads use more memory but scale well across "
     "multiple cores. The default is false."},
    {"sync.db.shared_connections",
     "boolean - When false, the synchronization threads use more memory but scale well across "
     "multiple cores. The default is false."},
    {"sync.interval",
     "int - The interval, in seconds, at which remote synchronization should occur."},
    {"heartbeat.interval",
     "int - The interval, in seconds, at which periodic heartbeat checks should be sent to "
     "synchronization targets."},
    {"snmp.db.shared_connections",
     "boolean - When false, the SNMP threads use more memory but scale well across multiple "
     "cores. The default is false."},
    {"failover.listen_on",
     "name or address - The address on which the failover service listens for its peers."},
    {"reclaimer.session_ids",
     "string - A list of the session ids whose leases the reclaimer handles."},
    {"failover.promote_availability",
     "boolean - When true, the addresses of a peer known to be down become available to this "
     "server."},
    {"reclaimer.transients_max_ttl",
     "time span - How long transient records are kept before the reclaimer removes them."},
    {"failover.shutdown_file",
     "string - The path to a file in which the failover state is kept over a shutdown."},
    {"failover.session.init_file",
     "string - The path to a file from which failover sessions are initialized."},
    {"failover.session.reset_file",
     "string - The path to a file whose presence resets the failover sessions."},
    {"failover.poolreq.interval",
     "time span - The interval at which a backup server asks its peer for addresses."},
    {"failover.max_primary_delay",
     "time span - How long the primary server may be late with its updates."},
    {"failover.tcp_connect_timeout",
     "time span - How long to wait for the connection to a failover peer."},
    {"failover.tcp_congestion_timeout",
     "time span - How long a congested failover connection is tolerated before it is closed."},
    {"failover.bison.debug",
     "boolean - When true, the failover message parser writes debugging output."},
    {"failover.max_bndupd_size", "size_t - The largest size, in bytes, of one binding update."},
    {"failover.max_bndupds_buffered",
     "size_t - The largest number of binding updates buffered for a peer."},
    {"failover.max_bndupds_cached",
     "size_t - The largest number of binding updates kept in the cache."},
    {"failover.max_prst_objs_cached",
     "size_t - The largest number of records kept in the failover cache."},
    {"failover.max_wait_bndupd_time",
     "time span - How long a binding update waits for its acknowledgement."},
    {"failover.max_pkt_jitter",
     "time span - The largest variation in packet timing tolerated between failover peers."},
    {"failover.backup_max",
     "int - The largest number of addresses a backup server holds for one pool."},
    {"failover.backup_total_max",
     "int - The largest number of addresses a backup server holds in all."},
    {"failover.backup_request_timeout",
     "time span - How long to wait for the answer to a request for backup addresses."},
    {"failover.receive_timer",
     "time span - How long a failover connection may stay silent before it is taken as broken."},
    {"failover.recover_timer", "time span - How long a server stays in the recover state."},
    {"failover.bndupd_resend_timer",
     "time span - The interval after which an unacknowledged binding update is sent again."},
    {"failover.startup_timer",
     "time span - How long a server waits in the startup state before it resumes its previous "
     "state."},
    {"failover.force_updreqall",
     "boolean - When true, a server asks its peer for all binding updates whenever it "
     "connects."},
    {"lbalancer.pair.hba",
     "string - The hash bucket assignment of the load-balanced pair of servers."},
    {"lbalancer.local.hba", "string - The hash bucket assignment of this server."},
    {"lbalancer.local.ds",
     "string - The service identifier of this server within its load-balanced pair."},
};

}  // namespace

CDHCPConfigNames::CDHCPConfigNames(unsigned family) : m_family(family) {
    if (family != 4 && family != 6) {
        NBX_THROW(nbx::CException, kModule, "CDHCPConfigNames::CDHCPConfigNames",
                  nbx::msg("Cannot create configuration names for protocol family %1.", family),
                  nbx::msg("Unknown protocol family."));
    }
    for (const Name& name : kServerNames) _add(name.key, name.description);
    for (const Name& name : kFamilyNames) {
        _add(nbx::familyKey(family, name.key), name.description);
    }
}

CDHCPConfigNames::~CDHCPConfigNames() {}

std::uint32_t CDHCPConfigNames::dbValueDefaultSchemaVersionNumber() const {
    return kDefaultSchemaVersion;
}
