#pragma once
// The database layer's session: the record types (object prototypes) the persistent classes
// declared, and the engine that stores them, reached through the abstract factory facade so
// that each thread only ever uses its own connection.
//
// Opened once before the threads that use it start; closed after they ended (or released
// their connections with releaseThread).

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "oodb/db_abstract_factory_facade.h"
#include "oodb/db_engine.h"
#include "oodb/db_prototype_mgr.h"
#include "oodb/db_timed_connection.h"
#include "standard/multi_ptr.h"

class CDBBaseSession {
public:
    CDBBaseSession();
    ~CDBBaseSession();
    CDBBaseSession(const CDBBaseSession&) = delete;
    CDBBaseSession& operator=(const CDBBaseSession&) = delete;

    // Declares the record types and opens `engine` with them. The declarations are checked
    // first (CDBPrototypeMgr::add); an engine that cannot open throws its own failure. On any
    // failure the session stays closed.
    void open(CIDBFacadeFactory& engine, const std::vector<CDBTableDef>& prototypes);
    // Forgets the engine and the record types; the engine itself stays open for its other
    // users.
    void close();
    bool isOpen() const { return m_engine != nullptr; }
    // The engine's name, kept after close for messages.
    const std::string& databaseName() const { return m_databaseName; }

    // The record type of that name. "Failed to find object prototype '%1'." / "No such
    // prototype.".
    CDBTableDef operator[](const std::string& name) const;
    // An empty record of the type (CDBPrototypeMgr::cloneSimple).
    CDBRecord cloneSimple(const std::string& name) const;
    std::vector<CDBTableDef> tableDefs() const;

    // Operations then run under guards of `manager` (a running "db-timeout-manager" task that
    // outlives the session) with the given limit; a null manager or a zero limit turns that
    // off. Set before the threads that use the session start.
    void setTimeout(CDBTimeoutMgr* manager, std::chrono::milliseconds timeout);

    // The calling thread's connection, through its thread facade (made on first use). The
    // session must be open.
    CIDBConnection& connection();
    // Ends the calling thread's use of the database: its connection is closed and its facade
    // dropped. False when the thread had none.
    bool releaseThread();

private:
    std::unique_ptr<CDBAbstractFactoryFacade> m_facade;
    std::unique_ptr<CDBPrototypeMgr> m_prototypes;
    CIDBFacadeFactory* m_engine = nullptr;
    std::string m_databaseName;
    CDBTimeoutMgr* m_timeoutMgr = nullptr;
    std::chrono::milliseconds m_timeout{0};
    nbx::CMultiPtr<CDBTimedConnection*> m_timed;  // each thread's guarded connection
};
