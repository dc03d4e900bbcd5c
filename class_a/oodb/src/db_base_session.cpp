#include "oodb/db_base_session.h"

#include "oodb/db_abstract_factory_thread_facade.h"
#include "standard/throw.h"

CDBBaseSession::CDBBaseSession() : m_prototypes(std::make_unique<CDBPrototypeMgr>()) {}

CDBBaseSession::~CDBBaseSession() {}

void CDBBaseSession::open(CIDBFacadeFactory& engine, const std::vector<CDBTableDef>& prototypes) {
    auto declared = std::make_unique<CDBPrototypeMgr>();
    for (const CDBTableDef& prototype : prototypes) declared->add(prototype);
    engine.declare(declared->tableDefs());
    auto facade = std::make_unique<CDBAbstractFactoryFacade>();
    facade->registerDatabase(engine);
    m_facade = std::move(facade);
    m_prototypes = std::move(declared);
    m_engine = &engine;
    m_databaseName = engine.name();
}

void CDBBaseSession::close() {
    // The thread facades go with the parent; the engine closes the connections itself.
    m_timed.clear();
    m_facade.reset();
    m_prototypes = std::make_unique<CDBPrototypeMgr>();
    m_engine = nullptr;
}

CDBTableDef CDBBaseSession::operator[](const std::string& name) const {
    if (!m_prototypes->has(name)) {
        NBX_THROW(nbx::CException, "oodb", "CDBBaseSession::operator[]",
                  nbx::msg("Failed to find object prototype '%1'.", name),
                  nbx::msg("No such prototype."));
    }
    return CDBTableDef{name, m_prototypes->columnDefs(name)};
}

CDBRecord CDBBaseSession::cloneSimple(const std::string& name) const {
    return m_prototypes->cloneSimple(name);
}

std::vector<CDBTableDef> CDBBaseSession::tableDefs() const {
    return m_prototypes->tableDefs();
}

CIDBConnection& CDBBaseSession::connection() {
    if (!m_engine) {
        NBX_THROW(nbx::CException, "oodb", "CDBBaseSession::connection",
                  nbx::msg("Cannot find a database connection for session '%1'.", m_databaseName),
                  nbx::msg("The database is closed."));
    }
    CIDBConnection& connection = m_facade->threadFacade().dbProxy(m_databaseName);
    if (!m_timeoutMgr || m_timeout.count() <= 0) return connection;
    if (CDBTimedConnection* timed = m_timed.find()) return *timed;
    auto timed = std::make_unique<CDBTimedConnection>(connection, *m_timeoutMgr, m_timeout);
    m_timed.insert(timed.get());
    return *timed.release();
}

void CDBBaseSession::setTimeout(CDBTimeoutMgr* manager, std::chrono::milliseconds timeout) {
    m_timed.clear();
    m_timeoutMgr = manager;
    m_timeout = timeout;
}

bool CDBBaseSession::releaseThread() {
    if (m_timed.find()) m_timed.remove();
    return m_facade && m_facade->releaseThread();
}
