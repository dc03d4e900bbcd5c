#pragma once
// Reads the table group files ("*.grp"): one record per group of tables that statements apply
// to.
//
//   group=generic            required, unique
//   tables=*                 required: table names, comma-separated; "*" stands for every table
//   description=...          optional

#include <map>
#include <string>
#include <vector>

#include "oodb/db_record_file_reader.h"

struct CDBTableGroup {
    std::string name;
    std::vector<std::string> tables;
    std::string description;
    std::string file;
    unsigned int line = 0;

    // True when the group names the table or holds "*".
    bool contains(const std::string& table) const;
};

class CDBTableGroupFileReader : public CDBRecordFileReader {
public:
    CDBTableGroupFileReader();

    // The group of that name; "Cannot locate table group '%1'." / "Spec group does not exist."
    // when none was read.
    const CDBTableGroup& find(const std::string& group) const;
    const std::map<std::string, CDBTableGroup>& groups() const { return m_groups; }

protected:
    void _onRecord(const Record& record) override;
    const char* _invalidRecordText() const override;
    const char* _function() const override;

private:
    std::map<std::string, CDBTableGroup> m_groups;
};
