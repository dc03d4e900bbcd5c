#include "oodb/db_abstract_factory_facade.h"

#include <memory>

#include "oodb/db_abstract_factory_thread_facade.h"
#include "standard/throw.h"

CDBAbstractFactoryFacade::CDBAbstractFactoryFacade() {}

CDBAbstractFactoryFacade::~CDBAbstractFactoryFacade() {}

void CDBAbstractFactoryFacade::registerDatabase(CIDBFacadeFactory& database) {
    m_databases[database.name()] = &database;
}

CIDBFacadeFactory& CDBAbstractFactoryFacade::getDatabase(const std::string& name) const {
    auto found = m_databases.find(name);
    if (found == m_databases.end()) {
        NBX_THROW(nbx::CException, "oodb", "CDBAbstractFactoryFacade::getDatabase",
                  nbx::msg("Wrong database implementation '%1' found.", name),
                  nbx::msg("Invalid database."));
    }
    return *found->second;
}

CIDBConnection& CDBAbstractFactoryFacade::dbProxy(const std::string& name) {
    CDBAbstractFactoryThreadFacade* facade = m_threads.find();
    if (!facade) {
        NBX_THROW(nbx::CException, "oodb", "CDBAbstractFactoryFacade::dbProxy",
                  nbx::msg("Cannot assign thread-reference to a database connection."),
                  nbx::msg("Object is not thread specific."));
    }
    return facade->dbProxy(name);
}

CDBAbstractFactoryThreadFacade& CDBAbstractFactoryFacade::threadFacade() {
    if (CDBAbstractFactoryThreadFacade* facade = m_threads.find()) return *facade;
    auto created = std::make_unique<CDBAbstractFactoryThreadFacade>(*this);
    created->registerAbstractFactory();
    m_threads.insert(created.get());
    return *created.release();
}

bool CDBAbstractFactoryFacade::releaseThread() {
    CDBAbstractFactoryThreadFacade* facade = m_threads.find();
    if (!facade) return false;
    for (auto& entry : facade->m_databases) entry.second->releaseConnection();
    return m_threads.remove();
}
