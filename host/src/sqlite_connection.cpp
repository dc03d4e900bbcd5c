#include "sqlite_connection.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/sqlite_engine.h"
#include "oodb/db_statement_file_reader.h"
#include "oodb/db_table_group_file_reader.h"
#include "oodb/precmpl_stmnt_generator.h"
#include "standard/decimal.h"
#include "standard/throw.h"

namespace host {

namespace {

const char* const kModule = "host";
// Prepared statements kept per connection; the cache starts over when it is full, so that
// callers' ad-hoc conditions cannot grow it without bound.
constexpr std::size_t kCacheLimit = 128;

// Strict decimal integer: optional sign, digits, nothing else.
bool parseInteger(const std::string& text, std::int64_t& value) {
    if (text.size() > 20) return false;
    const nbx::DecimalPrefix number = nbx::readDecimal(text);
    if (number.status != nbx::DecimalPrefix::ok || number.length != text.size()) return false;
    value = number.value;
    return true;
}

bool parseReal(const std::string& text, double& value) {
    if (text.empty() || text[0] == ' ' || text[0] == '\t') return false;
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

// The 32-bit unsigned types travel as signed decimals ("-1" for 4294967295); stored as their
// unsigned value they compare correctly with keys and with each other.
std::string unsigned32(const std::string& text) {
    std::int64_t value = 0;
    if (parseInteger(text, value) && value < 0 && value >= -2147483648LL) {
        return std::to_string(value + 4294967296LL);
    }
    return text;
}

// The shortest text that reads back as the same double.
std::string realText(double value) {
    char buffer[40];
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    return buffer;
}

std::string withTable(const std::string& sql, const std::string& table) {
    static const std::string kPlaceholder =
        std::string("<<") + CPrecmplStmntGenerator::kTable + ">>";
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t found = sql.find(kPlaceholder, at);
        if (found == std::string::npos) break;
        out += sql.substr(at, found - at) + quoted(table);
        at = found + kPlaceholder.size();
    }
    return out + sql.substr(at);
}

}  // namespace

// Resets a statement when the call that ran it ends, however it ends, so that no statement
// keeps a read snapshot open.
class CSQLiteConnection::CReset {
public:
    explicit CReset(sqlite3_stmt* statement) : m_statement(statement) {}
    ~CReset() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }

private:
    sqlite3_stmt* m_statement;
};

CSQLiteConnection::CSQLiteConnection(CSQLiteEngine& engine) : m_engine(engine) {
    _open();
}

CSQLiteConnection::~CSQLiteConnection() {
    closeHandle();
}

void CSQLiteConnection::_open() {
    const std::string& path = m_engine.settings().path;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string reason = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        NBX_THROW(nbx::CException, kModule, "CSQLiteConnection::open",
                  nbx::msg("Unable to open database '%1'.", path), nbx::msg("%1", reason));
    }
    sqlite3_busy_timeout(m_db, m_engine.settings().busyTimeoutMs);
    try {
        exec("PRAGMA synchronous=FULL");
    } catch (...) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw;
    }
}

void CSQLiteConnection::_clearCache() {
    for (auto& entry : m_cache) sqlite3_finalize(entry.second);
    m_cache.clear();
}

void CSQLiteConnection::closeHandle() {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    if (!m_db) return;
    _clearCache();
    m_named.clear();
    if (m_active != 0 && !sqlite3_get_autocommit(m_db)) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    std::lock_guard<std::mutex> handle(m_handleMutex);
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_active = 0;
    m_aborted = false;
}

void CSQLiteConnection::interrupt() {
    std::lock_guard<std::mutex> handle(m_handleMutex);
    // A statement cut short fails with SQLITE_INTERRUPT and takes the usual failure path (_fail
    // rolls its transaction back). With no statement running SQLite forgets the request when the
    // next statement starts.
    if (m_db) sqlite3_interrupt(m_db);
}

void CSQLiteConnection::_requireOpen(const char* function) const {
    if (!m_db) {
        NBX_THROW(nbx::CException, kModule, function,
                  nbx::msg("Cannot use database '%1'.", m_engine.settings().path),
                  nbx::msg("The database is closed."));
    }
}

void CSQLiteConnection::_requireTransaction(CDBTransactionHandle tx, const char* function) const {
    _requireOpen(function);
    if (tx == 0) return;
    if (tx != m_active) {
        NBX_THROW(nbx::CException, kModule, function, nbx::msg("Unknown transaction %1.", tx),
                  nbx::msg("No such transaction."));
    }
    if (m_aborted) {
        NBX_THROW(nbx::CException, kModule, function,
                  nbx::msg("Transaction %1 was rolled back after a failed statement.", tx),
                  nbx::msg("Transaction aborted."));
    }
}

void CSQLiteConnection::_requireMayWrite(CDBTransactionHandle tx, const char* function) const {
    if (tx == 0 && m_active != 0 && !m_aborted) {
        NBX_THROW(nbx::CException, kModule, function,
                  nbx::msg("Cannot write outside transaction %1, which is open on this connection.",
                           m_active),
                  nbx::msg("Transaction in progress."));
    }
}

void CSQLiteConnection::_fail(const char* function, const std::string& sql, CDBTransactionHandle tx,
                              int code) {
    const std::string reason = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
    if (m_db && m_active != 0 && !m_aborted) {
        // The failing call's own transaction is undone as a whole; SQLite may also have ended
        // the open one by itself (a full disk, an I/O error).
        if (tx == m_active && !sqlite3_get_autocommit(m_db)) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        if (sqlite3_get_autocommit(m_db)) m_aborted = true;
    }
    NBX_THROW(nbx::CException, kModule, function,
              nbx::msg("Cannot execute sql statement '%1'.", sql), nbx::msg("%1", reason));
}

sqlite3_stmt* CSQLiteConnection::_prepare(const std::string& sql, CDBTransactionHandle tx,
                                          const char* function) {
    auto cached = m_cache.find(sql);
    if (cached != m_cache.end()) return cached->second;
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(m_db, sql.c_str(), static_cast<int>(sql.size()) + 1, &statement, &tail);
    if (rc != SQLITE_OK) _fail(function, sql, tx, rc);
    if (!statement) {
        NBX_THROW(nbx::CException, kModule, function,
                  nbx::msg("Cannot execute sql statement '%1'.", sql),
                  nbx::msg("The text holds no statement."));
    }
    for (; tail && *tail; ++tail) {
        if (*tail != ' ' && *tail != '\t' && *tail != '\n' && *tail != '\r' && *tail != ';') {
            sqlite3_finalize(statement);
            NBX_THROW(nbx::CException, kModule, function,
                      nbx::msg("Cannot execute sql statement '%1'.", sql),
                      nbx::msg("Only one statement can run at a time."));
        }
    }
    if (m_cache.size() >= kCacheLimit) _clearCache();
    m_cache.emplace(sql, statement);
    return statement;
}

void CSQLiteConnection::_bind(sqlite3_stmt* statement, int index, const std::string& value,
                              CDBFieldType::Type type, CDBTransactionHandle tx,
                              const char* function) {
    const std::string text = CDBFieldType::isUnsigned32(type) ? unsigned32(value) : value;
    int rc = SQLITE_OK;
    std::int64_t integer = 0;
    double real = 0;
    const CDBFieldType::StorageClass storage = CDBFieldType::storageClass(type);
    if (storage == CDBFieldType::kInteger && parseInteger(text, integer)) {
        rc = sqlite3_bind_int64(statement, index, integer);
    } else if (storage == CDBFieldType::kReal && parseReal(text, real)) {
        rc = sqlite3_bind_double(statement, index, real);
    } else {
        rc = sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                               SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK) _fail(function, sqlite3_sql(statement), tx, rc);
}

void CSQLiteConnection::_runToEnd(sqlite3_stmt* statement, CDBTransactionHandle tx,
                                  const char* function) {
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) _fail(function, sqlite3_sql(statement), tx, rc);
}

CDBRecordList CSQLiteConnection::_rows(sqlite3_stmt* statement, const std::string& table,
                                       std::uint32_t limit, CDBTransactionHandle tx,
                                       const char* function) {
    CDBRecordList rows;
    const int columns = sqlite3_column_count(statement);
    for (;;) {
        if (limit != 0 && rows.size() >= limit) break;
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) _fail(function, sqlite3_sql(statement), tx, rc);
        CDBRecord record;
        record.table = table;
        for (int i = 0; i < columns; ++i) {
            const int type = sqlite3_column_type(statement, i);
            if (type == SQLITE_NULL) continue;
            const char* name = sqlite3_column_name(statement, i);
            const std::string column = name ? name : std::string();
            std::string value;
            if (type == SQLITE_FLOAT) {
                value = realText(sqlite3_column_double(statement, i));
            } else {
                const unsigned char* text = sqlite3_column_text(statement, i);
                value.assign(reinterpret_cast<const char*>(text),
                             static_cast<std::size_t>(sqlite3_column_bytes(statement, i)));
            }
            if (column == "PK" && type == SQLITE_INTEGER) {
                const sqlite3_int64 key = sqlite3_column_int64(statement, i);
                record.pk = key >= 0 && key < kNoKey ? static_cast<std::uint32_t>(key) : kNoKey;
                continue;
            }
            record.values.emplace(column, std::move(value));
        }
        rows.push_back(std::move(record));
    }
    return rows;
}

void CSQLiteConnection::exec(const std::string& sql) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    _requireOpen("CSQLiteConnection::exec");
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        sqlite3_free(error);
        _fail("CSQLiteConnection::exec", sql, 0, rc);
    }
}

std::vector<std::string> CSQLiteConnection::queryColumn(const std::string& sql, int column) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::queryColumn";
    _requireOpen(kFunction);
    sqlite3_stmt* statement = _prepare(sql, 0, kFunction);
    CReset reset(statement);
    std::vector<std::string> values;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, column);
        values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    if (rc != SQLITE_DONE) _fail(kFunction, sql, 0, rc);
    return values;
}

CDBTransactionHandle CSQLiteConnection::begin() {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::begin";
    _requireOpen(kFunction);
    if (m_active != 0 && !m_aborted) {
        NBX_THROW(nbx::CException, kModule, kFunction, nbx::msg("Cannot begin a transaction."),
                  nbx::msg("A transaction is already active on this connection."));
    }
    m_active = 0;
    m_aborted = false;
    exec("BEGIN IMMEDIATE");
    m_active = m_engine._nextHandle();
    return m_active;
}

void CSQLiteConnection::commit(CDBTransactionHandle tx) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::commit";
    if (tx == 0) {
        _requireOpen(kFunction);
        NBX_THROW(nbx::CException, kModule, kFunction, nbx::msg("Unknown transaction %1.", tx),
                  nbx::msg("No such transaction."));
    }
    _requireTransaction(tx, kFunction);
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, &error);
    sqlite3_free(error);
    if (rc == SQLITE_OK) {
        m_active = 0;
        return;
    }
    // A commit that fails leaves the transaction to the caller's rollback, unless SQLite ended
    // it itself.
    const std::string reason = sqlite3_errmsg(m_db);
    if (sqlite3_get_autocommit(m_db)) m_aborted = true;
    NBX_THROW(nbx::CException, kModule, kFunction, nbx::msg("Cannot commit transaction %1.", tx),
              nbx::msg("%1", reason));
}

void CSQLiteConnection::rollback(CDBTransactionHandle tx) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::rollback";
    _requireOpen(kFunction);
    if (tx == 0 || tx != m_active) {
        NBX_THROW(nbx::CException, kModule, kFunction, nbx::msg("Unknown transaction %1.", tx),
                  nbx::msg("No such transaction."));
    }
    const bool open = !sqlite3_get_autocommit(m_db);
    m_active = 0;
    m_aborted = false;
    if (!open) return;
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, &error);
    sqlite3_free(error);
    if (rc != SQLITE_OK) {
        NBX_THROW(nbx::CException, kModule, kFunction,
                  nbx::msg("Cannot roll back transaction %1.", tx),
                  nbx::msg("%1", sqlite3_errmsg(m_db)));
    }
}

CDBRecordList CSQLiteConnection::select(CDBTransactionHandle tx, const std::string& table,
                                        const std::string& where, std::uint32_t limit) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::select";
    _requireTransaction(tx, kFunction);
    std::string sql = "SELECT T.* FROM " + quoted(table) + " AS T";
    if (!where.empty()) sql += " WHERE (" + where + ")";
    sql += " ORDER BY T.PK";
    if (limit != 0) sql += " LIMIT " + std::to_string(limit);
    sqlite3_stmt* statement = _prepare(sql, tx, kFunction);
    CReset reset(statement);
    return _rows(statement, table, limit, tx, kFunction);
}

std::uint32_t CSQLiteConnection::count(CDBTransactionHandle tx, const std::string& table,
                                       const std::string& where) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::count";
    _requireTransaction(tx, kFunction);
    std::string sql = "SELECT COUNT(*) FROM " + quoted(table) + " AS T";
    if (!where.empty()) sql += " WHERE (" + where + ")";
    sqlite3_stmt* statement = _prepare(sql, tx, kFunction);
    CReset reset(statement);
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_ROW) _fail(kFunction, sql, tx, rc);
    const sqlite3_int64 rows = sqlite3_column_int64(statement, 0);
    return rows > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<std::uint32_t>(rows);
}

const CSQLiteConnection::CPrepared& CSQLiteConnection::_named(const std::string& statementName,
                                                              const std::string& table,
                                                              const char* function) {
    const std::string key = statementName + "\n" + table;
    auto found = m_named.find(key);
    if (found != m_named.end()) return found->second;
    const CDBStatementDef& def = m_engine.statements().find(statementName);
    const CDBTableGroup& group = m_engine.tableGroups().find(def.group);
    if (!group.contains(table)) {
        NBX_THROW(nbx::CException, kModule, function,
                  nbx::msg("Statement '%1' does not apply to table '%2'.", statementName, table),
                  nbx::msg("The table is not in group '%1'.", def.group));
    }
    if (m_named.size() >= kCacheLimit) m_named.clear();
    CPrepared prepared{CPrecmplStmntGenerator(def.argNames, def.argTypes, def.genericArgs),
                       withTable(def.statement, table)};
    return m_named.emplace(key, std::move(prepared)).first->second;
}

CDBRecordList CSQLiteConnection::execute(CDBTransactionHandle tx, const std::string& table,
                                         const std::string& statementName,
                                         const nbx::CStringMap& arguments, std::uint32_t limit) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::execute";
    _requireTransaction(tx, kFunction);
    const CPrepared& named = _named(statementName, table, kFunction);
    const CPrecmplStmntGenerator::Statement generated =
        named.generator.generate(named.sql, arguments);
    sqlite3_stmt* statement = _prepare(generated.sql, tx, kFunction);
    if (!sqlite3_stmt_readonly(statement)) _requireMayWrite(tx, kFunction);
    CReset reset(statement);
    int index = 1;
    for (const CPrecmplStmntGenerator::Parameter& parameter : generated.parameters) {
        _bind(statement, index++, parameter.value, parameter.type, tx, kFunction);
    }
    return _rows(statement, table, limit, tx, kFunction);
}

CDBStatementState CSQLiteConnection::prepare(const std::string& table,
                                             const std::string& statementName) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    _requireOpen("CSQLiteConnection::prepare");
    CDBStatementState state;
    const CDBStatementDef* def = m_engine.statements().lookup(statementName);
    if (!def || !m_engine._isDeclared(table)) return state;
    const auto& groups = m_engine.tableGroups().groups();
    auto group = groups.find(def->group);
    if (group == groups.end() || !group->second.contains(table)) return state;
    const std::vector<std::string>& tables = group->second.tables;
    state.generic = std::find(tables.begin(), tables.end(), "*") != tables.end();
    state.status = CDBStatementState::kReady;
    if (!def->precompile) return state;

    std::string sql;
    try {
        const CPrecmplStmntGenerator generator(def->argNames, def->argTypes, def->genericArgs);
        nbx::CStringMap probe;
        for (const std::string& name : generator.argumentNames()) {
            if (!name.empty()) probe.set(name, "0");
        }
        sql = generator.generate(withTable(def->statement, table), probe).sql;
    } catch (nbx::CException& exception) {
        state.status = CDBStatementState::kUnusable;
        state.error = exception.text();
        return state;
    }
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(m_db, sql.c_str(), static_cast<int>(sql.size()) + 1, &statement, &tail);
    if (rc != SQLITE_OK) {
        state.status = CDBStatementState::kUnusable;
        state.error = sqlite3_errmsg(m_db);
    } else if (!statement) {
        state.status = CDBStatementState::kUnusable;
        state.error = "The statement is empty.";
    }
    sqlite3_finalize(statement);
    return state;
}

void CSQLiteConnection::write(CDBTransactionHandle tx, const CDBRecord& record) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::write";
    _requireTransaction(tx, kFunction);
    _requireMayWrite(tx, kFunction);
    if (record.pk == kNoKey) {
        NBX_THROW(nbx::CException, kModule, kFunction,
                  nbx::msg("Cannot write a record to table '%1'.", record.table),
                  nbx::msg("The record has no primary key."));
    }
    std::string names = "\"PK\"";
    std::string marks = "?";
    for (const auto& value : record.values) {
        names += ", " + quoted(value.first);
        marks += ", ?";
    }
    const std::string sql = "INSERT OR REPLACE INTO " + quoted(record.table) + " (" + names +
                            ") VALUES (" + marks + ")";
    sqlite3_stmt* statement = _prepare(sql, tx, kFunction);
    CReset reset(statement);
    int index = 1;
    if (sqlite3_bind_int64(statement, index++, record.pk) != SQLITE_OK) {
        _fail(kFunction, sql, tx, sqlite3_errcode(m_db));
    }
    for (const auto& value : record.values) {
        _bind(statement, index++, value.second, m_engine._columnType(record.table, value.first), tx,
              kFunction);
    }
    _runToEnd(statement, tx, kFunction);
}

void CSQLiteConnection::remove(CDBTransactionHandle tx, const std::string& table,
                               std::uint32_t pk) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::remove";
    _requireTransaction(tx, kFunction);
    _requireMayWrite(tx, kFunction);
    const std::string sql = "DELETE FROM " + quoted(table) + " WHERE \"PK\" = ?";
    sqlite3_stmt* statement = _prepare(sql, tx, kFunction);
    CReset reset(statement);
    if (sqlite3_bind_int64(statement, 1, pk) != SQLITE_OK) {
        _fail(kFunction, sql, tx, sqlite3_errcode(m_db));
    }
    _runToEnd(statement, tx, kFunction);
}

std::uint32_t CSQLiteConnection::nextKey(const std::string& table) {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    static const char* const kFunction = "CSQLiteConnection::nextKey";
    _requireOpen(kFunction);
    // Inside an open transaction the sequence row is written by that transaction (it holds the
    // write lock already); the engine's key mark keeps the key from coming back if it is rolled
    // back. Otherwise the key is committed on its own at once.
    const bool own = m_active == 0 || m_aborted;
    if (!own) return _nextKey(table);
    exec("BEGIN IMMEDIATE");
    std::uint32_t key = 0;
    try {
        key = _nextKey(table);
        exec("COMMIT");
    } catch (...) {
        if (m_db && !sqlite3_get_autocommit(m_db)) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        throw;
    }
    return key;
}

std::uint32_t CSQLiteConnection::_nextKey(const std::string& table) {
    static const char* const kFunction = "CSQLiteConnection::nextKey";
    const CDBTransactionHandle tx = m_active;
    const std::string sequence = quoted(CSQLiteEngine::kSequenceTable);
    // Only keys of this node's range count: objects replicated from other nodes keep theirs.
    const CSQLiteEngine::KeyRange range = m_engine.keyRange(table);
    std::int64_t highest = static_cast<std::int64_t>(range.first) - 1;
    auto consider = [&](std::int64_t key) {
        if (key >= range.first && key <= range.last) highest = std::max(highest, key);
    };
    consider(m_engine._keyMark(table));

    const std::string read = "SELECT \"VALUE\" FROM " + sequence + " WHERE \"NAME\" = ?";
    sqlite3_stmt* statement = _prepare(read, tx, kFunction);
    {
        CReset reset(statement);
        sqlite3_bind_text(statement, 1, table.data(), static_cast<int>(table.size()),
                          SQLITE_TRANSIENT);
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW) {
            consider(sqlite3_column_int64(statement, 0));
        } else if (rc != SQLITE_DONE) {
            _fail(kFunction, read, tx, rc);
        }
    }
    if (m_engine._isDeclared(table)) {
        // Rows written with keys of their own must not be overwritten by a new key either.
        const std::string top =
            "SELECT MAX(\"PK\") FROM " + quoted(table) + " WHERE \"PK\" BETWEEN ? AND ?";
        statement = _prepare(top, tx, kFunction);
        CReset reset(statement);
        sqlite3_bind_int64(statement, 1, range.first);
        sqlite3_bind_int64(statement, 2, range.last);
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW) {
            if (sqlite3_column_type(statement, 0) != SQLITE_NULL)
                consider(sqlite3_column_int64(statement, 0));
        } else if (rc != SQLITE_DONE) {
            _fail(kFunction, top, tx, rc);
        }
    }
    const std::int64_t next = highest + 1;
    if (next > range.last) {
        NBX_THROW(nbx::CException, kModule, kFunction,
                  nbx::msg("Cannot take a new key for table '%1'.", table),
                  nbx::msg("The key sequence is exhausted."));
    }
    const std::string store =
        "INSERT OR REPLACE INTO " + sequence + " (\"NAME\", \"VALUE\") VALUES (?, ?)";
    statement = _prepare(store, tx, kFunction);
    CReset reset(statement);
    sqlite3_bind_text(statement, 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(statement, 2, next);
    _runToEnd(statement, tx, kFunction);
    m_engine._raiseKeyMark(table, static_cast<std::uint32_t>(next));
    return static_cast<std::uint32_t>(next);
}

}  // namespace host
