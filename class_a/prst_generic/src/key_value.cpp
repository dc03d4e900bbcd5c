#include "prst_generic/key_value.h"

const CPrstClassDef& CPrstKeyValue::classDef() {
    static const CPrstClassDef def =
        CPrstClassDef("CPrstKeyValue", "keyvalue", "keyvalue")
            .module(NBX_MODULE_TAG)
            .site("CPrstKeyValue::_set")
            .failure("Failed to set a key_value record from text.")
            .field(prst::modTime())
            .field(prst::value<std::string>("class", "CLASS").require())
            .field(prst::value<std::string>("subclass", "SUBCLASS"))
            .field(prst::value<std::string>("key", "KEY_NAME").require())
            .field(
                prst::value<std::string>("value", "VALUE").as(CPrstFieldType::kTextBlob).require())
            .field(prst::value<bool>("enabled", "ENABLED", true))
            .field(prst::domainMemberships());
    return def;
}
