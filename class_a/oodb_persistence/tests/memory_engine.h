#pragma once
// An in-memory database engine for the tests, behind the engine contract. It understands
// exactly the forms the persistence layer generates: conditions "T.PK = n", "T.PK >= 0" and
// column equalities ("T.NAME = 'x'", quotes doubled) joined by " AND ", and the statement
// "generic.oid" with the argument "OID". Anything else throws, so that a test notices a form the
// real engine would have to learn. Transactions work on a copy of the tables that commit puts
// in place. It records every condition and statement it was given, and can be told to fail an
// operation.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "oodb/db_engine.h"
#include "standard/throw.h"

namespace memdb {

struct Term {
    std::string column;  // "PK" for the key
    std::string op;      // "=" or ">="
    std::string value;
};

// Parses a condition; throws nbx::CException for anything else.
inline std::vector<Term> parseCondition(const std::string& where) {
    std::vector<Term> terms;
    std::size_t i = 0;
    auto fail = [&where]() {
        NBX_THROW_STATIC(nbx::CException, "memdb", "memdb::parseCondition",
                         nbx::msg("Unsupported condition '%1'.", where), nbx::CMessage());
    };
    auto skip = [&]() {
        while (i < where.size() && where[i] == ' ') ++i;
    };
    while (true) {
        skip();
        Term term;
        std::size_t start = i;
        while (i < where.size() && where[i] != ' ') ++i;
        term.column = where.substr(start, i - start);
        if (term.column.rfind("T.", 0) == 0) term.column = term.column.substr(2);
        if (term.column.empty()) fail();
        skip();
        start = i;
        while (i < where.size() && where[i] != ' ') ++i;
        term.op = where.substr(start, i - start);
        if (term.op != "=" && term.op != ">=") fail();
        skip();
        if (i < where.size() && where[i] == '\'') {
            ++i;
            while (true) {
                if (i >= where.size()) fail();
                if (where[i] == '\'') {
                    if (i + 1 < where.size() && where[i + 1] == '\'') {
                        term.value += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                term.value += where[i++];
            }
        } else {
            start = i;
            while (i < where.size() && where[i] != ' ') ++i;
            term.value = where.substr(start, i - start);
            if (term.value.empty() ||
                term.value.find_first_not_of("0123456789") != std::string::npos) {
                fail();
            }
        }
        if (term.op == ">=" && term.column != "PK") fail();
        terms.push_back(term);
        skip();
        if (i == where.size()) break;
        if (where.compare(i, 4, "AND ") != 0) fail();
        i += 4;
    }
    return terms;
}

class CMemoryConnection : public CIDBConnection {
public:
    using Table = std::map<std::uint32_t, CDBRecord>;
    using Tables = std::map<std::string, Table>;

    // Declared tables and their columns (set by the engine's open).
    std::map<std::string, CDBTypeStringMap> schema;
    Tables committed;
    std::map<CDBTransactionHandle, Tables> open;
    std::map<std::string, std::uint32_t> sequences;
    std::vector<std::string> log;   // "select nbx_rep_peers: T.PK = 5", "execute ..."
    std::set<std::string> failing;  // operation names that throw: "select", "write", ...
    CDBTransactionHandle lastTx = 0;

    CDBTransactionHandle begin() override {
        open[++lastTx] = committed;
        return lastTx;
    }
    void commit(CDBTransactionHandle tx) override {
        committed = _tables(tx, "commit");
        open.erase(tx);
    }
    void rollback(CDBTransactionHandle tx) override {
        _tables(tx, "rollback");
        open.erase(tx);
    }

    CDBRecordList select(CDBTransactionHandle tx, const std::string& table,
                         const std::string& where, std::uint32_t limit) override {
        log.push_back("select " + table + ": " + where);
        _maybeFail("select");
        std::vector<Term> terms = parseCondition(where);
        CDBRecordList out;
        for (const auto& row : _table(tx, table)) {
            if (_matches(row.second, terms)) out.push_back(row.second);
            if (limit && out.size() == limit) break;
        }
        return out;
    }
    std::uint32_t count(CDBTransactionHandle tx, const std::string& table,
                        const std::string& where) override {
        log.push_back("count " + table + ": " + where);
        _maybeFail("count");
        return static_cast<std::uint32_t>(select(tx, table, where, 0).size());
    }
    CDBRecordList execute(CDBTransactionHandle tx, const std::string& table,
                          const std::string& statement, const nbx::CStringMap& arguments,
                          std::uint32_t) override {
        log.push_back("execute " + table + ": " + statement + " " + arguments.string());
        _maybeFail("execute");
        if (statement != "generic.oid" || arguments.size() != 1 || !arguments.has("OID")) {
            NBX_THROW(nbx::CException, "memdb", "CMemoryConnection::execute",
                      nbx::msg("Unknown statement '%1'.", statement), nbx::CMessage());
        }
        std::uint32_t oid = arguments.getULong("OID");
        CDBRecordList out;
        const Table& rows = _table(tx, table);
        auto found = rows.find(oid);
        if (found != rows.end()) out.push_back(found->second);
        return out;
    }
    void write(CDBTransactionHandle tx, const CDBRecord& record) override {
        log.push_back("write " + record.table + ": " + std::to_string(record.pk));
        _maybeFail("write");
        const CDBTypeStringMap& columns = _schema(record.table);
        for (const auto& value : record.values) {
            if (!columns.has(value.first)) {
                NBX_THROW(
                    nbx::CException, "memdb", "CMemoryConnection::write",
                    nbx::msg("Undeclared column '%1' in table '%2'.", value.first, record.table),
                    nbx::CMessage());
            }
        }
        if (record.pk == kNoKey) {
            NBX_THROW(nbx::CException, "memdb", "CMemoryConnection::write",
                      nbx::msg("A record without key."), nbx::CMessage());
        }
        _table(tx, record.table)[record.pk] = record;
    }
    void remove(CDBTransactionHandle tx, const std::string& table, std::uint32_t pk) override {
        log.push_back("remove " + table + ": " + std::to_string(pk));
        _maybeFail("remove");
        _table(tx, table).erase(pk);
    }
    std::uint32_t nextKey(const std::string& table) override {
        _maybeFail("nextKey");
        _schema(table);
        return ++sequences[table];
    }

    // Rows of a committed table, for assertions.
    const Table& rows(const std::string& table) { return committed[table]; }

private:
    void _maybeFail(const std::string& operation) {
        if (failing.count(operation)) {
            NBX_THROW(nbx::CException, "memdb", "CMemoryConnection",
                      nbx::msg("Injected failure of %1.", operation), nbx::CMessage());
        }
    }
    const CDBTypeStringMap& _schema(const std::string& table) {
        auto found = schema.find(table);
        if (found == schema.end()) {
            NBX_THROW(nbx::CException, "memdb", "CMemoryConnection",
                      nbx::msg("No such table '%1'.", table), nbx::CMessage());
        }
        return found->second;
    }
    Tables& _tables(CDBTransactionHandle tx, const char* operation) {
        if (tx == 0) return committed;
        auto found = open.find(tx);
        if (found == open.end()) {
            NBX_THROW(nbx::CException, "memdb", "CMemoryConnection",
                      nbx::msg("No transaction %1 to %2.", tx, operation), nbx::CMessage());
        }
        return found->second;
    }
    Table& _table(CDBTransactionHandle tx, const std::string& table) {
        _schema(table);
        return _tables(tx, "use")[table];
    }
    static bool _matches(const CDBRecord& record, const std::vector<Term>& terms) {
        for (const Term& term : terms) {
            if (term.column == "PK") {
                std::uint64_t key = std::stoull(term.value);
                if (term.op == "=" ? record.pk != key : record.pk < key) return false;
                continue;
            }
            auto found = record.values.find(term.column);
            if (found == record.values.end() || found->second != term.value) return false;
        }
        return true;
    }
};

class CMemoryEngine : public CIDBFacadeFactory {
public:
    bool failOpen = false;
    std::vector<CDBTableDef> opened;  // what the last open declared

    std::string name() const override { return "memory"; }
    void open(const std::vector<CDBTableDef>& tables) override {
        if (failOpen) {
            NBX_THROW(nbx::CException, "memdb", "CMemoryEngine::open", nbx::msg("Cannot open."),
                      nbx::CMessage());
        }
        opened = tables;
        for (const CDBTableDef& table : tables) m_connection.schema[table.name] = table.columns;
        m_open = true;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    CIDBConnection& connection() override { return m_connection; }
    CMemoryConnection& memory() { return m_connection; }

    // The host's interface lookup offering this engine.
    void* lookup(const std::string& name) {
        return name == "CIDBFacadeFactory" ? static_cast<CIDBFacadeFactory*>(this) : nullptr;
    }

private:
    CMemoryConnection m_connection;
    bool m_open = false;
};

}  // namespace memdb
