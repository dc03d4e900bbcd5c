#pragma once
// A thread's connection whose every operation runs under a guard of the "db-timeout-manager"
// task: an operation still running at its deadline is interrupted and fails, instead of holding
// the thread (and the database's write lock) for good. Made by CDBBaseSession when it has a
// timeout manager.

#include <chrono>

#include "oodb/db_engine.h"
#include "oodb/db_timeout_mgr.h"

class CDBTimedConnection : public CIDBConnection {
public:
    CDBTimedConnection(CIDBConnection& inner, CDBTimeoutMgr& manager,
                       std::chrono::milliseconds timeout)
        : m_inner(inner), m_manager(manager), m_timeout(timeout) {}

    CIDBConnection& inner() const { return m_inner; }

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
    CDBStatementState prepare(const std::string& table, const std::string& statement) override;
    void write(CDBTransactionHandle tx, const CDBRecord& record) override;
    void remove(CDBTransactionHandle tx, const std::string& table, std::uint32_t pk) override;
    std::uint32_t nextKey(const std::string& table) override;
    void interrupt() override { m_inner.interrupt(); }

private:
    template <class F>
    auto _guarded(F&& operation) -> decltype(operation()) {
        CDBTimeoutMgr::Guard guard(m_manager, m_inner, m_timeout);
        return operation();
    }

    CIDBConnection& m_inner;
    CDBTimeoutMgr& m_manager;
    const std::chrono::milliseconds m_timeout;
};
