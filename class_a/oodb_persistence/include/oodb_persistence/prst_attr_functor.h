#pragma once
// Converts the attributes of an object between their stored (column) form and their values.
// An attribute that is missing or not stored has no converter: "Cannot find converter for
// attribute '%1'." / "No such attribute.".

#include <string>

class CPrstUserBase;

class CPrstAttrFunctor {
public:
    // Value -> stored form.
    static std::string convertTo(const CPrstUserBase& object, const std::string& attrName);
    // Stored form -> value.
    static void convertFrom(CPrstUserBase& object, const std::string& attrName,
                            const std::string& stored);
};
