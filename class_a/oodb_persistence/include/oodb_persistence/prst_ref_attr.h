#pragma once
// A foreign key to one first-class object of REF_CLASS, written in the text form by the
// referenced object's name (COIDTranslator): no object is "", an unknown OID its decimal
// number. On input an empty text is no object and a name must resolve (strict lookup).

#include <cstdint>
#include <memory>
#include <string>

#include "oodb_persistence/oid_translator.h"
#include "oodb_persistence/prst_id.h"
#include "oodb_persistence/prst_user_base.h"

namespace prst {
[[noreturn]] void throwForeignKeyPrototype(const std::string& input, const std::string& expected);
}

template <class SRC_CLASS, class REF_CLASS>
class CPrstRefAttr : public CPrstAttr<std::uint32_t> {
public:
    explicit CPrstRefAttr(std::string name) : CPrstAttr<std::uint32_t>(std::move(name), kNoKey) {}
    std::unique_ptr<CIPrstAttr> clone() const override {
        return std::make_unique<CPrstRefAttr>(*this);
    }

    // Refers to the object of `id`; an id of another prototype throws "Input id prototype '%1'
    // does not match foreign key prototype '%2'." / "Cannot update from foreign key.".
    void setId(const CPrstSimpleID& id) {
        const std::string& expected = REF_CLASS::classDef().textClassName();
        if (id.prototype != expected) prst::throwForeignKeyPrototype(id.prototype, expected);
        set(id.id);
    }
    CPrstSimpleID id() const { return {REF_CLASS::classDef().textClassName(), value()}; }

    std::string text(const CPrstUserBase& owner) const override {
        return COIDTranslator<SRC_CLASS, REF_CLASS>(owner.contextPtr())._toName(value(), false);
    }
    void setText(CPrstUserBase& owner, const std::string& text) override {
        if (text.empty()) {
            set(kNoKey);
            return;
        }
        set(COIDTranslator<SRC_CLASS, REF_CLASS>(owner.contextPtr()).toOID(text, true));
    }
    bool explainsFailures() const override { return true; }
};

// A foreign key like CPrstRefAttr whose referenced class is named by its text class name and
// found through the context's registry when a name is looked up (see COIDTranslator): for
// references to classes of other modules, which the referring class need not know by type.
class CPrstTextRefAttr : public CPrstAttr<std::uint32_t> {
public:
    CPrstTextRefAttr(std::string name, std::string textClassName)
        : CPrstAttr<std::uint32_t>(std::move(name), kNoKey),
          m_textClassName(std::move(textClassName)) {}
    std::unique_ptr<CIPrstAttr> clone() const override {
        return std::make_unique<CPrstTextRefAttr>(*this);
    }

    const std::string& textClassName() const { return m_textClassName; }
    CPrstSimpleID id() const { return {m_textClassName, value()}; }

    std::string text(const CPrstUserBase& owner) const override {
        return CPrstOIDTranslatorBase(owner.contextPtr(), m_textClassName)._toName(value(), false);
    }
    void setText(CPrstUserBase& owner, const std::string& text) override {
        if (text.empty()) {
            set(kNoKey);
            return;
        }
        set(CPrstOIDTranslatorBase(owner.contextPtr(), m_textClassName).toOID(text, true));
    }
    bool explainsFailures() const override { return true; }

private:
    std::string m_textClassName;
};

namespace prst {
template <class SRC_CLASS, class REF_CLASS>
CPrstFieldDef reference(const std::string& key, const std::string& column) {
    CPrstFieldDef row = value<std::uint32_t>(key, column);
    row.type = CPrstFieldType::kLong;
    row.make = [](const CPrstFieldDef& def) {
        return std::make_unique<CPrstRefAttr<SRC_CLASS, REF_CLASS>>(def.name);
    };
    return row;
}

// A reference to the records of the class with the text class name `textClassName`.
inline CPrstFieldDef reference(const std::string& key, const std::string& column,
                               const std::string& textClassName) {
    CPrstFieldDef row = value<std::uint32_t>(key, column);
    row.type = CPrstFieldType::kLong;
    row.make = [textClassName](const CPrstFieldDef& def) {
        return std::make_unique<CPrstTextRefAttr>(def.name, textClassName);
    };
    return row;
}
}  // namespace prst
