#pragma once
// The domain memberships of a secured object (text key "domains"): its members'
// CPrstDomainNameID texts joined by ",". Blanks around a member and empty members are skipped.

#include <string>
#include <vector>

#include "oodb_persistence/prst_class_def.h"
#include "prst_generic/domain_name_id.h"
#include "standard/object.h"

class CPrstDomainMemberships : public nbx::CObject {
public:
    const std::vector<CPrstDomainNameID>& members() const { return m_members; }
    void add(const CPrstDomainNameID& member) { m_members.push_back(member); }
    void clear() { m_members.clear(); }
    bool empty() const { return m_members.empty(); }

    std::string string() const override;
    // Throws the member's failure for a bad member and leaves the list as it was.
    bool string(const std::string& text) override;

    bool operator==(const CPrstDomainMemberships& other) const {
        return string() == other.string();
    }

private:
    std::vector<CPrstDomainNameID> m_members;
};

namespace prst {
// The "domains" row of a secured record (column "DOMAINS"); a bad member fails with its own
// text under the record's module and site.
CPrstFieldDef domainMemberships();
}  // namespace prst
