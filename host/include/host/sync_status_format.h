#pragma once
// How the sync plug-in's operator data reads outside: console response blocks, the JSON of the
// HTTP endpoint's /status and the Prometheus text of its /metrics. One place, so that the three
// carry the same names.
//
// Console blocks (keys in the map's order; times in UTC as "2026-01-31T12:00:00Z", "never"):
//   status  one block per peer and family: peer, family, state, backlog_logs, backlog_records,
//           backlog_bytes, oldest_age (seconds), last_success, last_progress, last_failure,
//           last_failure_text, acknowledged, conflicts, rejected, reconnects; one block per
//           family: receiver (the family), records_written, events_dropped; code=ack, peers=<n>
//   resync  one block per class: topic, written; code=ack, peer, written=<total>
//   drift   one block per class: topic, local, peer, missing_on_peer, missing_here, differing;
//           one per difference: difference (missing on peer, missing here, differs), topic,
//           oid, name, fields (the keys that differ); code=ack, peer, differences=<n>,
//           complete=yes/no and, when incomplete, message=<why>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dhcp_plugin_api/sync_operations.h"
#include "host/sync_operations_access.h"
#include "standard/string_map.h"

namespace host {

// The status of every family that has operations, in family order. Throws "Cannot report the
// replication status." with "No sync plug-in is loaded." when none has; a plug-in's failure
// passes through.
std::vector<CSyncStatus> readSyncStatus(const CSyncOperationsAccess& access);

std::vector<nbx::CStringMap> statusBlocks(const std::vector<CSyncStatus>& status);
std::vector<nbx::CStringMap> resyncBlocks(const std::string& target,
                                          const CSyncResyncResult& result);
std::vector<nbx::CStringMap> driftBlocks(const std::string& target, const CSyncDriftReport& report);

// {"families":[{"family":4,"receiver":{...},"peers":[{...}]}]}, with the console's keys.
std::string statusJson(const std::vector<CSyncStatus>& status);
// The counters and gauges of every peer and receiver, labelled by peer and family.
std::string metricsText(const std::vector<CSyncStatus>& status);

// The enabled peers ("<target> (IPv<family>)") that made no progress within their family's
// stall time (`stallSeconds` by family; 300 for a family not in it) at `now`. A peer that never
// made progress is measured from `since`.
std::vector<std::string> stalledPeers(const std::vector<CSyncStatus>& status,
                                      const std::map<int, std::uint64_t>& stallSeconds,
                                      std::int64_t now, std::int64_t since);

// "never" for 0, else the UTC time as "2026-01-31T12:00:00Z".
std::string utcText(std::int64_t seconds);

}  // namespace host
