#pragma once
// One domain membership: the domain's name and id, written "name:id". It lives inside the
// object that is a member and has no id of its own.

#include <cstdint>
#include <string>

#include "oodb_persistence/first_class_object.h"

class CPrstDomainNameID : public CIPersistentObject<CPrstDomainNameID> {
public:
    static const CPrstClassDef& classDef();

    CPrstDomainNameID() = default;
    CPrstDomainNameID(const std::string& name, std::int32_t id);

    const std::string& name() const { return get<std::string>("name"); }
    std::int32_t domainId() const { return get<std::int32_t>("id"); }

    // "name:id".
    std::string string() const override;
    // Splits at the first ":"; the id is a decimal within the signed 32-bit range. Anything
    // else throws "Cannot deserialize domain name-id from text." / "Invalid format '%1'." and
    // leaves the object as it was.
    bool string(const std::string& text) override;
};
