#include "host/sqlite_engine.h"

#include <algorithm>

#include <set>

#include "sqlite_connection.h"
#include "standard/throw.h"

namespace host {

namespace {

const char* const kModule = "host";

const char* sqlTypeOf(CDBFieldType::Type type) {
    return CDBFieldType::sqlType(CDBFieldType::storageClass(type));
}

}  // namespace

CSQLiteEngine::CSQLiteEngine(Settings settings)
    : m_settings(std::move(settings)),
      m_statements(std::make_unique<CDBStatementFileReader>()),
      m_groups(std::make_unique<CDBTableGroupFileReader>()) {}

CSQLiteEngine::~CSQLiteEngine() {
    close();
}

std::string CSQLiteEngine::name() const {
    return "CIDBFacadeFactory";
}

bool CSQLiteEngine::isOpen() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_open;
}

void CSQLiteEngine::_collect(const std::vector<CDBTableDef>& tables, CTableMap& into) const {
    for (const CDBTableDef& table : tables) {
        if (table.name == kSequenceTable || table.name.empty()) {
            NBX_THROW(nbx::CException, kModule, "CSQLiteEngine::open",
                      nbx::msg("Unable to open database '%1'.", m_settings.path),
                      nbx::msg("Invalid table name '%1'.", table.name));
        }
        auto& columns = into[table.name];
        for (const auto& column : table.columns) {
            if (column.first == "PK") continue;
            columns[column.first] = CDBFieldType::parse(column.second);
        }
    }
}

void CSQLiteEngine::open(const std::vector<CDBTableDef>& tables) {
    std::lock_guard<std::mutex> opening(m_openMutex);
    static const char* const kFunction = "CSQLiteEngine::open";
    if (isOpen()) {
        NBX_THROW(nbx::CException, kModule, kFunction,
                  nbx::msg("Unable to open database '%1'.", m_settings.path),
                  nbx::msg("The database is already open."));
    }

    auto statements = std::make_unique<CDBStatementFileReader>();
    auto groups = std::make_unique<CDBTableGroupFileReader>();
    if (!m_settings.statementDirectory.empty()) {
        statements->readDirectory(m_settings.statementDirectory, "*.inc");
        groups->readDirectory(m_settings.statementDirectory, "*.grp");
        for (const auto& statement : statements->statements()) groups->find(statement.second.group);
    }

    auto declared = std::make_shared<CTableMap>();
    _collect(tables, *declared);

    CSQLiteConnection setup(*this);
    const std::vector<std::string> modes = setup.queryColumn("PRAGMA journal_mode=WAL", 0);
    const std::string mode = modes.empty() ? std::string() : modes.front();
    if (mode != "wal") {
        NBX_THROW(nbx::CException, kModule, kFunction,
                  nbx::msg("Unable to open database '%1'.", m_settings.path),
                  nbx::msg("Journal mode '%1' instead of write-ahead log.", mode));
    }
    _createTables(setup, tables, *declared);
    std::lock_guard<std::mutex> guard(m_mutex);
    m_statements = std::move(statements);
    m_groups = std::move(groups);
    std::atomic_store(&m_tables, std::shared_ptr<const CTableMap>(declared));
    m_open = true;
}

void CSQLiteEngine::declare(const std::vector<CDBTableDef>& tables) {
    std::unique_lock<std::mutex> opening(m_openMutex);
    if (!isOpen()) {
        opening.unlock();
        open(tables);
        return;
    }
    auto declared = std::make_shared<CTableMap>(*_tables());
    _collect(tables, *declared);
    CSQLiteConnection setup(*this);
    _createTables(setup, tables, *declared);
    std::atomic_store(&m_tables, std::shared_ptr<const CTableMap>(declared));
}

void CSQLiteEngine::_createTables(CSQLiteConnection& setup, const std::vector<CDBTableDef>& tables,
                                  const CTableMap& declared) {
    setup.exec("BEGIN IMMEDIATE");
    try {
        setup.exec("CREATE TABLE IF NOT EXISTS " + quoted(kSequenceTable) +
                   " (\"NAME\" TEXT PRIMARY KEY, \"VALUE\" INTEGER NOT NULL)");
        for (const CDBTableDef& table : tables) {
            const auto& columns = declared.at(table.name);
            std::string sql =
                "CREATE TABLE IF NOT EXISTS " + quoted(table.name) + " (\"PK\" INTEGER PRIMARY KEY";
            for (const auto& column : columns) {
                sql += ", " + quoted(column.first) + " " + sqlTypeOf(column.second);
            }
            setup.exec(sql + ")");
            // A table made by an older declaration gets the columns declared since.
            const std::vector<std::string> names =
                setup.queryColumn("PRAGMA table_info(" + quoted(table.name) + ")", 1);
            const std::set<std::string> present(names.begin(), names.end());
            for (const auto& column : columns) {
                if (present.count(column.first)) continue;
                setup.exec("ALTER TABLE " + quoted(table.name) + " ADD COLUMN " +
                           quoted(column.first) + " " + sqlTypeOf(column.second));
            }
            // Objects are looked up by name (the console's checks, a peer's change): without an
            // index every such lookup reads the whole table.
            if (columns.count("NAME")) {
                setup.exec("CREATE INDEX IF NOT EXISTS " + quoted(table.name + "_NAME") + " ON " +
                           quoted(table.name) + " (\"NAME\")");
            }
        }
        setup.exec("COMMIT");
    } catch (...) {
        try {
            setup.exec("ROLLBACK");
        } catch (nbx::CException&) {
        }
        throw;
    }
}

void CSQLiteEngine::close() {
    std::lock_guard<std::mutex> opening(m_openMutex);
    std::lock_guard<std::mutex> guard(m_mutex);
    m_open = false;
    for (auto& entry : m_connections) {
        entry.second->closeHandle();
        m_closed.push_back(std::move(entry.second));
    }
    m_connections.clear();
}

CIDBConnection& CSQLiteEngine::connection() {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_open) {
        NBX_THROW(nbx::CException, kModule, "CSQLiteEngine::connection",
                  nbx::msg("Cannot use database '%1'.", m_settings.path),
                  nbx::msg("The database is closed."));
    }
    auto& slot = m_connections[std::this_thread::get_id()];
    if (!slot) {
        try {
            slot = std::make_unique<CSQLiteConnection>(*this);
        } catch (...) {
            m_connections.erase(std::this_thread::get_id());
            throw;
        }
    }
    return *slot;
}

void CSQLiteEngine::releaseConnection() {
    std::unique_ptr<CSQLiteConnection> released;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto found = m_connections.find(std::this_thread::get_id());
        if (found == m_connections.end()) return;
        released = std::move(found->second);
        m_connections.erase(found);
    }
}

CDBFieldType::Type CSQLiteEngine::_columnType(const std::string& table,
                                              const std::string& column) const {
    const std::shared_ptr<const CTableMap> tables = _tables();
    auto found = tables->find(table);
    if (found == tables->end()) return CDBFieldType::kUnknown;
    auto type = found->second.find(column);
    return type == found->second.end() ? CDBFieldType::kUnknown : type->second;
}

CSQLiteEngine::KeyRange CSQLiteEngine::keyRange(std::uint32_t nodeId) {
    if (nodeId == 0) return {1, kNoKey - 1};
    return {nodeId << 24 | 1, nodeId << 24 | 0xFFFFFFu};
}

CSQLiteEngine::KeyRange CSQLiteEngine::keyRange(const std::string& table) const {
    const auto& own = m_settings.unrangedTables;
    const bool ranged = std::find(own.begin(), own.end(), table) == own.end();
    return keyRange(ranged ? m_settings.nodeId : 0);
}

std::uint32_t CSQLiteEngine::_keyMark(const std::string& table) {
    std::lock_guard<std::mutex> guard(m_keyMutex);
    auto found = m_keyMarks.find(table);
    return found == m_keyMarks.end() ? 0 : found->second;
}

void CSQLiteEngine::_raiseKeyMark(const std::string& table, std::uint32_t key) {
    std::lock_guard<std::mutex> guard(m_keyMutex);
    std::uint32_t& mark = m_keyMarks[table];
    if (key > mark) mark = key;
}

CDBTransactionHandle CSQLiteEngine::_nextHandle() {
    CDBTransactionHandle handle = ++m_handles;
    if (handle == 0) handle = ++m_handles;
    return handle;
}

}  // namespace host
