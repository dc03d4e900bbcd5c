#pragma once
// A full resend to one peer: every object of every class that the peer's filter accepts,
// written into the peer's spool as "add" records of exactly the form the receiver writes for a
// live change, so that the peer applies them as it applies those. A record carries the
// object's own OID and "mod_time": an object the peer already holds as it is here is a change
// with nothing to do, and a repeated resync is harmless.
//
// Runs on the receiver's thread, which owns the spools. Each class is read in pages of
// increasing OID, so memory does not grow with the number of objects.

#include <cstdint>
#include <string>
#include <vector>

#include "dhcp_plugin_api/sync_operations.h"
#include "receiver/sync_target.h"

class CPrstDBSession;
class CReceiverTLS;

class CResyncWriter {
public:
    static constexpr std::uint32_t kPageSize = 500;

    // The topics the receiver replicates, referenced classes before those that reference them.
    static const std::vector<std::string>& order();
    // The topics of `order()` that a peer with this filter takes here: bindings only where no
    // failover owns them.
    static std::vector<std::string> topicsFor(const CSyncTarget& target, bool failoverOwnsBindings);
    // The condition that selects the objects of `topic` of the session's own family variant
    // with an OID above `after` (0 for the first page).
    static std::string pageCondition(const CPrstDBSession& session, const std::string& topic,
                                     std::uint32_t after);

    // `state` is the receiver's, used on its thread only.
    explicit CResyncWriter(CReceiverTLS& state, std::uint32_t pageSize = kPageSize);

    // Unknown target: throws naming it. Told to stop meanwhile: throws, with what was written
    // left in the spool.
    CSyncResyncResult write(const std::string& target);
    CSyncResyncResult write(std::int32_t peerOid);

private:
    std::uint64_t _writeClass(std::int32_t peerOid, const std::string& topic,
                              const std::string& eventTime);

    CReceiverTLS& m_state;
    std::uint32_t m_pageSize;
};
