#pragma once
// A configuration value filed under a class, a subclass and a key (text class name
// "keyvalue").

#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstKeyValue : public CPersistentSecuredObject<CPrstKeyValue> {
public:
    static const CPrstClassDef& classDef();

    const std::string& valueClass() const { return get<std::string>("class"); }
    const std::string& subclass() const { return get<std::string>("subclass"); }
    const std::string& key() const { return get<std::string>("key"); }
    const std::string& value() const { return get<std::string>("value"); }
    void setValue(const std::string& value) { put<std::string>("value", value); }
    bool enabled() const { return get<bool>("enabled"); }
};
