#pragma once
// A transaction of the object database on the calling thread's connection: begun when made,
// ended by commit or rollback, rolled back when destroyed without either (an exception that
// leaves the scope undoes the work). It may be bound to a named precompiled statement, which it
// then runs.

#include <string>

#include "oodb/db_engine.h"

class CDBAbstractFactoryFacade;
class CDBStatementFileReader;

class CDBTransaction {
public:
    // Begins on `connection`, which must be the calling thread's.
    explicit CDBTransaction(CIDBConnection& connection);
    // Begins on the calling thread's connection to the facade's default database.
    explicit CDBTransaction(CDBAbstractFactoryFacade& facade);
    CDBTransaction(const CDBTransaction&) = delete;
    CDBTransaction& operator=(const CDBTransaction&) = delete;
    ~CDBTransaction();

    // "Cannot commit transaction." / "The transaction has ended." after commit or rollback. A
    // commit that fails leaves the transaction open for rollback (or the destructor).
    void commit();
    // "Cannot roll back transaction." / "The transaction has ended." after commit or rollback.
    void rollback();

    bool active() const { return m_active; }
    CDBTransactionHandle handle() const { return m_handle; }
    CIDBConnection& connection() const { return m_connection; }

    // Binds the transaction to the statement `name` of `statements`. "Unable to find
    // precompiled statement '%1'." / "No such statement." when there is none of that name;
    // "Failed to select precompiled statement '%1'." / "No such statement." when it is not one
    // to precompile.
    void _setTransaction(const CDBStatementFileReader& statements, const std::string& name);
    // The bound statement's name, or empty.
    const std::string& statement() const { return m_statement; }
    // Runs the bound statement for `table` within the transaction. "Cannot run the transaction's
    // statement." / "No precompiled statement is bound to the transaction." when none is.
    CDBRecordList execute(const std::string& table, const nbx::CStringMap& arguments,
                          std::uint32_t limit = 0);

private:
    void _requireActive(const char* function, const char* message) const;

    CIDBConnection& m_connection;
    CDBTransactionHandle m_handle = 0;
    bool m_active = false;
    std::string m_statement;
};
