#pragma once
// The facade of one thread: the implementations it registered (each one registered in its parent
// first) and the owner thread, the only one allowed to ask it for connections.

#include <cstdint>
#include <string>

#include "oodb/db_abstract_factory_facade.h"

class CDBAbstractFactoryThreadFacade : public CDBAbstractFactoryFacade {
public:
    // Owned by the calling thread; starts with no implementation registered.
    explicit CDBAbstractFactoryThreadFacade(const CDBAbstractFactoryFacade& parent);
    ~CDBAbstractFactoryThreadFacade() override;

    // Takes the parent's implementation of that name. "Unable to register a database factory." /
    // "An abstract factory thread facade can only use instances that have been registered in
    // its parent abstract factory facade." when the parent has none.
    void registerFactory(const std::string& name);
    // Takes every implementation of the parent.
    void registerAbstractFactory();
    // "Unable to deregister a database factory." / "Nothing to deregister." when not registered.
    void deRegisterFactory(const std::string& name);

    // The owner thread's connection; from any other thread "Cannot assign thread-reference to a
    // database connection." / "Object is not thread specific.".
    CIDBConnection& dbProxy(const std::string& name = kDefaultDatabase) override;
    // "Unable to create a thread-specific clone." / "Only a parent abstract factory facade can
    // create thread specific clones."
    CDBAbstractFactoryThreadFacade& threadFacade() override;

    std::uint32_t ownerThread() const { return m_owner; }

private:
    const CDBAbstractFactoryFacade& m_parent;
    const std::uint32_t m_owner;
};
