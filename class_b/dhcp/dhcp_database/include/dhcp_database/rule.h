#pragma once
// A rule (text class name "rule", table "rule"): a "condition" with the domains and roles it
// yields ("domains_result", "roles_result"), its priority "pri" and its "persist" flag. The
// condition is an expression of the server's expression language; the server evaluates it, this
// record keeps it and writes it as the text it was given (column type EXPR). "condition" is
// required: a rule without one has nothing to decide by.

#include <cstdint>
#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstRule : public CPersistentSecuredObject<CPrstRule> {
public:
    static const CPrstClassDef& classDef();

    const std::string& condition() const { return get<std::string>("condition"); }
    void setCondition(const std::string& v) { put<std::string>("condition", v); }
    const std::string& description() const { return get<std::string>("description"); }
    const std::string& domainsResult() const { return get<std::string>("domains_result"); }
    const std::string& rolesResult() const { return get<std::string>("roles_result"); }
    std::uint32_t priority() const { return get<std::uint32_t>("pri"); }
    void setPriority(std::uint32_t v) { put<std::uint32_t>("pri", v); }
    bool persist() const { return get<bool>("persist"); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }
    const CPrstDomainMemberships& domains() const { return get<CPrstDomainMemberships>("domains"); }
};
