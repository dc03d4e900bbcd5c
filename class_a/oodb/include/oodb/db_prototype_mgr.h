#pragma once
// The database layer's prototypes: one record type per table, with its column declarations.
// The persistence layer registers one per persistent class before the engine opens, and asks
// for empty records of a type and for a type's columns.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "oodb/db_engine.h"

class CDBPrototypeMgr {
public:
    // Adds a record type. Refused with "Failed to add prototype '%1'." when the name is taken or
    // empty, when a column is declared twice, is named "PK" (the implicit key) or has an unknown
    // field-type token.
    void add(const CDBTableDef& table);
    bool has(const std::string& name) const;

    // An empty record of the type: no key, no values. "Failed to find a prototype for '%1'." /
    // "No such prototype." for an unknown name.
    CDBRecord cloneSimple(const std::string& name) const;
    // The type's column declarations. "Failed to find a prototype for '%1' while searching for
    // field definitions." / "No such prototype." for an unknown name.
    CDBTypeStringMap columnDefs(const std::string& name) const;

    // Every record type, in name order: what the engine creates at open.
    std::vector<CDBTableDef> tableDefs() const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, CDBTableDef> m_prototypes;
};
