#pragma once
// An access-control entry: one account admitted to one access domain. Device accounts are
// admitted to domains ("access_control"), user accounts to roles ("user_access_control"). Both
// ends are references, written by name.

#include <cstdint>

#include "oodb_persistence/persistent_secured_object.h"
#include "oodb_persistence/prst_ref_attr.h"
#include "prst_generic/device_account.h"
#include "prst_generic/domain.h"
#include "prst_generic/domain_memberships.h"
#include "prst_generic/role.h"
#include "prst_generic/user_account.h"

template <class ACC, class DOM>
class CPrstAccessControl : public CPersistentSecuredObject<CPrstAccessControl<ACC, DOM>> {
public:
    using AccessRef = CPrstRefAttr<CPrstAccessControl, ACC>;
    using DomainRef = CPrstRefAttr<CPrstAccessControl, DOM>;

    // Defined for the two instantiations below.
    static const CPrstClassDef& classDef();

    std::uint32_t accessId() const { return this->template attrAs<AccessRef>("access_id").value(); }
    void setAccess(const CPrstSimpleID& id) {
        this->template attrAs<AccessRef>("access_id").setId(id);
    }
    std::uint32_t domainId() const { return this->template attrAs<DomainRef>("domain_id").value(); }
    void setDomain(const CPrstSimpleID& id) {
        this->template attrAs<DomainRef>("domain_id").setId(id);
    }
};

template <>
const CPrstClassDef& CPrstAccessControl<CPrstDeviceAccount, CPrstDomain>::classDef();
template <>
const CPrstClassDef& CPrstAccessControl<CPrstUserAccount, CPrstRole>::classDef();

class CPrstDeviceAccessControl : public CPrstAccessControl<CPrstDeviceAccount, CPrstDomain> {};
class CPrstUserAccessControl : public CPrstAccessControl<CPrstUserAccount, CPrstRole> {};
