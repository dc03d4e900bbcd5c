#include "oodb/db_prototype_mgr.h"

#include <set>

#include "oodb/db_field_type.h"
#include "standard/throw.h"

void CDBPrototypeMgr::add(const CDBTableDef& table) {
    auto refuse = [&](nbx::CMessage reason) {
        NBX_THROW(nbx::CException, "oodb", "CDBPrototypeMgr::add",
                  nbx::msg("Failed to add prototype '%1'.", table.name), std::move(reason));
    };
    if (table.name.empty()) refuse(nbx::msg("The prototype has no name."));
    std::set<std::string> seen;
    for (const auto& column : table.columns) {
        if (column.first.empty()) refuse(nbx::msg("A column has no name."));
        if (column.first == "PK") refuse(nbx::msg("Column 'PK' is the implicit primary key."));
        if (!seen.insert(column.first).second) {
            refuse(nbx::msg("Column '%1' is declared twice.", column.first));
        }
        CDBFieldType::Type type;
        if (!CDBFieldType::fromToken(column.second, type)) {
            refuse(
                nbx::msg("Unknown field type '%1' of column '%2'.", column.second, column.first));
        }
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_prototypes.emplace(table.name, table).second) {
        refuse(nbx::msg("The prototype already exists."));
    }
}

bool CDBPrototypeMgr::has(const std::string& name) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_prototypes.count(name) != 0;
}

CDBRecord CDBPrototypeMgr::cloneSimple(const std::string& name) const {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_prototypes.count(name)) {
            CDBRecord record;
            record.table = name;
            return record;
        }
    }
    NBX_THROW(nbx::CException, "oodb", "CDBPrototypeMgr::cloneSimple",
              nbx::msg("Failed to find a prototype for '%1'.", name),
              nbx::msg("No such prototype."));
}

CDBTypeStringMap CDBPrototypeMgr::columnDefs(const std::string& name) const {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto found = m_prototypes.find(name);
        if (found != m_prototypes.end()) return found->second.columns;
    }
    NBX_THROW(nbx::CException, "oodb", "DBPrototypeMgr::columnDefs",
              nbx::msg("Failed to find a prototype for '%1' while searching for field definitions.",
                       name),
              nbx::msg("No such prototype."));
}

std::vector<CDBTableDef> CDBPrototypeMgr::tableDefs() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<CDBTableDef> tables;
    for (const auto& entry : m_prototypes) tables.push_back(entry.second);
    return tables;
}
