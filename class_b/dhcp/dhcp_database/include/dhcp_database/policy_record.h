#pragma once
// A policy (text class name "policy", table "policy"): a named set of options that pools and
// bindings refer to by name ("policies"), with its "enforce" flag (default false) and a
// description. "name" is required: a policy without one could not be referred to.

#include <string>

#include "dhcp_database/prst_dhcp_options.h"
#include "prst_generic/domain_memberships.h"

class CPolicyRecord : public CPrstDHCPOptionsRecord<CPolicyRecord> {
public:
    static const CPrstClassDef& classDef();

    const std::string& name() const { return get<std::string>("name"); }
    void setName(const std::string& v) { put<std::string>("name", v); }
    bool enforce() const { return get<bool>("enforce"); }
    void setEnforce(bool v) { put<bool>("enforce", v); }
    const std::string& description() const { return get<std::string>("description"); }
    void setDescription(const std::string& v) { put<std::string>("description", v); }
    nbx::CTimeT modTime() const { return get<nbx::CTimeT>("mod_time"); }
    const CPrstDomainMemberships& domains() const { return get<CPrstDomainMemberships>("domains"); }
};
