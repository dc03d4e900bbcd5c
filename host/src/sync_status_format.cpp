#include "host/sync_status_format.h"

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

#include "standard/throw.h"

namespace host {

namespace {

using json = nlohmann::json;

constexpr const char* kModule = NBX_MODULE_TAG;
constexpr std::uint64_t kDefaultStallSeconds = 300;

const char* const kStates[] = {"connecting", "replaying",     "idle",
                               "disabled",   "login refused", "unreachable"};

std::string number(std::uint64_t value) {
    return std::to_string(value);
}

const char* kindText(CSyncDriftReport::Kind kind) {
    switch (kind) {
        case CSyncDriftReport::Kind::kMissingOnPeer:
            return "missing on peer";
        case CSyncDriftReport::Kind::kMissingHere:
            return "missing here";
        case CSyncDriftReport::Kind::kDiffers:
            break;
    }
    return "differs";
}

nbx::CStringMap peerBlock(const CSyncPeerStatus& peer) {
    nbx::CStringMap block;
    block.set("peer", peer.target);
    block.set("family", std::to_string(peer.family));
    block.set("state", peer.state);
    block.set("backlog_logs", number(peer.backlogLogs));
    block.set("backlog_records", number(peer.backlogRecords));
    block.set("backlog_bytes", number(peer.backlogBytes));
    block.set("oldest_age", number(peer.oldestAgeSeconds));
    block.set("last_success", utcText(peer.lastSuccess));
    block.set("last_progress", utcText(peer.lastProgress));
    block.set("last_failure", utcText(peer.lastFailure));
    block.set("last_failure_text", peer.lastFailureText);
    block.set("acknowledged", number(peer.acknowledged));
    block.set("conflicts", number(peer.conflicts));
    block.set("rejected", number(peer.rejected));
    block.set("reconnects", number(peer.reconnects));
    return block;
}

json timeJson(std::int64_t seconds) {
    return seconds == 0 ? json() : json(utcText(seconds));
}

// Label values escape the backslash, the double quote and the line feed.
std::string labelValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

class MetricsWriter {
public:
    void family(const char* name, const char* type, const char* help) {
        m_out += std::string("# HELP ") + name + ' ' + help + '\n';
        m_out += std::string("# TYPE ") + name + ' ' + type + '\n';
        m_name = name;
    }
    void sample(const std::string& labels, std::uint64_t value) {
        m_out += m_name + '{' + labels + "} " + std::to_string(value) + '\n';
    }
    std::string text() const { return m_out; }

private:
    std::string m_out;
    std::string m_name;
};

std::string peerLabels(const CSyncPeerStatus& peer) {
    return "peer=\"" + labelValue(peer.target) + "\",family=\"" + std::to_string(peer.family) + '"';
}

}  // namespace

std::string utcText(std::int64_t seconds) {
    if (seconds == 0) return "never";
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[32];
    if (!::gmtime_r(&time, &parts) ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0) {
        return std::to_string(seconds);
    }
    return text;
}

std::vector<CSyncStatus> readSyncStatus(const CSyncOperationsAccess& access) {
    std::vector<CSyncStatus> all;
    for (int family : access.families()) {
        access.use(family, [&](CIDHCPSyncOperations* operations) {
            if (operations) all.push_back(operations->status());
        });
    }
    if (all.empty()) {
        NBX_THROW_STATIC(nbx::CException, kModule, "readSyncStatus",
                         nbx::msg("Cannot report the replication status."),
                         nbx::msg("No sync plug-in is loaded."));
    }
    return all;
}

std::vector<nbx::CStringMap> statusBlocks(const std::vector<CSyncStatus>& status) {
    std::vector<nbx::CStringMap> blocks;
    std::size_t peers = 0;
    for (const CSyncStatus& family : status) {
        for (const CSyncPeerStatus& peer : family.peers) {
            blocks.push_back(peerBlock(peer));
            ++peers;
        }
    }
    for (const CSyncStatus& family : status) {
        nbx::CStringMap block;
        block.set("receiver", std::to_string(family.receiver.family));
        block.set("records_written", number(family.receiver.recordsWritten));
        block.set("events_dropped", number(family.receiver.eventsDropped));
        blocks.push_back(block);
    }
    nbx::CStringMap last;
    last.set("code", "ack");
    last.set("peers", number(peers));
    blocks.push_back(last);
    return blocks;
}

std::vector<nbx::CStringMap> resyncBlocks(const std::string& target,
                                          const CSyncResyncResult& result) {
    std::vector<nbx::CStringMap> blocks;
    std::uint64_t total = 0;
    for (const auto& written : result.written) {
        nbx::CStringMap block;
        block.set("topic", written.first);
        block.set("written", number(written.second));
        blocks.push_back(block);
        total += written.second;
    }
    nbx::CStringMap last;
    last.set("code", "ack");
    last.set("peer", target);
    last.set("written", number(total));
    blocks.push_back(last);
    return blocks;
}

std::vector<nbx::CStringMap> driftBlocks(const std::string& target,
                                         const CSyncDriftReport& report) {
    std::vector<nbx::CStringMap> blocks;
    for (const auto& counts : report.classes) {
        nbx::CStringMap block;
        block.set("topic", counts.topic);
        block.set("local", number(counts.local));
        block.set("peer", number(counts.peer));
        block.set("missing_on_peer", number(counts.missingOnPeer));
        block.set("missing_here", number(counts.missingHere));
        block.set("differing", number(counts.differing));
        blocks.push_back(block);
    }
    for (const auto& difference : report.differences) {
        nbx::CStringMap block;
        block.set("difference", kindText(difference.kind));
        block.set("topic", difference.topic);
        block.set("oid", std::to_string(difference.oid));
        block.set("name", difference.name);
        if (difference.kind == CSyncDriftReport::Kind::kDiffers) {
            block.set("fields", difference.fields);
        }
        blocks.push_back(block);
    }
    nbx::CStringMap last;
    last.set("code", "ack");
    last.set("peer", target);
    last.set("differences", number(report.differences.size()));
    last.set("complete", report.complete ? "yes" : "no");
    if (!report.complete) {
        last.set("message", report.incompleteReason.empty()
                                ? std::string("The comparison stopped early.")
                                : report.incompleteReason);
    }
    blocks.push_back(last);
    return blocks;
}

std::string statusJson(const std::vector<CSyncStatus>& status) {
    json families = json::array();
    for (const CSyncStatus& family : status) {
        json peers = json::array();
        for (const CSyncPeerStatus& peer : family.peers) {
            peers.push_back({
                {"peer", peer.target},
                {"family", peer.family},
                {"state", peer.state},
                {"backlog_logs", peer.backlogLogs},
                {"backlog_records", peer.backlogRecords},
                {"backlog_bytes", peer.backlogBytes},
                {"oldest_age", peer.oldestAgeSeconds},
                {"last_success", timeJson(peer.lastSuccess)},
                {"last_progress", timeJson(peer.lastProgress)},
                {"last_failure", timeJson(peer.lastFailure)},
                {"last_failure_text", peer.lastFailureText},
                {"acknowledged", peer.acknowledged},
                {"conflicts", peer.conflicts},
                {"rejected", peer.rejected},
                {"reconnects", peer.reconnects},
            });
        }
        families.push_back({{"family", family.receiver.family},
                            {"receiver",
                             {{"records_written", family.receiver.recordsWritten},
                              {"events_dropped", family.receiver.eventsDropped}}},
                            {"peers", peers}});
    }
    // Replacing bad UTF-8 rather than throwing: a peer's failure text is not ours to trust.
    return json{{"families", families}}.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string metricsText(const std::vector<CSyncStatus>& status) {
    MetricsWriter out;
    using Field = std::uint64_t CSyncPeerStatus::*;
    const struct {
        const char* name;
        const char* type;
        const char* help;
        Field field;
    } peerMetrics[] = {
        {"nbx_sync_commands_acknowledged_total", "counter",
         "Commands the peer acknowledged since the plug-in started.",
         &CSyncPeerStatus::acknowledged},
        {"nbx_sync_conflicts_total", "counter",
         "Commands the peer answered as conflicts since the plug-in started.",
         &CSyncPeerStatus::conflicts},
        {"nbx_sync_commands_rejected_total", "counter",
         "Commands the peer rejected since the plug-in started.", &CSyncPeerStatus::rejected},
        {"nbx_sync_reconnects_total", "counter",
         "Connections to the peer opened again since the plug-in started.",
         &CSyncPeerStatus::reconnects},
        {"nbx_sync_backlog_logs", "gauge", "Closed spool logs waiting to be replayed.",
         &CSyncPeerStatus::backlogLogs},
        {"nbx_sync_backlog_records", "gauge", "Records waiting to be replayed.",
         &CSyncPeerStatus::backlogRecords},
        {"nbx_sync_backlog_bytes", "gauge", "Bytes waiting to be replayed.",
         &CSyncPeerStatus::backlogBytes},
        {"nbx_sync_backlog_oldest_age_seconds", "gauge",
         "Age of the oldest record waiting to be replayed.", &CSyncPeerStatus::oldestAgeSeconds},
    };
    for (const auto& metric : peerMetrics) {
        out.family(metric.name, metric.type, metric.help);
        for (const CSyncStatus& family : status)
            for (const CSyncPeerStatus& peer : family.peers)
                out.sample(peerLabels(peer), peer.*metric.field);
    }
    using Time = std::int64_t CSyncPeerStatus::*;
    const struct {
        const char* name;
        const char* help;
        Time field;
    } timeMetrics[] = {
        {"nbx_sync_last_success_timestamp_seconds", "When the peer last took a command (0: never).",
         &CSyncPeerStatus::lastSuccess},
        {"nbx_sync_last_progress_timestamp_seconds",
         "When the peer was last in step or took a command (0: never).",
         &CSyncPeerStatus::lastProgress},
        {"nbx_sync_last_failure_timestamp_seconds", "When the peer last failed (0: never).",
         &CSyncPeerStatus::lastFailure},
    };
    for (const auto& metric : timeMetrics) {
        out.family(metric.name, "gauge", metric.help);
        for (const CSyncStatus& family : status)
            for (const CSyncPeerStatus& peer : family.peers)
                out.sample(peerLabels(peer), static_cast<std::uint64_t>(
                                                 std::max<std::int64_t>(peer.*metric.field, 0)));
    }
    out.family("nbx_sync_peer_state", "gauge", "1 for the state the peer's publisher is in.");
    for (const CSyncStatus& family : status) {
        for (const CSyncPeerStatus& peer : family.peers) {
            for (const char* state : kStates) {
                out.sample(peerLabels(peer) + ",state=\"" + state + '"', peer.state == state);
            }
        }
    }
    out.family("nbx_sync_receiver_records_written_total", "counter",
               "Records the receiver wrote into the spools since the plug-in started.");
    for (const CSyncStatus& family : status) {
        out.sample("family=\"" + std::to_string(family.receiver.family) + '"',
                   family.receiver.recordsWritten);
    }
    out.family("nbx_sync_receiver_events_dropped_total", "counter",
               "Events the receiver dropped since the plug-in started.");
    for (const CSyncStatus& family : status) {
        out.sample("family=\"" + std::to_string(family.receiver.family) + '"',
                   family.receiver.eventsDropped);
    }
    return out.text();
}

std::vector<std::string> stalledPeers(const std::vector<CSyncStatus>& status,
                                      const std::map<int, std::uint64_t>& stallSeconds,
                                      std::int64_t now, std::int64_t since) {
    std::vector<std::string> stalled;
    for (const CSyncStatus& family : status) {
        auto found = stallSeconds.find(family.receiver.family);
        const std::int64_t limit = static_cast<std::int64_t>(
            found == stallSeconds.end() ? kDefaultStallSeconds : found->second);
        for (const CSyncPeerStatus& peer : family.peers) {
            if (peer.state == "disabled") continue;
            const std::int64_t from = peer.lastProgress != 0 ? peer.lastProgress : since;
            if (now - from > limit) {
                stalled.push_back(peer.target + " (IPv" + std::to_string(peer.family) + ")");
            }
        }
    }
    return stalled;
}

}  // namespace host
