#pragma once
// The contract between the persistence layer and a database engine.
//
// An engine is a host plug-in found by the interface name "CIDBFacadeFactory". It is opened once
// with the table declarations of every registered persistent class and then gives each thread
// its own connection. Rows cross this boundary as CDBRecord values: the primary key plus the
// column values as text (the persistence layer owns the conversions; the engine stores each
// column by its field type). A column that is absent from a record is NULL.
//
// Selections are SQL conditions over the table aliased "T" ("T.PK = 5", "X = 1 AND T.PK >= 0");
// named statements are the precompiled statements of the statement files, run with their
// arguments as a name -> text map.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "standard/string_map.h"

// Column name -> field-type token ("[__DB_TYPE_STRING__]", ...).
using CDBTypeStringMap = nbx::CStringMap;

// One table: its name and its columns (the primary key column "PK" is implicit).
struct CDBTableDef {
    std::string name;
    CDBTypeStringMap columns;
};

// No key at all.
constexpr std::uint32_t kNoKey = 0xFFFFFFFFu;

struct CDBRecord {
    std::string table;
    std::uint32_t pk = kNoKey;
    std::map<std::string, std::string> values;  // column -> text; absent = NULL
};
using CDBRecordList = std::vector<CDBRecord>;

// How a named statement stands for one table once the engine has tried to compile it.
struct CDBStatementState {
    enum Status {
        kIllegal,   // no statement of that name, or it does not apply to the table
        kReady,     // it compiled (or is one the engine compiles only when run)
        kUnusable,  // it did not compile; `error` says why
    };
    Status status = kIllegal;
    bool generic = false;  // it applies to every table
    std::string error;
};

// A transaction handle; 0 means "outside any transaction" (each call commits by itself).
using CDBTransactionHandle = std::uint32_t;

// The calling thread's connection. Every failure throws nbx::CException (module "oodb").
class CIDBConnection {
public:
    virtual ~CIDBConnection() = default;

    virtual CDBTransactionHandle begin() = 0;
    virtual void commit(CDBTransactionHandle tx) = 0;
    virtual void rollback(CDBTransactionHandle tx) = 0;

    // Rows of `table` matching `where` (over alias T), ordered by key; limit 0 = all.
    virtual CDBRecordList select(CDBTransactionHandle tx, const std::string& table,
                                 const std::string& where, std::uint32_t limit = 0) = 0;
    virtual std::uint32_t count(CDBTransactionHandle tx, const std::string& table,
                                const std::string& where) = 0;
    // Runs the named statement for `table` (alias T) with its arguments.
    virtual CDBRecordList execute(CDBTransactionHandle tx, const std::string& table,
                                  const std::string& statement, const nbx::CStringMap& arguments,
                                  std::uint32_t limit = 0) = 0;
    // Compiles the named statement for `table`, so that a statement that cannot work is known
    // before it is first run.
    virtual CDBStatementState prepare(const std::string& table, const std::string& statement) = 0;
    // Inserts the record, or replaces the row with its key.
    virtual void write(CDBTransactionHandle tx, const CDBRecord& record) = 0;
    virtual void remove(CDBTransactionHandle tx, const std::string& table, std::uint32_t pk) = 0;
    // The next value of the table's sequence (new keys, OIDs of new objects); never reused.
    virtual std::uint32_t nextKey(const std::string& table) = 0;
    // Cuts short the statement that runs on this connection now; it fails and its transaction
    // is rolled back. Safe from any thread. Does nothing when no statement runs, and in an
    // engine that cannot cut statements short.
    virtual void interrupt() {}
};

class CIDBFacadeFactory {
public:
    virtual ~CIDBFacadeFactory() = default;
    virtual std::string name() const = 0;
    // Creates the tables that do not exist yet.
    virtual void open(const std::vector<CDBTableDef>& tables) = 0;
    // For an engine that several sessions share (the host's and a plug-in's, one per protocol
    // family): opens it when it is closed, else creates the tables and columns of `tables` that
    // it lacks. The default only opens a closed engine.
    virtual void declare(const std::vector<CDBTableDef>& tables) {
        if (!isOpen()) open(tables);
    }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The calling thread's connection, created on its first use.
    virtual CIDBConnection& connection() = 0;
    // Closes the calling thread's connection when the thread is done with the database; its next
    // use opens a new one. An engine without per-thread state needs nothing here.
    virtual void releaseConnection() {}
};
