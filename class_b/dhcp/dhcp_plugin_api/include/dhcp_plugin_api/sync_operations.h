#pragma once
// What a sync plug-in shows and does for an operator, per protocol instance: the state of every
// replication peer, a full resend of the current objects to one peer, and a comparison of the
// local objects with a peer's. A plug-in that implements "CIDHCPSyncOperations" returns this
// interface from baseInstance; it stays valid until the matching release.
//
// Every operation may be called from any thread of the host, also while the plug-in replicates.
// Failures throw nbx::CException; their reason is what the operator is told.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One peer of one protocol instance as its publisher last published itself. Times are UTC
// seconds since the epoch, 0 for never.
struct CSyncPeerStatus {
    std::string target;
    int family = 4;
    // "connecting", "replaying", "idle", "disabled", "login refused" or "unreachable".
    std::string state;
    // The spool's closed logs waiting to be replayed, the records and bytes in them, and the
    // age in seconds of the oldest waiting record (0 without any).
    std::uint64_t backlogLogs = 0;
    std::uint64_t backlogRecords = 0;
    std::uint64_t backlogBytes = 0;
    std::uint64_t oldestAgeSeconds = 0;
    std::int64_t lastSuccess = 0;
    std::int64_t lastFailure = 0;
    std::string lastFailureText;
    // The last time the peer was in step or took a command: what a stall is measured from.
    std::int64_t lastProgress = 0;
    // Since the plug-in started.
    std::uint64_t acknowledged = 0;
    std::uint64_t conflicts = 0;
    std::uint64_t rejected = 0;
    std::uint64_t reconnects = 0;
};

// The instance's receiver since the plug-in started.
struct CSyncReceiverStatus {
    int family = 4;
    std::uint64_t recordsWritten = 0;
    std::uint64_t eventsDropped = 0;
};

struct CSyncStatus {
    CSyncReceiverStatus receiver;
    std::vector<CSyncPeerStatus> peers;  // in target order
};

// What a resync wrote into the peer's spool: per class, in the order written, the objects.
struct CSyncResyncResult {
    std::vector<std::pair<std::string, std::uint64_t>> written;
};

// The local objects against the peer's, class by class.
struct CSyncDriftReport {
    struct ClassCounts {
        std::string topic;
        std::uint64_t local = 0;
        std::uint64_t peer = 0;
        std::uint64_t missingOnPeer = 0;
        std::uint64_t missingHere = 0;
        std::uint64_t differing = 0;
    };
    enum class Kind { kMissingOnPeer, kMissingHere, kDiffers };
    struct Difference {
        std::string topic;
        std::int32_t oid = 0;
        std::string name;
        Kind kind = Kind::kDiffers;
        // For kDiffers: the keys whose values differ, comma-separated.
        std::string fields;
    };
    std::vector<ClassCounts> classes;
    std::vector<Difference> differences;
    // False when the comparison stopped early (the peer went away): the counts and
    // differences cover only what was compared, and `incompleteReason` says why.
    bool complete = true;
    std::string incompleteReason;
};

class CIDHCPSyncOperations {
public:
    static constexpr const char* kInterfaceName = "CIDHCPSyncOperations";

    virtual ~CIDHCPSyncOperations() = default;
    // Never waits for a publisher: each publishes a snapshot of itself.
    virtual CSyncStatus status() = 0;
    // Writes every object of every class that the peer's filter accepts into its spool as an
    // "add" record, referenced classes first. Throws for a target that is no peer.
    virtual CSyncResyncResult resync(const std::string& target) = 0;
    // Lists every class the peer's filter accepts here and on the peer (with the peer's
    // credentials) and compares them. Throws for a target that is no peer.
    virtual CSyncDriftReport drift(const std::string& target) = 0;
};
