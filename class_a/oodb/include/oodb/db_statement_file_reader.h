#pragma once
// Reads the SQL statement files ("*.inc"): one record per named statement.
//
//   name=generic.oid                       required, unique
//   group=generic                          required: the table group it applies to
//   arg_names=OID                          required: argument names, comma-separated (may be empty)
//   arg_types=[__DB_TYPE_ULONG__]          required: one field-type token per argument; "list "
//                                          before the token makes a list argument
//   statement=SELECT T.* FROM <<TABLE>> AS T WHERE T.PK =<<OID>>
//                                          required: the SQL template (see CPrecmplStmntGenerator)
//   precompile=yes                         optional, default yes
//   function_name=...                      optional
//   cursor_num=3                           optional, unique among all statements
//   generic_args=DOMAIN_ID,ACCESS_ID       optional: arguments placed as conditions by
//                                          <<GENERIC_ARGS>>
//   description=...                        optional
//
// Each statement is checked when read: its arguments, types and placeholders must agree.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "oodb/db_record_file_reader.h"

struct CDBStatementDef {
    std::string name;
    std::string group;
    std::string argNames;
    std::string argTypes;
    std::string statement;
    bool precompile = true;
    std::string functionName;
    bool hasCursor = false;
    std::uint32_t cursorNum = 0;
    std::string genericArgs;
    std::string description;
    std::string file;
    unsigned int line = 0;
};

class CDBStatementFileReader : public CDBRecordFileReader {
public:
    CDBStatementFileReader();

    // The statement of that name; "Cannot locate sql spec file '%1'." / "No such file." when
    // none was read.
    const CDBStatementDef& find(const std::string& name) const;
    // The statement of that name, or null.
    const CDBStatementDef* lookup(const std::string& name) const;
    const std::map<std::string, CDBStatementDef>& statements() const { return m_statements; }

protected:
    void _onRecord(const Record& record) override;
    const char* _invalidRecordText() const override;
    const char* _function() const override;

private:
    std::map<std::string, CDBStatementDef> m_statements;
    std::map<std::uint32_t, std::string> m_cursors;  // cursor number -> statement
};
