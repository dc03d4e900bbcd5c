#pragma once
// References cross servers by name: COIDTranslator<SRC,DEST> turns the OID of a DEST record
// into that record's name and back, through the session of the persistence context. With the
// context's raw-ids flag set it passes OIDs through as decimal text without any lookup.
//
// _toName(oid, strict): raw: the OID as signed 32-bit decimal. Else the name of the DEST record
// with the OID; none found: strict throws "Cannot find name of record with OID=%1.of type %2" /
// "No such record.", non-strict gives "" for an OID negative as a signed 32-bit value (no
// object) and the decimal OID otherwise.
//
// toOID(name, strict): raw: the text as a number (what _toName writes). Else the OID of the
// first DEST record with the name; none found: a plain non-negative decimal number is taken as
// the OID; non-strict also takes "" and negative numbers (what _toName writes for no object).
// Anything else throws "Cannot find OID of record %1 of type %2." / "No such record.".
//
// DEST may also be given by its text class name, resolved through the context's registry when
// a name is looked up: a record can refer to a class of another module, or to one that this
// build or registry lacks, without its type. Where the registry does not know the class, no
// lookup is possible and only OIDs pass; messages then name the text class name.

#include <cstdint>
#include <string>

#include "oodb_persistence/prst_class_def.h"
#include "oodb_persistence/prst_context.h"

class CPrstOIDTranslatorBase {
public:
    CPrstOIDTranslatorBase(CPrstContextPtr context, const CPrstClassDef& dest,
                           std::string nameAttr = "name");
    CPrstOIDTranslatorBase(CPrstContextPtr context, std::string destTextClassName,
                           std::string nameAttr = "name");
    std::string _toName(std::uint32_t oid, bool strict) const;
    std::uint32_t toOID(const std::string& name, bool strict) const;

private:
    // The declaration of DEST, or null when the registry does not know its text class name.
    const CPrstClassDef* _dest() const;
    // DEST's class name for messages.
    const std::string& _destName() const;

    CPrstContextPtr m_context;
    const CPrstClassDef* m_dest;
    std::string m_destTextClassName;
    std::string m_nameAttr;
};

template <class SRC, class DEST>
class COIDTranslator : public CPrstOIDTranslatorBase {
public:
    explicit COIDTranslator(CPrstContextPtr context)
        : CPrstOIDTranslatorBase(std::move(context), DEST::classDef()) {}
};
