#pragma once
// The host's database engine: one SQLite database file behind the "CIDBFacadeFactory" interface.
//
// - Write-ahead log, synchronous=FULL: a commit is on disk when it returns, and readers never
//   wait for writers.
// - One connection per thread, opened on the thread's first use and closed with the engine (or
//   by releaseConnection). Writers wait for each other up to the busy time-out.
// - Tables are created at open from the declarations: "PK" INTEGER PRIMARY KEY and one column
//   per declaration, typed by its field-type token; columns declared later are added.
// - Named statements come from the statement files ("*.inc") and table group files
//   ("*.grp") of the statement directory (see host/README.md).
// - Keys come from the table "nbx_sequences" and are never handed out twice.
//
// Every failure is an nbx::CException; SQLite's own failures carry SQLite's message as reason.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "oodb/db_engine.h"
#include "oodb/db_field_type.h"
#include "oodb/db_statement_file_reader.h"
#include "oodb/db_table_group_file_reader.h"

namespace host {

class CSQLiteConnection;

class CSQLiteEngine : public CIDBFacadeFactory {
public:
    struct Settings {
        std::string path;                // the database file, created when missing
        std::string statementDirectory;  // statement and table group files; empty: no statements
        int busyTimeoutMs = 5000;        // how long a writer waits for another one
        // The host's node id in its replication group (1..127): the keys it hands out are
        // nodeId << 24 | n, so that objects made on different hosts never share an OID. 0: the
        // whole key space (a host that does not replicate).
        std::uint32_t nodeId = 0;
        // Tables of the host's own bookkeeping, whose rows never travel: their keys take the
        // whole key space.
        std::vector<std::string> unrangedTables{};
    };

    // The keys of a node's range: [first, last].
    struct KeyRange {
        std::uint32_t first;
        std::uint32_t last;
    };
    static KeyRange keyRange(std::uint32_t nodeId);
    KeyRange keyRange(const std::string& table) const;

    static constexpr const char* kSequenceTable = "nbx_sequences";

    explicit CSQLiteEngine(Settings settings);
    ~CSQLiteEngine() override;

    // "CIDBFacadeFactory"
    std::string name() const override;
    // Reads the statement files, then creates the sequence table and every declared table that does
    // not exist yet (and the declared columns that an existing table lacks). Refused on an open
    // engine.
    void open(const std::vector<CDBTableDef>& tables) override;
    // Opens a closed engine; on an open one adds the tables and columns it lacks.
    void declare(const std::vector<CDBTableDef>& tables) override;
    // Closes every connection; a thread that still holds one gets "The database is closed." from
    // it. The engine can be opened again.
    void close() override;
    bool isOpen() const override;
    CIDBConnection& connection() override;
    void releaseConnection() override;

    const Settings& settings() const { return m_settings; }
    // Valid while the engine is open.
    const CDBStatementFileReader& statements() const { return *m_statements; }
    const CDBTableGroupFileReader& tableGroups() const { return *m_groups; }

    // For the connections. The declared type of a column (kUnknown for undeclared ones).
    CDBFieldType::Type _columnType(const std::string& table, const std::string& column) const;
    bool _isDeclared(const std::string& table) const { return _tables()->count(table) != 0; }
    // The highest key handed out by this engine for `table`, and raising it.
    std::uint32_t _keyMark(const std::string& table);
    void _raiseKeyMark(const std::string& table, std::uint32_t key);
    CDBTransactionHandle _nextHandle();

private:
    using CTableMap = std::map<std::string, std::map<std::string, CDBFieldType::Type>>;

    // Read by every connection without a lock; declare() replaces it whole.
    std::shared_ptr<const CTableMap> _tables() const { return std::atomic_load(&m_tables); }
    // The declared columns of `tables` added to `into`; a bad name throws.
    void _collect(const std::vector<CDBTableDef>& tables, CTableMap& into) const;
    void _createTables(CSQLiteConnection& setup, const std::vector<CDBTableDef>& tables,
                       const CTableMap& declared);

    const Settings m_settings;
    mutable std::mutex m_mutex;
    bool m_open = false;
    std::unique_ptr<CDBStatementFileReader> m_statements;
    std::unique_ptr<CDBTableGroupFileReader> m_groups;
    std::shared_ptr<const CTableMap> m_tables = std::make_shared<const CTableMap>();
    // Serialises open, declare and close.
    std::mutex m_openMutex;
    std::map<std::thread::id, std::unique_ptr<CSQLiteConnection>> m_connections;
    // Closed connections that a thread may still hold: they answer "closed" until the engine
    // goes away.
    std::vector<std::unique_ptr<CSQLiteConnection>> m_closed;

    std::mutex m_keyMutex;
    std::map<std::string, std::uint32_t> m_keyMarks;
    std::atomic<CDBTransactionHandle> m_handles{0};
};

}  // namespace host
