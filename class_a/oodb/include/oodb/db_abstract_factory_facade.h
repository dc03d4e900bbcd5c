#pragma once
// The facade over the database implementations. The parent facade knows the implementations by
// name; each thread that uses the database gets its own thread facade (kept per thread), which
// may use only implementations registered in the parent and hands out only the calling thread's
// connection. That way no connection is ever shared between threads.

#include <cstdint>
#include <map>
#include <string>

#include "oodb/db_engine.h"
#include "standard/multi_ptr.h"

class CDBAbstractFactoryThreadFacade;

class CDBAbstractFactoryFacade {
public:
    // The name under which an engine is found among the host's plug-ins.
    static constexpr const char* kDefaultDatabase = "CIDBFacadeFactory";

    CDBAbstractFactoryFacade();
    CDBAbstractFactoryFacade(const CDBAbstractFactoryFacade&) = delete;
    CDBAbstractFactoryFacade& operator=(const CDBAbstractFactoryFacade&) = delete;
    virtual ~CDBAbstractFactoryFacade();

    // Adds an implementation under its name(); a second one of a name replaces the first.
    // Done before the threads start.
    void registerDatabase(CIDBFacadeFactory& database);
    // The implementation of that name; "Wrong database implementation '%1' found." / "Invalid
    // database." when there is none here.
    CIDBFacadeFactory& getDatabase(const std::string& name) const;

    // The calling thread's connection to the named implementation. The parent hands it out
    // through the thread's facade; without one: "Cannot assign thread-reference to a database
    // connection." / "Object is not thread specific.".
    virtual CIDBConnection& dbProxy(const std::string& name = kDefaultDatabase);

    // The calling thread's facade, made on first use with every implementation of the parent
    // registered. Only a parent makes them.
    virtual CDBAbstractFactoryThreadFacade& threadFacade();
    // Ends the calling thread's use of the database: its connections are released and its facade
    // removed. Returns false when the thread had none.
    bool releaseThread();

protected:
    friend class CDBAbstractFactoryThreadFacade;
    std::map<std::string, CIDBFacadeFactory*> m_databases;

private:
    nbx::CMultiPtr<CDBAbstractFactoryThreadFacade*> m_threads;
};
