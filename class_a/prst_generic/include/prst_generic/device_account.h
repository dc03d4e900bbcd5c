#pragma once
// A device account (text class name "account"): its access list names domains.

#include "prst_generic/account.h"

class CPrstDeviceAccount : public CPrstAccount<CPrstDeviceAccount> {
public:
    static const CPrstClassDef& classDef();
};
