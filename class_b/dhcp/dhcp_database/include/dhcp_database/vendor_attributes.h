#pragma once
// A vendor class (text class name "vendor_class", table "vendor_class"): a vendor's option
// definitions, with the keys and rules of an option definition.

#include "dhcp_database/option_attributes.h"

class CPrstVendorAttributes : public CPrstOptionAttributes {
public:
    static const CPrstClassDef& classDef();
    CPrstVendorAttributes() : CPrstOptionAttributes(classDef()) {}
};
