#pragma once
// A session on the primary storage. open() finds the host's database engine by the interface
// name "CIDBFacadeFactory", opens it with the tables of every registered class and makes one
// proxy per registered class (keyed by text class name).

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "oodb/db_base_session.h"
#include "oodb/db_engine.h"
#include "oodb_persistence/prst_abstract_factory.h"
#include "oodb_persistence/prst_context.h"
#include "oodb_persistence/prst_db_proxy.h"

// The host's interface lookup: the implementation of the named interface, or null. For
// "CIDBFacadeFactory" it returns a CIDBFacadeFactory*.
using CInterfaceLookup = std::function<void*(const std::string& interfaceName)>;

// Proxies by prototype name.
class CIPrstDBProxyAbstractFactory {
public:
    // Throws "Unable to insert database proxy for prototype '%1'." / "The proxy already exists.".
    void _insert(const std::string& prototype, std::unique_ptr<CPrstDBProxy> proxy);
    // Throws "Unable to find a database proxy for prototype '%1'." / "No such proxy.".
    CPrstDBProxy& operator[](const std::string& prototype) const;
    CPrstDBProxy* find(const std::string& prototype) const;
    void clear() { m_proxies.clear(); }

private:
    std::map<std::string, std::unique_ptr<CPrstDBProxy>> m_proxies;
};

class CPrstDBSession {
public:
    static constexpr const char* kEngineInterface = "CIDBFacadeFactory";

    // The session's objects share `context` (a new one when null); the session puts itself and
    // the registry into it.
    explicit CPrstDBSession(const CIPrstAbstractFactory& registry,
                            CPrstContextPtr context = nullptr);
    ~CPrstDBSession();
    CPrstDBSession(const CPrstDBSession&) = delete;
    CPrstDBSession& operator=(const CPrstDBSession&) = delete;

    // _connectToOodb. Without an engine: "Unable to find a database plugin to support primary
    // storage."; an engine that cannot open the tables: "Unable to initialize database '%1'." /
    // "The operation failed.". Opening an open session does nothing.
    void open(const CInterfaceLookup& lookup);
    // _disconnectFromOodb. A closed session throws "Unable to close the database connection to
    // '%1'." / "The database is already closed.". The engine stays open for its other users.
    void close();
    bool isOpen() const { return m_base.isOpen(); }
    const std::string& databaseName() const { return m_base.databaseName(); }

    // Throws "Cannot find a database proxy for prototype '%1'." / "No such proxy.".
    CPrstDBProxy& operator[](const std::string& prototype) const;
    // Typed creation helpers.
    // A new, unstored T with an OID from its table's sequence.
    template <class T>
    std::unique_ptr<T> newObject() const {
        const CIPrstFactory& factory = m_registry.factory(T::classDef().className());
        CPrstObjectPtr object = (*this)[T::classDef().textClassName()].newObject(&factory);
        return std::unique_ptr<T>(static_cast<T*>(object.release()));
    }
    // The object of T with the OID through "generic.oid", or null (also for an object of
    // another class).
    template <class T>
    std::unique_ptr<T> find(CDBTransactionHandle tx, std::uint32_t oid) const {
        CPrstObjectPtr object = (*this)[T::classDef().textClassName()].findByOID(tx, oid);
        T* typed = dynamic_cast<T*>(object.get());
        if (!typed) return nullptr;
        object.release();
        return std::unique_ptr<T>(typed);
    }

    const CPrstContextPtr& context() const { return m_context; }
    const CIPrstAbstractFactory& registry() const { return m_registry; }
    // The calling thread's connection; a closed session throws "Cannot find a database
    // connection for session '%1'." / "The database is closed.".
    CIDBConnection& connection() const { return m_base.connection(); }
    // Database operations run under the timeout manager's guards (see CDBBaseSession).
    void setTimeout(CDBTimeoutMgr* manager, std::chrono::milliseconds timeout) {
        m_base.setTimeout(manager, timeout);
    }
    // A thread that is done with the database closes its connection (see CDBBaseSession).
    bool releaseThread() const { return m_base.releaseThread(); }
    // The database layer's session below this one.
    const CDBBaseSession& base() const { return m_base; }
    CDBTransactionHandle begin() const { return connection().begin(); }
    void commit(CDBTransactionHandle tx) const { connection().commit(tx); }
    void rollback(CDBTransactionHandle tx) const { connection().rollback(tx); }

    // The tables of every registered class.
    std::vector<CDBTableDef> tableDefs() const;

private:
    const CIPrstAbstractFactory& m_registry;
    CPrstContextPtr m_context;
    mutable CDBBaseSession m_base;
    CIPrstDBProxyAbstractFactory m_proxies;
};
