#pragma once
// A replication peer (text class name "replicate_peer", table "nbx_rep_peers"): a remote server
// to which the local configuration changes are replicated.
//
// Its console password never leaves it in text: "console_pass" is always written as the mask
// "**********", and the mask on input keeps the stored password.

#include <cstdint>
#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CIPrstAbstractFactory;

class CPrstReplicatePeer : public CPersistentSecuredObject<CPrstReplicatePeer> {
public:
    static constexpr const char* kPasswordMask = "**********";
    // Host setting that supplies the console password of a peer with neither console user nor
    // password of its own.
    static constexpr const char* kDefaultPasswordKey = "sync.console.default_password";

    static const CPrstClassDef& classDef();

    const std::string& description() const { return get<std::string>("description"); }
    void setDescription(const std::string& v) { put<std::string>("description", v); }
    const std::string& target() const { return get<std::string>("target"); }
    void setTarget(const std::string& v) { put<std::string>("target", v); }
    const std::string& logDir() const { return get<std::string>("logdir"); }
    void setLogDir(const std::string& v) { put<std::string>("logdir", v); }
    const std::string& classes() const { return get<std::string>("classes"); }
    void setClasses(const std::string& v) { put<std::string>("classes", v); }
    const std::string& consoleUser() const { return get<std::string>("console_user"); }
    void setConsoleUser(const std::string& v) { put<std::string>("console_user", v); }
    // The stored password (never written in the text form).
    const std::string& consolePass() const { return get<std::string>("console_pass"); }
    void setConsolePass(const std::string& v) { put<std::string>("console_pass", v); }
    bool enabled() const { return get<bool>("enabled"); }
    void setEnabled(bool v) { put<bool>("enabled", v); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }
    const CPrstDomainMemberships& domains() const { return get<CPrstDomainMemberships>("domains"); }

    // Sets the record from its text form. Every failure throws with module "dhcp_database" and
    // site "CPrstReplicatePeer::string" and leaves the fields set so far as they are.
    void set(const std::string& text) { string(text); }

    // The password to log in to the peer's console: the stored one when there is a console
    // user or a stored password, else the host's default (kDefaultPasswordKey in the
    // configuration of the record's context; empty when there is none).
    std::string consolePassword() const;

    // The class-list check: every comma-separated item, blanks and "!" stripped from its front,
    // is a text class name that `registry` knows, "*" or "all"; an empty list passes. Returns
    // false at the first item that does not pass.
    static bool classListValid(const std::string& classes, const CIPrstAbstractFactory* registry);

private:
    void _readClasses(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readLogDir(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readPassword(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _writePassword(nbx::CStringMap& map, const CPrstFieldDef& row) const;
    void _readEnabled(const nbx::CStringMap& map, const CPrstFieldDef& row);
};
