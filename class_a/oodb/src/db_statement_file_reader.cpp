#include "oodb/db_statement_file_reader.h"

#include <string>

#include "oodb/precmpl_stmnt_generator.h"
#include "standard/throw.h"

CDBStatementFileReader::CDBStatementFileReader()
    : CDBRecordFileReader({"name", "group", "arg_names", "arg_types", "statement", "precompile",
                           "function_name", "cursor_num", "generic_args", "description"}) {}

const char* CDBStatementFileReader::_invalidRecordText() const {
    return "Invalid record at line %1 in sql statement spec file.";
}

const char* CDBStatementFileReader::_function() const {
    return "CDBStatementFileReader::read";
}

void CDBStatementFileReader::_onRecord(const Record& record) {
    _requireKeys(record, {"name", "group", "arg_names", "arg_types", "statement"});
    const nbx::CStringMap& values = record.values;
    for (const char* key : {"name", "group", "statement"}) {
        if (values.get(key).empty())
            _invalid(record.lineOf(key), nbx::msg("Key '%1' has no value.", key));
    }

    CDBStatementDef def;
    def.name = values.get("name");
    def.group = values.get("group");
    def.argNames = values.get("arg_names");
    def.argTypes = values.get("arg_types");
    def.statement = values.get("statement");
    def.functionName = values.get("function_name");
    def.genericArgs = values.get("generic_args");
    def.description = values.get("description");
    def.file = record.file;
    def.line = record.line;
    auto invalidValue = [&](const char* key) {
        _invalid(record.lineOf(key),
                 nbx::msg("Invalid value '%1' of key '%2'.", values.get(key), key));
    };
    if (values.has("precompile")) {
        try {
            def.precompile = values.getBool("precompile");
        } catch (nbx::CException&) {
            invalidValue("precompile");
        }
    }
    if (values.has("cursor_num")) {
        const std::string text = values.get("cursor_num");
        if (text.empty() || text.size() > 9 ||
            text.find_first_not_of("0123456789") != std::string::npos) {
            invalidValue("cursor_num");
        }
        def.cursorNum = static_cast<std::uint32_t>(std::stoul(text));
        def.hasCursor = true;
    }

    if (m_statements.count(def.name)) {
        _invalid(record.lineOf("name"), nbx::msg("Duplicate statement '%1'.", def.name));
    }
    try {
        CPrecmplStmntGenerator(def.argNames, def.argTypes, def.genericArgs).check(def.statement);
    } catch (nbx::CException& e) {
        _invalid(record.lineOf("statement"), e.message());
    }
    if (def.hasCursor) {
        auto taken = m_cursors.find(def.cursorNum);
        if (taken != m_cursors.end()) {
            NBX_THROW(nbx::CException, "oodb", _function(),
                      nbx::msg("Duplicate sql cursor number at line %1 in sql statement spec file.",
                               record.lineOf("cursor_num")),
                      nbx::msg("Cursor numbers overlap."));
        }
        m_cursors.emplace(def.cursorNum, def.name);
    }
    m_statements.emplace(def.name, std::move(def));
}

const CDBStatementDef* CDBStatementFileReader::lookup(const std::string& name) const {
    auto found = m_statements.find(name);
    return found == m_statements.end() ? nullptr : &found->second;
}

const CDBStatementDef& CDBStatementFileReader::find(const std::string& name) const {
    const CDBStatementDef* def = lookup(name);
    if (!def) {
        NBX_THROW(nbx::CException, "oodb", "CDBStatementFileReader::find",
                  nbx::msg("Cannot locate sql spec file '%1'.", name), nbx::msg("No such file."));
    }
    return *def;
}
