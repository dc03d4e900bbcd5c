#include "prst_generic/access_control.h"

namespace {

template <class ACC, class DOM>
CPrstClassDef accessControlDef(const char* className, const char* textClassName) {
    using Self = CPrstAccessControl<ACC, DOM>;
    return CPrstClassDef(className, textClassName, textClassName)
        .module(NBX_MODULE_TAG)
        .site("CPrstAccessControl<ACC,DOM>::_set")
        .failure("Failed to set an access control record from text.")
        .field(prst::modTime())
        .field(prst::reference<Self, ACC>("access_id", "ACCESS_ID")
                   .as(CPrstFieldType::kAccessId)
                   .require())
        .field(prst::reference<Self, DOM>("domain_id", "DOMAIN_ID")
                   .as(CPrstFieldType::kDomainId)
                   .require())
        .field(prst::domainMemberships());
}

}  // namespace

template <>
const CPrstClassDef& CPrstAccessControl<CPrstDeviceAccount, CPrstDomain>::classDef() {
    static const CPrstClassDef def = accessControlDef<CPrstDeviceAccount, CPrstDomain>(
        "CPrstDeviceAccessControl", "access_control");
    return def;
}

template <>
const CPrstClassDef& CPrstAccessControl<CPrstUserAccount, CPrstRole>::classDef() {
    static const CPrstClassDef def = accessControlDef<CPrstUserAccount, CPrstRole>(
        "CPrstUserAccessControl", "user_access_control");
    return def;
}
