#include "oodb_persistence/prst_db_session.h"

void CIPrstDBProxyAbstractFactory::_insert(const std::string& prototype,
                                           std::unique_ptr<CPrstDBProxy> proxy) {
    if (m_proxies.count(prototype)) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CIPrstDBProxyAbstractFactory::_insert",
                  nbx::msg("Unable to insert database proxy for prototype '%1'.", prototype),
                  nbx::msg("The proxy already exists."));
    }
    m_proxies[prototype] = std::move(proxy);
}

CPrstDBProxy* CIPrstDBProxyAbstractFactory::find(const std::string& prototype) const {
    auto found = m_proxies.find(prototype);
    return found == m_proxies.end() ? nullptr : found->second.get();
}

CPrstDBProxy& CIPrstDBProxyAbstractFactory::operator[](const std::string& prototype) const {
    CPrstDBProxy* proxy = find(prototype);
    if (!proxy) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CIPrstDBProxyAbstractFactory::operator[]",
                  nbx::msg("Unable to find a database proxy for prototype '%1'.", prototype),
                  nbx::msg("No such proxy."));
    }
    return *proxy;
}

CPrstDBSession::CPrstDBSession(const CIPrstAbstractFactory& registry, CPrstContextPtr context)
    : m_registry(registry),
      m_context(context ? std::move(context) : std::make_shared<CPrstContext>()) {
    m_context->setSession(this);
    m_context->setRegistry(&m_registry);
}

CPrstDBSession::~CPrstDBSession() {
    if (m_context->session() == this) m_context->setSession(nullptr);
}

std::vector<CDBTableDef> CPrstDBSession::tableDefs() const {
    std::vector<CDBTableDef> tables;
    for (const CIPrstFactory* factory : m_registry.factories()) {
        for (const CDBTableDef& table : factory->classDef().tableDefs()) {
            CDBTableDef* merged = nullptr;
            for (CDBTableDef& existing : tables) {
                if (existing.name == table.name) merged = &existing;
            }
            if (!merged) {
                tables.push_back(table);
                continue;
            }
            // Classes sharing a table (address and network variants) add their own columns.
            for (const auto& column : table.columns) {
                if (!merged->columns.has(column.first))
                    merged->columns.set(column.first, column.second);
            }
        }
    }
    return tables;
}

void CPrstDBSession::open(const CInterfaceLookup& lookup) {
    if (m_base.isOpen()) return;
    void* found = lookup ? lookup(kEngineInterface) : nullptr;
    if (!found) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBSession::_connectToOodb",
                  nbx::msg("Unable to find a database plugin to support primary storage."),
                  nbx::CMessage());
    }
    CIDBFacadeFactory* engine = static_cast<CIDBFacadeFactory*>(found);
    const std::string name = engine->name();
    // The proxies are made first: once the database is open nothing is left that can fail, so
    // a failed open never leaves a connection behind to close.
    CIPrstDBProxyAbstractFactory proxies;
    for (const CIPrstFactory* factory : m_registry.factories()) {
        const std::string& prototype = factory->textClassName();
        // Classes sharing a prototype share its proxy: the meta-class entry picks the class.
        if (prototype.empty() || proxies.find(prototype)) continue;
        proxies._insert(prototype, std::make_unique<CPrstDefDBProxy>(*this, *factory));
    }
    try {
        m_base.open(*engine, tableDefs());
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBSession::_connectToOodb",
                  nbx::msg("Unable to initialize database '%1'.", name),
                  nbx::msg("The operation failed."));
    }
    m_proxies = std::move(proxies);
}

void CPrstDBSession::close() {
    if (!m_base.isOpen()) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBSession::_disconnectFromOodb",
                  nbx::msg("Unable to close the database connection to '%1'.", databaseName()),
                  nbx::msg("The database is already closed."));
    }
    m_proxies.clear();
    m_base.close();
}

CPrstDBProxy& CPrstDBSession::operator[](const std::string& prototype) const {
    CPrstDBProxy* proxy = m_proxies.find(prototype);
    if (!proxy) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBSession::operator[]",
                  nbx::msg("Cannot find a database proxy for prototype '%1'.", prototype),
                  nbx::msg("No such proxy."));
    }
    return *proxy;
}
