#pragma once
// Creates, for the calling thread, the object through which it uses a database implementation
// (its connection), from the implementations a facade has registered. The three ways this can
// fail are told apart, because they point at different mistakes: a name that was never
// registered, an implementation that was registered but never opened, and one that is open but
// cannot give this thread a connection.

#include <map>
#include <string>

#include "oodb/db_engine.h"

class CDBAbstractFactoryProxy {
public:
    using CDatabaseMap = std::map<std::string, CIDBFacadeFactory*>;

    explicit CDBAbstractFactoryProxy(const CDatabaseMap& databases) : m_databases(databases) {}

    // The calling thread's connection to the named implementation. Throws, with the reason
    // "Database implementation not initialized.": "Unable to find a database implementation
    // for '%1'." (not registered), "Unable to find a factory using database implementation
    // '%1'." (not open), "Unable to create a visitor instance for database implementation
    // '%1'." (the implementation refused).
    CIDBConnection& create(const std::string& name) const;

private:
    const CDatabaseMap& m_databases;
};
