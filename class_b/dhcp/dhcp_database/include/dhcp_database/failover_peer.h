#pragma once
// A failover peer (text class name "failover_peer", table "failover_peer"): the partner server
// of a failover relationship. "session_id", "role" and "target" are required, each refused with
// a reason of its own ("Missing session ID number", "Missing failover role", "Missing target
// value"); every failure reads "Unable to set failover peer object.".

#include <cstdint>
#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"
#include "standard/time_t.h"

class CPrstFailoverPeer : public CPersistentSecuredObject<CPrstFailoverPeer> {
public:
    static const CPrstClassDef& classDef();

    const std::string& description() const { return get<std::string>("description"); }
    void setDescription(const std::string& v) { put<std::string>("description", v); }
    std::uint32_t sessionId() const { return get<std::uint32_t>("session_id"); }
    void setSessionId(std::uint32_t v) { put<std::uint32_t>("session_id", v); }
    const std::string& role() const { return get<std::string>("role"); }
    void setRole(const std::string& v) { put<std::string>("role", v); }
    const std::string& target() const { return get<std::string>("target"); }
    void setTarget(const std::string& v) { put<std::string>("target", v); }
    bool enabled() const { return get<bool>("enabled"); }
    void setEnabled(bool v) { put<bool>("enabled", v); }
    // Maximum client lead time, seconds.
    std::uint32_t mclt() const { return get<std::uint32_t>("mclt"); }
    void setMclt(std::uint32_t v) { put<std::uint32_t>("mclt", v); }
    std::uint32_t partnerDownDisconnectTimeout() const {
        return get<std::uint32_t>("partner_down_disconnect_timeout");
    }
    std::uint32_t partnerDownInitialConnectAttempts() const {
        return get<std::uint32_t>("partner_down_initial_connect_attempts");
    }
    std::uint32_t backupPercentage() const { return get<std::uint32_t>("backup_percentage"); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }
};
