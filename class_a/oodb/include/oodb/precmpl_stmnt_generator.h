#pragma once
// Expands statement templates into precompiled statements with positional "?" parameters.
//
// A template is SQL with placeholders "<<NAME>>". Each argument NAME is declared in the column
// name list ("OID,NAME", as a statement's arg_names) and has, at the same position in the type
// list, a field-type token, with "list " before it for a list argument ("[__DB_TYPE_STRING__],
// list [__DB_TYPE_ULONG__]"). Arguments arrive as an nbx::CStringMap; a list argument's
// elements are its entries with one key, in insertion order.
//
//   <<NAME>> of a single argument   -> " ?"                  "T.PK =<<OID>>"  -> "T.PK = ?"
//   <<NAME>> of a list argument     -> " IN (?,?,? )"        "T.PK<<OIDS>>"   -> "T.PK IN (?,? )"
//   <<GENERIC_ARGS>>                -> a condition "T.<NAME> = ?" or "T.<NAME> IN (...)" per
//                                      generic argument given, joined with " AND "; "T.PK >= 0"
//                                      (every row) when none is given
//   <<TABLE>>                       left in place for the engine (the target table)
//
// Every "?" yields one parameter in text order: the first of an argument is named NAME, the
// following ones NAME_1, NAME_2 and so on.

#include <string>
#include <vector>

#include "oodb/db_field_type.h"
#include "standard/string_map.h"

class CPrecmplStmntGenerator {
public:
    static constexpr const char* kGenericArgs = "GENERIC_ARGS";
    static constexpr const char* kTable = "TABLE";

    struct Parameter {
        std::string name;
        std::string value;
        CDBFieldType::Type type;
    };
    struct Statement {
        std::string sql;
        std::vector<Parameter> parameters;
    };

    // `genericArgs`: the arguments (declared in the lists too) placed by <<GENERIC_ARGS>>.
    CPrecmplStmntGenerator(const std::string& columnNames, const std::string& typeList,
                           const std::string& genericArgs = std::string());

    // Expands the template for the arguments. Throws, each argument in turn:
    //   "Unable to find template '<<%1>>' in column name list '%2'." / "No template for
    //   requested name."                               the argument is not declared
    //   "Unable to find '<<%1>>' template in type list '%2'." / "No template for requested
    //   type."                                         it has no type
    //   "Unable to find placeholder '<<%1>>' in sql statement template '%2'." /
    //   "Placeholder/SQL statement mismatch."          the template does not place it
    // and "Unknown field type '%1'." for a bad token, "Too many values for argument '<<%1>>'
    // ..." for several values of a single argument, "Missing value for argument '<<%1>>' ..."
    // for a placed argument that is not given.
    Statement generate(const std::string& sqlTemplate, const nbx::CStringMap& arguments) const;

    // The checks of a statement when it is read: every argument has a known type and is placed,
    // every placeholder is declared, the lists agree in length. Throws as generate does, and
    // "Unknown placeholder '<<%1>>' in sql statement template '%2'." / "Placeholder/SQL
    // statement mismatch.", "Argument lists '%1' and '%2' differ in length." / "Placeholder/SQL
    // statement mismatch.".
    void check(const std::string& sqlTemplate) const;

    // The declared argument names, in order.
    const std::vector<std::string>& argumentNames() const { return m_names; }

    // " ?" for a single argument, " IN (?,?... )" with `count` marks for a list.
    static std::string expansion(std::size_t count, bool list);

private:
    struct Argument {
        std::string name;
        CDBFieldType::Type type;
        bool list;
        bool generic;
    };

    Argument _argument(const std::string& name) const;
    bool _isGeneric(const std::string& name) const;
    bool _isDeclared(const std::string& name) const;

    std::string m_columnNames;
    std::string m_typeList;
    std::vector<std::string> m_names;
    std::vector<std::string> m_types;
    std::vector<std::string> m_generic;
};
