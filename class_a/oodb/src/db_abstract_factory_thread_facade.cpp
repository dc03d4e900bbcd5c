#include "oodb/db_abstract_factory_thread_facade.h"

#include "oodb/db_abstract_factory_proxy.h"

#include "standard/sync.h"
#include "standard/throw.h"

CDBAbstractFactoryThreadFacade::CDBAbstractFactoryThreadFacade(
    const CDBAbstractFactoryFacade& parent)
    : m_parent(parent), m_owner(nbx::currentThreadId()) {}

CDBAbstractFactoryThreadFacade::~CDBAbstractFactoryThreadFacade() {}

void CDBAbstractFactoryThreadFacade::registerFactory(const std::string& name) {
    auto found = m_parent.m_databases.find(name);
    if (found == m_parent.m_databases.end()) {
        NBX_THROW(nbx::CException, "oodb", "CDBAbstractFactoryThreadFacade::registerFactory",
                  nbx::msg("Unable to register a database factory."),
                  nbx::msg("An abstract factory thread facade can only use instances that have "
                           "been registered in its parent abstract factory facade."));
    }
    m_databases[name] = found->second;
}

void CDBAbstractFactoryThreadFacade::registerAbstractFactory() {
    m_databases = m_parent.m_databases;
}

void CDBAbstractFactoryThreadFacade::deRegisterFactory(const std::string& name) {
    if (m_databases.erase(name) == 0) {
        NBX_THROW(nbx::CException, "oodb", "CDBAbstractFactoryThreadFacade::deRegisterFactory",
                  nbx::msg("Unable to deregister a database factory."),
                  nbx::msg("Nothing to deregister."));
    }
}

CIDBConnection& CDBAbstractFactoryThreadFacade::dbProxy(const std::string& name) {
    if (nbx::currentThreadId() != m_owner) {
        NBX_THROW(nbx::CException, "oodb", "CDBAbstractFactoryThreadFacade::dbProxy",
                  nbx::msg("Cannot assign thread-reference to a database connection."),
                  nbx::msg("Object is not thread specific."));
    }
    return CDBAbstractFactoryProxy(m_databases).create(name);
}

CDBAbstractFactoryThreadFacade& CDBAbstractFactoryThreadFacade::threadFacade() {
    NBX_THROW(nbx::CException, "oodb", "CDBAbstractFactoryThreadFacade::threadFacade",
              nbx::msg("Unable to create a thread-specific clone."),
              nbx::msg("Only a parent abstract factory facade can create thread specific clones."));
}
