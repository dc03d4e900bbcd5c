#pragma once
// The declaration of a persistent class as data: its names, its table(s) and one row per
// attribute {attribute name, column, field-type token, text key, required, reader, writer}.
// The rows are in text-reading order; CPrstUserBase builds the attributes, the column
// declarations, the text form and the stored form from them. A record class is its table of
// rows plus the few rules that are its own (custom readers and writers):
//
//   static const CPrstClassDef def =
//       CPrstClassDef("CPrstDomain", "domain", "domain")
//           .module("prst_generic").site("CPrstDomain::_set")
//           .failure("Failed to set a domain record from text.")
//           .field(prst::modTime())
//           .field(prst::value<std::string>("name", "NAME").require())
//           .field(prst::value<std::uint32_t>("priority", "PRIORITY"));
//
// See the module README for the whole guide.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oodb/db_engine.h"
#include "oodb_persistence/prst_attr.h"
#include "standard/string_map.h"
#include "standard/time_t.h"

class CPrstUserBase;
struct CPrstFieldDef;

// Creates the attribute of a row.
using CPrstAttrMaker = std::function<std::unique_ptr<CIPrstAttr>(const CPrstFieldDef&)>;
// A row's own reader: called whether or not its key is present (after the required check).
using CPrstFieldReader =
    std::function<void(CPrstUserBase&, const nbx::CStringMap&, const CPrstFieldDef&)>;
// A row's own writer: fills the map in place of the attribute's text.
using CPrstFieldWriter =
    std::function<void(const CPrstUserBase&, nbx::CStringMap&, const CPrstFieldDef&)>;

struct CPrstFieldDef {
    std::string name;       // attribute name
    std::string column;     // column; empty: not stored
    std::string type;       // field-type token of the column
    std::string key;        // text key; empty: not in the text form
    std::string prototype;  // further prototype of a complex class; empty: the top-level table
    bool required = false;
    std::string missingText;    // overrides the class's failure text for a missing key
    std::string missingReason;  // overrides the reason "Missing '<key>' key."
    bool hasAbsentText = false;
    std::string absentText;  // what an absent key reads as
    CPrstAttrMaker make;
    CPrstFieldReader reader;
    CPrstFieldWriter writer;

    // The key must be present on input; a missing key throws the class's failure text (or
    // `text`) with the reason "Missing '<key>' key.".
    CPrstFieldDef& require(const std::string& text = std::string()) {
        required = true;
        missingText = text;
        return *this;
    }
    // The key must be present on input; a missing key throws the class's failure text with
    // `reason` in place of "Missing '<key>' key.".
    CPrstFieldDef& requireReason(const std::string& reason) {
        required = true;
        missingReason = reason;
        return *this;
    }
    // An absent key is read as `text` (a default that a text without the key restores)
    // instead of leaving the value alone. For rows without a reader of their own.
    CPrstFieldDef& absentAs(const std::string& text) {
        hasAbsentText = true;
        absentText = text;
        return *this;
    }
    CPrstFieldDef& as(const std::string& token) {
        type = token;
        return *this;
    }
    CPrstFieldDef& textKey(const std::string& textKey) {
        key = textKey;
        return *this;
    }
    CPrstFieldDef& in(const std::string& furtherPrototype) {
        prototype = furtherPrototype;
        return *this;
    }
    CPrstFieldDef& read(CPrstFieldReader fn) {
        reader = std::move(fn);
        return *this;
    }
    CPrstFieldDef& write(CPrstFieldWriter fn) {
        writer = std::move(fn);
        return *this;
    }
    // Member-function forms, for the rules a record class keeps as its own private members.
    template <class C>
    CPrstFieldDef& read(void (C::*fn)(const nbx::CStringMap&, const CPrstFieldDef&)) {
        reader = [fn](CPrstUserBase& self, const nbx::CStringMap& map, const CPrstFieldDef& row) {
            (static_cast<C&>(self).*fn)(map, row);
        };
        return *this;
    }
    template <class C>
    CPrstFieldDef& write(void (C::*fn)(nbx::CStringMap&, const CPrstFieldDef&) const) {
        writer = [fn](const CPrstUserBase& self, nbx::CStringMap& map, const CPrstFieldDef& row) {
            (static_cast<const C&>(self).*fn)(map, row);
        };
        return *this;
    }
};

class CPrstClassDef {
public:
    // Column of the top-level table that holds the meta-class entry.
    static constexpr const char* kMetaColumn = "META_CLASS";
    // Attribute (and key) of the modification time; a class keeps one when it declares it.
    static constexpr const char* kModTime = "mod_time";

    CPrstClassDef(std::string className, std::string textClassName, std::string table);

    CPrstClassDef& module(const std::string& module);
    // Function named by the failures of the text reader ("CPrstDomain::_set").
    CPrstClassDef& site(const std::string& site);
    // Message of the text reader's failures ("Failed to set a domain record from text.").
    CPrstClassDef& failure(const std::string& text);
    // Declares a further prototype (table) of a complex class.
    CPrstClassDef& prototype(const std::string& table);
    CPrstClassDef& field(CPrstFieldDef row);

    const std::string& className() const { return m_className; }
    const std::string& textClassName() const { return m_textClassName; }
    const std::string& table() const { return m_table; }
    const std::string& moduleName() const { return m_module; }
    const std::string& siteName() const { return m_site; }
    const std::string& failureText() const { return m_failure; }
    const std::vector<std::string>& prototypes() const { return m_prototypes; }
    const std::vector<CPrstFieldDef>& fields() const { return m_fields; }
    bool complex() const { return !m_prototypes.empty(); }

    // The row with the text key, or null.
    const CPrstFieldDef* byKey(const std::string& key) const;
    const CPrstFieldDef* byName(const std::string& name) const;

    // The column declarations of the top-level table (with the meta-class column) and of every
    // further prototype.
    std::vector<CDBTableDef> tableDefs() const;

private:
    std::string m_className;
    std::string m_textClassName;
    std::string m_table;
    std::string m_module = "oodb_persistence";
    std::string m_site;
    std::string m_failure;
    std::vector<std::string> m_prototypes;
    std::vector<CPrstFieldDef> m_fields;
};

// Row builders. The key defaults to the attribute name; the token to the value type's.
namespace prst {

template <class T>
CPrstFieldDef value(const std::string& key, const std::string& column) {
    CPrstFieldDef row;
    row.name = key;
    row.key = key;
    row.column = column;
    row.type = CPrstValueTraits<T>::token();
    row.make = [](const CPrstFieldDef& def) { return std::make_unique<CPrstAttr<T>>(def.name); };
    return row;
}

// A value with a default other than T().
template <class T>
CPrstFieldDef value(const std::string& key, const std::string& column, T initial) {
    CPrstFieldDef row = value<T>(key, column);
    row.make = [initial](const CPrstFieldDef& def) {
        return std::make_unique<CPrstAttr<T>>(def.name, initial);
    };
    return row;
}

template <class T = nbx::CHexStore>
CPrstFieldDef binary(const std::string& key, const std::string& column) {
    CPrstFieldDef row = value<T>(key, column);
    row.type = CPrstFieldType::kBinaryBlob;
    row.make = [](const CPrstFieldDef& def) {
        return std::make_unique<CPrstBinaryAttr<T>>(def.name);
    };
    return row;
}

// "mod_time" in column "MOD_TIME".
CPrstFieldDef modTime();

template <class T>
CPrstFieldDef derived(const std::string& key, std::function<T(const CPrstUserBase&)> compute) {
    CPrstFieldDef row;
    row.name = key;
    row.key = key;
    row.make = [compute](const CPrstFieldDef& def) {
        return std::make_unique<CPrstAttrDerived<T>>(def.name, compute);
    };
    return row;
}

// A link collection: stored, but not part of the text form unless given a key.
CPrstFieldDef link2Many(const std::string& name, const std::string& column);
CPrstFieldDef linkByName(const std::string& name, const std::string& column);

}  // namespace prst
