#include "oodb_persistence/prst_class_def.h"

CPrstClassDef::CPrstClassDef(std::string className, std::string textClassName, std::string table)
    : m_className(std::move(className)),
      m_textClassName(std::move(textClassName)),
      m_table(std::move(table)),
      m_site(m_className + "::_set"),
      m_failure("Failed to set a " + m_textClassName + " record from text.") {}

CPrstClassDef& CPrstClassDef::module(const std::string& module) {
    m_module = module;
    return *this;
}

CPrstClassDef& CPrstClassDef::site(const std::string& site) {
    m_site = site;
    return *this;
}

CPrstClassDef& CPrstClassDef::failure(const std::string& text) {
    m_failure = text;
    return *this;
}

CPrstClassDef& CPrstClassDef::prototype(const std::string& table) {
    m_prototypes.push_back(table);
    return *this;
}

CPrstClassDef& CPrstClassDef::field(CPrstFieldDef row) {
    m_fields.push_back(std::move(row));
    return *this;
}

const CPrstFieldDef* CPrstClassDef::byKey(const std::string& key) const {
    for (const CPrstFieldDef& row : m_fields) {
        if (!row.key.empty() && row.key == key) return &row;
    }
    return nullptr;
}

const CPrstFieldDef* CPrstClassDef::byName(const std::string& name) const {
    for (const CPrstFieldDef& row : m_fields) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

std::vector<CDBTableDef> CPrstClassDef::tableDefs() const {
    std::vector<CDBTableDef> tables;
    CDBTableDef top{m_table, CDBTypeStringMap()};
    top.columns.set(kMetaColumn, CPrstFieldType::kString);
    tables.push_back(top);
    for (const std::string& prototype : m_prototypes) {
        tables.push_back(CDBTableDef{prototype, CDBTypeStringMap()});
    }
    for (const CPrstFieldDef& row : m_fields) {
        if (row.column.empty()) continue;
        for (CDBTableDef& table : tables) {
            if (table.name == (row.prototype.empty() ? m_table : row.prototype)) {
                table.columns.set(row.column, row.type);
            }
        }
    }
    return tables;
}

namespace prst {

CPrstFieldDef modTime() {
    return value<nbx::CTimeT>(CPrstClassDef::kModTime, "MOD_TIME");
}

CPrstFieldDef link2Many(const std::string& name, const std::string& column) {
    CPrstFieldDef row;
    row.name = name;
    row.column = column;
    row.type = CPrstFieldType::kTextBlob;
    row.make = [](const CPrstFieldDef& def) {
        return std::make_unique<CPrstLink2ManyAttr>(def.name);
    };
    return row;
}

CPrstFieldDef linkByName(const std::string& name, const std::string& column) {
    CPrstFieldDef row = link2Many(name, column);
    row.make = [](const CPrstFieldDef& def) {
        return std::make_unique<CPrstLinkByNameAttr>(def.name);
    };
    return row;
}

}  // namespace prst
