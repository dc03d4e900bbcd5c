#pragma once
// A store for the database benchmarks: a SQLite file in a fresh folder behind the host's engine,
// with every DHCP and generic class registered and a session open on it. Removed with the
// object.

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "dhcp_database/dhcp_catalog.h"
#include "host/sqlite_engine.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_initializer.h"

class CBenchStore {
public:
    CBenchStore() {
        char name[] = "/tmp/nbx-bench-XXXXXX";
        m_dir = mkdtemp(name);
        m_engine = std::make_unique<host::CSQLiteEngine>(
            host::CSQLiteEngine::Settings{path(), NBX_HOST_DB_DIR});
        addDHCPClasses(m_catalog);
        CPrstDHCPInitializer().init({&m_registry, &m_catalog, {}, 4});
        m_session = std::make_unique<CPrstDBSession>(m_registry);
        m_session->open([this](const std::string&) -> void* { return m_engine.get(); });
    }
    ~CBenchStore() {
        m_session.reset();
        m_engine.reset();
        std::filesystem::remove_all(m_dir);
    }
    CBenchStore(const CBenchStore&) = delete;
    CBenchStore& operator=(const CBenchStore&) = delete;

    CPrstDBSession& session() { return *m_session; }
    std::string path() const { return m_dir + "/store.db"; }

private:
    std::string m_dir;
    CPrstClassCatalog m_catalog;
    CIPrstAbstractFactory m_registry;
    std::unique_ptr<host::CSQLiteEngine> m_engine;
    std::unique_ptr<CPrstDBSession> m_session;
};
