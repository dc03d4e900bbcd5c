#pragma once
// One thread's connection to the engine's database file.
//
// Transactions: begin() starts BEGIN IMMEDIATE (the write lock is taken at once, so two writers
// queue on the busy time-out instead of failing later). A failing statement of a transaction
// rolls the whole transaction back at once; the handle then only accepts rollback. A call with
// handle 0 while a transaction is open may read (it sees the transaction's work) but not write:
// its write would silently become part of the transaction.

#include <sqlite3.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "oodb/db_engine.h"
#include "oodb/db_field_type.h"
#include "oodb/precmpl_stmnt_generator.h"

namespace host {

class CSQLiteEngine;

// An SQL identifier in double quotes, inner quotes doubled.
inline std::string quoted(const std::string& identifier) {
    std::string out = "\"";
    for (char c : identifier) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

class CSQLiteConnection : public CIDBConnection {
public:
    explicit CSQLiteConnection(CSQLiteEngine& engine);
    ~CSQLiteConnection() override;

    // Closes the SQLite handle; later calls throw "The database is closed.".
    void closeHandle();

    CDBTransactionHandle begin() override;
    void commit(CDBTransactionHandle tx) override;
    void rollback(CDBTransactionHandle tx) override;
    CDBRecordList select(CDBTransactionHandle tx, const std::string& table,
                         const std::string& where, std::uint32_t limit = 0) override;
    std::uint32_t count(CDBTransactionHandle tx, const std::string& table,
                        const std::string& where) override;
    CDBRecordList execute(CDBTransactionHandle tx, const std::string& table,
                          const std::string& statement, const nbx::CStringMap& arguments,
                          std::uint32_t limit = 0) override;
    // Compiles the statement for the table with one value per argument (a list of one for a
    // list argument); the compiler's complaint makes it unusable.
    CDBStatementState prepare(const std::string& table, const std::string& statement) override;
    void write(CDBTransactionHandle tx, const CDBRecord& record) override;
    void remove(CDBTransactionHandle tx, const std::string& table, std::uint32_t pk) override;
    std::uint32_t nextKey(const std::string& table) override;
    // Any thread: sqlite3_interrupt on the open handle; nothing once the handle is closed.
    void interrupt() override;

    // Runs SQL without results (set-up statements).
    void exec(const std::string& sql);
    // One column of every row, as text (NULL as empty).
    std::vector<std::string> queryColumn(const std::string& sql, int column);

private:
    class CReset;

    void _open();
    void _requireOpen(const char* function) const;
    void _requireTransaction(CDBTransactionHandle tx, const char* function) const;
    void _requireMayWrite(CDBTransactionHandle tx, const char* function) const;
    sqlite3_stmt* _prepare(const std::string& sql, CDBTransactionHandle tx, const char* function);
    void _bind(sqlite3_stmt* statement, int index, const std::string& value,
               CDBFieldType::Type type, CDBTransactionHandle tx, const char* function);
    void _runToEnd(sqlite3_stmt* statement, CDBTransactionHandle tx, const char* function);
    CDBRecordList _rows(sqlite3_stmt* statement, const std::string& table, std::uint32_t limit,
                        CDBTransactionHandle tx, const char* function);
    std::uint32_t _nextKey(const std::string& table);
    // Throws SQLite's failure; a failure within the open transaction ends it first.
    [[noreturn]] void _fail(const char* function, const std::string& sql, CDBTransactionHandle tx,
                            int code);
    void _clearCache();

    // A named statement made ready for one table: the group checked, the table put in.
    struct CPrepared {
        CPrecmplStmntGenerator generator;
        std::string sql;
    };
    const CPrepared& _named(const std::string& statement, const std::string& table,
                            const char* function);

    CSQLiteEngine& m_engine;
    std::recursive_mutex m_mutex;
    // Held by interrupt() (which cannot take m_mutex: the running statement holds it) and by
    // closeHandle() while it closes, so that no handle is interrupted while or after it closes.
    // Once constructed, m_db changes only under both locks.
    std::mutex m_handleMutex;
    sqlite3* m_db = nullptr;
    CDBTransactionHandle m_active = 0;  // the open transaction, 0 when none
    bool m_aborted = false;             // it was rolled back by a failure
    std::unordered_map<std::string, sqlite3_stmt*> m_cache;
    std::unordered_map<std::string, CPrepared> m_named;  // statement "\n" table -> prepared
};

}  // namespace host
