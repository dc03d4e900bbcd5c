#pragma once
// A stored sample (text class name "sample"): a version and its data, both kept as text.

#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstSample : public CPersistentSecuredObject<CPrstSample> {
public:
    static const CPrstClassDef& classDef();

    const std::string& version() const { return get<std::string>("version"); }
    const std::string& data() const { return get<std::string>("data"); }
    void setData(const std::string& data) { put<std::string>("data", data); }
};
