#include "oodb/db_transaction.h"

#include "oodb/db_abstract_factory_facade.h"
#include "oodb/db_statement_file_reader.h"
#include "standard/throw.h"

CDBTransaction::CDBTransaction(CIDBConnection& connection) : m_connection(connection) {
    m_handle = m_connection.begin();
    m_active = true;
}

CDBTransaction::CDBTransaction(CDBAbstractFactoryFacade& facade)
    : CDBTransaction(facade.dbProxy()) {}

CDBTransaction::~CDBTransaction() {
    if (!m_active) return;
    try {
        m_connection.rollback(m_handle);
    } catch (nbx::CException&) {
        // Nothing more to do here: the engine ends a transaction whose connection failed.
    }
}

void CDBTransaction::_requireActive(const char* function, const char* message) const {
    if (!m_active) {
        NBX_THROW(nbx::CException, "oodb", function, nbx::msg(message),
                  nbx::msg("The transaction has ended."));
    }
}

void CDBTransaction::commit() {
    _requireActive("CDBTransaction::commit", "Cannot commit transaction.");
    m_connection.commit(m_handle);
    m_active = false;
}

void CDBTransaction::rollback() {
    _requireActive("CDBTransaction::rollback", "Cannot roll back transaction.");
    m_active = false;
    m_connection.rollback(m_handle);
}

void CDBTransaction::_setTransaction(const CDBStatementFileReader& statements,
                                     const std::string& name) {
    const CDBStatementDef* def = statements.lookup(name);
    if (!def) {
        NBX_THROW(nbx::CException, "oodb", "CDBTransaction::_setTransaction",
                  nbx::msg("Unable to find precompiled statement '%1'.", name),
                  nbx::msg("No such statement."));
    }
    if (!def->precompile) {
        NBX_THROW(nbx::CException, "oodb", "CDBTransaction::_setTransaction",
                  nbx::msg("Failed to select precompiled statement '%1'.", name),
                  nbx::msg("No such statement."));
    }
    m_statement = name;
}

CDBRecordList CDBTransaction::execute(const std::string& table, const nbx::CStringMap& arguments,
                                      std::uint32_t limit) {
    if (m_statement.empty()) {
        NBX_THROW(nbx::CException, "oodb", "CDBTransaction::execute",
                  nbx::msg("Cannot run the transaction's statement."),
                  nbx::msg("No precompiled statement is bound to the transaction."));
    }
    _requireActive("CDBTransaction::execute", "Cannot run the transaction's statement.");
    return m_connection.execute(m_handle, table, m_statement, arguments, limit);
}
