#include "prst_generic/device_account.h"

#include "prst_generic/domain.h"

const CPrstClassDef& CPrstDeviceAccount::classDef() {
    static const CPrstClassDef def =
        prst::accountDef("CPrstDeviceAccount", "account", "CPrstAccount::_set",
                         CPrstDomain::classDef(), true)
            .field(prst::domainMemberships());
    return def;
}
