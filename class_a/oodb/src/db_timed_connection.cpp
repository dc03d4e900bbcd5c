#include "oodb/db_timed_connection.h"

CDBTransactionHandle CDBTimedConnection::begin() {
    return _guarded([&] { return m_inner.begin(); });
}

void CDBTimedConnection::commit(CDBTransactionHandle tx) {
    _guarded([&] { m_inner.commit(tx); });
}

void CDBTimedConnection::rollback(CDBTransactionHandle tx) {
    // An undo is never cut short: it is what cleans up after an interrupted operation.
    m_inner.rollback(tx);
}

CDBRecordList CDBTimedConnection::select(CDBTransactionHandle tx, const std::string& table,
                                         const std::string& where, std::uint32_t limit) {
    return _guarded([&] { return m_inner.select(tx, table, where, limit); });
}

std::uint32_t CDBTimedConnection::count(CDBTransactionHandle tx, const std::string& table,
                                        const std::string& where) {
    return _guarded([&] { return m_inner.count(tx, table, where); });
}

CDBRecordList CDBTimedConnection::execute(CDBTransactionHandle tx, const std::string& table,
                                          const std::string& statement,
                                          const nbx::CStringMap& arguments, std::uint32_t limit) {
    return _guarded([&] { return m_inner.execute(tx, table, statement, arguments, limit); });
}

CDBStatementState CDBTimedConnection::prepare(const std::string& table,
                                              const std::string& statement) {
    return _guarded([&] { return m_inner.prepare(table, statement); });
}

void CDBTimedConnection::write(CDBTransactionHandle tx, const CDBRecord& record) {
    _guarded([&] { m_inner.write(tx, record); });
}

void CDBTimedConnection::remove(CDBTransactionHandle tx, const std::string& table,
                                std::uint32_t pk) {
    _guarded([&] { m_inner.remove(tx, table, pk); });
}

std::uint32_t CDBTimedConnection::nextKey(const std::string& table) {
    return _guarded([&] { return m_inner.nextKey(table); });
}
