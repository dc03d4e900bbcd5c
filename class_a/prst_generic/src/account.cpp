#include "prst_generic/account.h"

#include <algorithm>

#include "oodb_persistence/oid_translator.h"
#include "oodb_persistence/prst_db_session.h"
#include "prst_generic/text_list.h"

namespace {

constexpr const char* kACLSite = "CPrstAccount::_setACLs";
constexpr const char* kACLFailure = "Cannot set account record from text.";

bool digitsOnly(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

[[noreturn]] void aclFail(const CPrstUserBase& self, nbx::CMessage reason) {
    self._failWith(nbx::CMessage(kACLFailure), std::move(reason), kACLSite);
}

// Without an open session there is nothing to ask, and an id is taken as it is (as
// COIDTranslator takes a number it cannot look up).
bool memberExists(const CPrstUserBase& self, const CPrstClassDef& members, std::uint32_t oid) {
    CPrstDBSession* session = self.context().session();
    if (!session || !session->isOpen()) return true;
    return (*session)[members.textClassName()].findByOID(self.context().transaction(), oid) !=
           nullptr;
}

std::uint32_t resolve(const CPrstUserBase& self, const CPrstClassDef& members,
                      const std::string& item) {
    std::uint32_t oid = 0;
    if (self.context().rawIds()) {
        if (!digitsOnly(item))
            aclFail(self, nbx::msg("Value '%1' is not a numeric domain id.", item));
        if (item.size() > 10) aclFail(self, nbx::msg("Value '%1' is not a valid domain ID.", item));
        oid = static_cast<std::uint32_t>(std::stoull(item));
    } else {
        try {
            oid = CPrstOIDTranslatorBase(self.contextPtr(), members).toOID(item, true);
        } catch (nbx::CException&) {
            aclFail(self, digitsOnly(item)
                              ? nbx::msg("Value '%1' is not a valid domain ID.", item)
                              : nbx::msg("Value '%1' is not a valid domain name.", item));
        }
    }
    // Domain ids are signed 32-bit values.
    if (oid > INT32_MAX || !memberExists(self, members, oid)) {
        aclFail(self, nbx::msg("Value '%1' is not a valid domain ID.", item));
    }
    return oid;
}

void readACL(CPrstUserBase& self, const CPrstClassDef& members, const nbx::CStringMap& map,
             const CPrstFieldDef& row) {
    std::string value;
    if (!map.get(row.key, value)) return;
    std::vector<std::string> ids;
    for (const std::string& item : prst::splitList(value, true)) {
        const std::string id = std::to_string(resolve(self, members, item));
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    self.put<std::string>(row.name, prst::joinList(ids));
}

void writeACL(const CPrstUserBase& self, const CPrstClassDef& members, nbx::CStringMap& map,
              const CPrstFieldDef& row) {
    const CPrstOIDTranslatorBase translator(self.contextPtr(), members);
    std::vector<std::string> names;
    for (std::uint32_t id : prst::aclIds(self.get<std::string>(row.name))) {
        names.push_back(translator._toName(id, false));
    }
    map.set(row.key, prst::joinList(names));
}

}  // namespace

namespace prst {

CPrstClassDef accountDef(const char* className, const char* textClassName, const char* site,
                         const CPrstClassDef& members, bool classRequired) {
    const CPrstClassDef* memberDef = &members;
    CPrstFieldDef accountClass = value<std::string>("class", "CLASS");
    if (classRequired) accountClass.require();
    return CPrstClassDef(className, textClassName, textClassName)
        .module(NBX_MODULE_TAG)
        .site(site)
        .failure("Failed to set an account record from text.")
        .field(modTime())
        .field(value<std::string>("name", "NAME").require())
        .field(value<bool>("enabled", "ENABLED", true))
        .field(value<std::string>("description", "DESCRIPTION"))
        .field(value<std::string>("acl", "ACL")
                   .as(CPrstFieldType::kTextBlob)
                   .read([memberDef](CPrstUserBase& self, const nbx::CStringMap& map,
                                     const CPrstFieldDef& row) {
                       readACL(self, *memberDef, map, row);
                   })
                   .write([memberDef](const CPrstUserBase& self, nbx::CStringMap& map,
                                      const CPrstFieldDef& row) {
                       writeACL(self, *memberDef, map, row);
                   }))
        .field(value<std::string>("subscriber_id", "SUBSCRIBER_ID"))
        .field(value<std::string>("subscription_id", "SUBSCRIPTION_ID"))
        .field(accountClass)
        .field(value<std::uint32_t>("reconfig_time", "RECONFIG_TIME").absentAs("0"))
        .field(value<std::uint32_t>("reprov_time", "REPROV_TIME").absentAs("0"));
}

std::vector<std::uint32_t> aclIds(const std::string& stored) {
    std::vector<std::uint32_t> ids;
    for (const std::string& item : splitList(stored, true)) {
        try {
            ids.push_back(toULong(item));
        } catch (nbx::CException&) {
            // Only this module writes the stored list; an item it did not write is no member.
        }
    }
    return ids;
}

}  // namespace prst
