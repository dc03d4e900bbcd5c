#include "oodb/db_table_group_file_reader.h"

#include <algorithm>

#include "db_list.h"
#include "standard/throw.h"

bool CDBTableGroup::contains(const std::string& table) const {
    return std::find(tables.begin(), tables.end(), "*") != tables.end() ||
           std::find(tables.begin(), tables.end(), table) != tables.end();
}

CDBTableGroupFileReader::CDBTableGroupFileReader()
    : CDBRecordFileReader({"group", "tables", "description"}) {}

const char* CDBTableGroupFileReader::_invalidRecordText() const {
    return "Invalid record at line %1 in table group file.";
}

const char* CDBTableGroupFileReader::_function() const {
    return "CDBTableGroupFileReader::read";
}

void CDBTableGroupFileReader::_onRecord(const Record& record) {
    _requireKeys(record, {"group", "tables"});
    CDBTableGroup group;
    group.name = record.values.get("group");
    group.tables = dbSplitList(record.values.get("tables"));
    group.description = record.values.get("description");
    group.file = record.file;
    group.line = record.line;
    if (group.name.empty()) {
        _invalid(record.lineOf("group"), nbx::msg("Key '%1' has no value.", "group"));
    }
    if (group.tables.empty()) {
        _invalid(record.lineOf("tables"), nbx::msg("Key '%1' has no value.", "tables"));
    }
    if (m_groups.count(group.name)) {
        _invalid(record.lineOf("group"), nbx::msg("Duplicate group '%1'.", group.name));
    }
    m_groups.emplace(group.name, std::move(group));
}

const CDBTableGroup& CDBTableGroupFileReader::find(const std::string& group) const {
    auto found = m_groups.find(group);
    if (found == m_groups.end()) {
        NBX_THROW(nbx::CException, "oodb", "CDBTableGroupFileReader::find",
                  nbx::msg("Cannot locate table group '%1'.", group),
                  nbx::msg("Spec group does not exist."));
    }
    return found->second;
}
