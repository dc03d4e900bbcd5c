#include "dhcp_database/vendor_attributes.h"

const CPrstClassDef& CPrstVendorAttributes::classDef() {
    static const CPrstClassDef def =
        _declare(CPrstClassDef("CPrstVendorAttributes", "vendor_class", "vendor_class")
                     .module(NBX_MODULE_TAG)
                     .site("CPrstVendorAttributes::_set")
                     .failure("Failed to set a vendor class record from text."));
    return def;
}
