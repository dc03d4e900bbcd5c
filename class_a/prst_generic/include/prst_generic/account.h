#pragma once
// What device accounts ("account") and user accounts ("user_account") share: their keys and
// their access list.
//
// The access list ("acl") holds the OIDs of the account's access domains: domains for a
// device account, roles for a user account. It is written by the members' names, so that it
// means the same on another server, and read by name or by id:
//   - an item that names a member is that member;
//   - else a plain decimal number is an id: it must fit a domain id (signed 32 bits) and, when
//     the context has an open session, be the OID of a member ("Value '%1' is not a valid
//     domain ID.");
//   - else the item names nothing ("Value '%1' is not a valid domain name.");
//   - with the context's raw-ids flag every item must be a number ("Value '%1' is not a numeric
//     domain id.").
// Failures of the list read "Cannot set account record from text." at CPrstAccount::_setACLs.
// "reconfig_time" and "reprov_time" read as "0" when a text does not carry them.

#include <cstdint>
#include <string>
#include <vector>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

namespace prst {

// The declaration of an account class with the rows every account has, in reading order;
// the class adds its own rows and the "domains" row. `members` is the class of the access
// list's members; `classRequired` makes "class" a required key.
CPrstClassDef accountDef(const char* className, const char* textClassName, const char* site,
                         const CPrstClassDef& members, bool classRequired);

// The OIDs of a stored access list.
std::vector<std::uint32_t> aclIds(const std::string& stored);

}  // namespace prst

template <class T>
class CPrstAccount : public CPersistentSecuredObject<T> {
public:
    const std::string& name() const { return this->template get<std::string>("name"); }
    void setName(const std::string& name) { this->template put<std::string>("name", name); }
    bool enabled() const { return this->template get<bool>("enabled"); }
    void setEnabled(bool enabled) { this->template put<bool>("enabled", enabled); }
    const std::string& description() const {
        return this->template get<std::string>("description");
    }
    const std::string& accountClass() const { return this->template get<std::string>("class"); }
    const std::string& subscriberId() const {
        return this->template get<std::string>("subscriber_id");
    }
    const std::string& subscriptionId() const {
        return this->template get<std::string>("subscription_id");
    }
    std::uint32_t reconfigTime() const {
        return this->template get<std::uint32_t>("reconfig_time");
    }
    std::uint32_t reprovTime() const { return this->template get<std::uint32_t>("reprov_time"); }
    // The OIDs of the access list's members, in the order they were given.
    std::vector<std::uint32_t> acl() const {
        return prst::aclIds(this->template get<std::string>("acl"));
    }
};
