#include "prst_generic/user_account.h"

#include <algorithm>

#include "oodb_persistence/prst_db_session.h"
#include "prst_generic/role.h"
#include "prst_generic/text_list.h"

const CPrstClassDef& CPrstUserAccount::classDef() {
    // "min_create_rights" follows "acl": it is checked against the roles just read.
    static const CPrstClassDef def =
        prst::accountDef("CPrstUserAccount", "user_account", "CPrstUserAccount::_set",
                         CPrstRole::classDef(), false)
            .field(prst::value<std::string>("pass", "PASS")
                       .read(&CPrstUserAccount::_readPassword)
                       .write(&CPrstUserAccount::_writePassword))
            .field(prst::value<std::string>("min_create_rights", "MIN_CREATE_RIGHTS")
                       .read(&CPrstUserAccount::_readMinCreateRights))
            .field(prst::domainMemberships());
    return def;
}

void CPrstUserAccount::_readPassword(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string value;
    if (map.get(row.key, value) && value != kPasswordMask) setPassword(value);
}

void CPrstUserAccount::_writePassword(nbx::CStringMap& map, const CPrstFieldDef& row) const {
    map.set(row.key, kPasswordMask);
}

void CPrstUserAccount::_readMinCreateRights(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string value;
    if (!map.get(row.key, value)) return;
    // The domains the user's roles grant rights on. A role that cannot be read grants none,
    // so without a session no domain may be named.
    std::vector<std::string> roles;
    std::vector<std::string> allowed;
    CPrstDBSession* session = context().session();
    if (session && session->isOpen()) {
        for (std::uint32_t id : acl()) {
            std::unique_ptr<CPrstRole> role = session->find<CPrstRole>(context().transaction(), id);
            if (!role) continue;
            roles.push_back(role->name());
            for (const std::string& domain : role->domains()) allowed.push_back(domain);
        }
    }
    const std::vector<std::string> entries = prst::splitList(value, true);
    for (const std::string& entry : entries) {
        const std::string domain = prst::trim(entry.substr(0, entry.find(':')));
        if (std::find(allowed.begin(), allowed.end(), domain) == allowed.end()) {
            _failWith(
                nbx::msg("Domain '%1' cannot be part of attribute 'min_create_rights'.", domain),
                nbx::msg("Domain must be a subset of the existing roles: '%1'.",
                         prst::joinList(roles)));
        }
    }
    put<std::string>(row.name, prst::joinList(entries));
}
