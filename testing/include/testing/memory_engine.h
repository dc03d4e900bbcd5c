#pragma once
// An in-memory database engine for the tests, behind the engine contract. It understands
// exactly the forms the persistence layer generates: conditions "T.PK = n", "T.PK >= 0", key
// lists "T.PK IN (1,2)", key subqueries "T.PK IN (SELECT PK FROM \"table\")" and column
// equalities ("T.NAME = 'x'", quotes doubled) joined by " AND ", the statement "generic.oid"
// with the argument "OID", and canned statements a test sets up. Anything else throws, so that a
// test notices a form the real engine would have to learn. Transactions work on a copy of the
// tables that commit puts in place. It records every condition and statement it was given, and can
// be told to fail an operation.

#include <cstdint>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "oodb/db_engine.h"
#include "standard/throw.h"

namespace memdb {

struct Term {
    std::string column;  // "PK" for the key
    std::string op;      // "=", ">=" or "IN"
    std::string value;   // IN: the keys, comma-separated, or "SELECT <table>"
};

// Parses a condition; throws nbx::CException for anything else.
inline std::vector<Term> parseCondition(const std::string& where) {
    // A term and what follows it: "AND " or the end.
    static const std::regex kTerm(R"re( *(?:T\.)?(\w+) (?:(=|>=) (\d+)|= '((?:[^']|'')*)'|)re"
                                  R"re(IN \((?:SELECT PK FROM "(\w+)"|([\d,]+))\)) *(AND |$))re");
    std::vector<Term> terms;
    std::smatch m;
    for (auto at = where.cbegin();; at = m[0].second) {
        if (!std::regex_search(at, where.cend(), m, kTerm,
                               std::regex_constants::match_continuous)) {
            NBX_THROW_STATIC(nbx::CException, "memdb", "memdb::parseCondition",
                             nbx::msg("Unsupported condition '%1'.", where), nbx::CMessage());
        }
        Term term{m[1], m[2].matched ? m[2].str() : m[4].matched ? "=" : "IN", m[3]};
        if (m[4].matched) term.value = std::regex_replace(m[4].str(), std::regex("''"), "'");
        if (m[5].matched) term.value = "SELECT " + m[5].str();
        if (m[6].matched) term.value = m[6].str();
        // Only the key is compared by order or listed.
        if (term.op != "=" && term.column != "PK") {
            NBX_THROW_STATIC(nbx::CException, "memdb", "memdb::parseCondition",
                             nbx::msg("Unsupported condition '%1'.", where), nbx::CMessage());
        }
        terms.push_back(term);
        if (m[7].length() == 0) return terms;
    }
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
    std::vector<std::string> log;  // "select nbx_rep_peers: T.PK = 5", "execute ..."
    // Operations that throw: "select", "write", ... or one table's writes: "write <table>".
    std::set<std::string> failing;
    // What prepare answers for a statement; "generic.oid" is ready and generic, others illegal.
    std::map<std::string, CDBStatementState> states{
        {"generic.oid", {CDBStatementState::kReady, true, std::string()}}};
    std::map<std::string, CDBRecordList> canned;  // rows a canned statement returns
    std::vector<std::string> prepared;            // "table: statement", in call order
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
            if (_matches(tx, row.second, terms)) out.push_back(row.second);
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
        auto canned_rows = canned.find(statement);
        if (canned_rows != canned.end()) return canned_rows->second;
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
    CDBStatementState prepare(const std::string& table, const std::string& statement) override {
        prepared.push_back(table + ": " + statement);
        _maybeFail("prepare");
        _schema(table);
        auto found = states.find(statement);
        return found == states.end() ? CDBStatementState() : found->second;
    }
    void write(CDBTransactionHandle tx, const CDBRecord& record) override {
        log.push_back("write " + record.table + ": " + std::to_string(record.pk));
        _maybeFail("write");
        _maybeFail("write " + record.table);
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
    bool _inKeys(CDBTransactionHandle tx, const std::string& keys, std::uint32_t pk) {
        if (keys.rfind("SELECT ", 0) == 0) return _table(tx, keys.substr(7)).count(pk) != 0;
        std::size_t start = 0;
        while (start < keys.size()) {
            std::size_t comma = keys.find(',', start);
            if (comma == std::string::npos) comma = keys.size();
            if (comma > start && std::stoull(keys.substr(start, comma - start)) == pk) return true;
            start = comma + 1;
        }
        return false;
    }
    bool _matches(CDBTransactionHandle tx, const CDBRecord& record,
                  const std::vector<Term>& terms) {
        for (const Term& term : terms) {
            if (term.op == "IN") {
                if (!_inKeys(tx, term.value, record.pk)) return false;
                continue;
            }
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
