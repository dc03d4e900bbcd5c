#include "oodb_persistence/prst_db_proxy.h"

#include "oodb_persistence/prst_abstract_factory.h"
#include "oodb_persistence/prst_db_session.h"

namespace {

const char* const kFailed = "The operation failed.";
// Keys per select of a traverse: well below any engine's limit on bound values.
const std::size_t kKeysPerSelect = 500;

std::string quotedName(const std::string& table) {
    std::string out = "\"";
    for (char c : table) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

}  // namespace

CPrstDBProxy::CPrstDBProxy(CPrstDBSession& session, const CIPrstFactory& factory)
    : m_session(session), m_factory(factory) {}

const std::string& CPrstDBProxy::prototype() const {
    return m_factory.textClassName();
}

const std::string& CPrstDBProxy::table() const {
    return m_factory.classDef().table();
}

std::string CPrstDBProxy::condition(const std::string& where, std::uint32_t key) {
    std::string out = where;
    if (!out.empty()) out += " AND ";
    if (key == kNoKey) {
        out += "T.PK >= 0";
    } else {
        out += "T.PK = " + std::to_string(key);
    }
    return out;
}

std::string CPrstDBProxy::equals(const std::string& column, const std::string& value) {
    std::string quoted;
    for (char c : value) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return "T." + column + " = '" + quoted + "'";
}

CPrstObjectPtr CPrstDBProxy::newObject(const CIPrstFactory* factory) const {
    CPrstObjectPtr object = (factory ? *factory : m_factory).create(m_session.context());
    object->setOID(nextKey());
    return object;
}

CPrstObjectPtr CPrstDBProxy::create(CDBTransactionHandle tx, std::uint32_t key) const {
    CDBRecordList records;
    try {
        records = m_session.connection().select(tx, table(), condition(std::string(), key));
    } catch (nbx::CException&) {
        NBX_THROW(
            nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::create",
            nbx::msg("Cannot create a clone from an existing database record."),
            nbx::msg("Unable to find record with primary key %1 in table '%2'.", key, table()));
    }
    if (records.size() != 1) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::create",
                  nbx::msg("Cannot create persistent object instance."),
                  nbx::msg("Database inconsistency with %1 matches for <%2,%3>.",
                           static_cast<std::uint32_t>(records.size()), table(), key));
    }
    return _extractPersist(tx, records.front());
}

CPrstDBSelection CPrstDBProxy::_select(CDBTransactionHandle tx, const std::string& where,
                                       std::uint32_t key, std::uint32_t limit) const {
    CPrstDBSelection selection;
    try {
        selection.m_records =
            m_session.connection().select(tx, table(), condition(where, key), limit);
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_select",
                  nbx::msg("Cannot execute select in table '%1'.", table()), nbx::msg(kFailed));
    }
    return selection;
}

CPrstDBSelection CPrstDBProxy::_selectTraverse(CDBTransactionHandle tx, const std::string& where,
                                               std::uint32_t key, std::uint32_t limit) const {
    CPrstDBSelection selection;
    selection.m_traversed = true;
    try {
        CIDBConnection& connection = m_session.connection();
        selection.m_records = connection.select(tx, table(), condition(where, key), limit);
        // The keys of the selected objects, per further prototype of their classes.
        std::map<std::string, std::vector<std::uint32_t>> wanted;
        for (const CDBRecord& top : selection.m_records) {
            for (const std::string& further : _factoryOf(top).classDef().prototypes()) {
                wanted[further].push_back(top.pk);
            }
        }
        for (const auto& entry : wanted) {
            auto& rows = selection.m_nested[entry.first];
            const std::vector<std::uint32_t>& keys = entry.second;
            for (std::size_t first = 0; first < keys.size(); first += kKeysPerSelect) {
                std::string list;
                for (std::size_t i = first; i < keys.size() && i < first + kKeysPerSelect; ++i) {
                    if (!list.empty()) list += ',';
                    list += std::to_string(keys[i]);
                }
                for (CDBRecord& row :
                     connection.select(tx, entry.first, "T.PK IN (" + list + ")")) {
                    const std::uint32_t pk = row.pk;
                    rows.emplace(pk, std::move(row));
                }
            }
        }
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_selectTraverse",
                  nbx::msg("Cannot execute select traverse from table '%1'.", table()),
                  nbx::msg(kFailed));
    }
    return selection;
}

CPrstObjectPtr CPrstDBProxy::_selectNext(CDBTransactionHandle tx,
                                         CPrstDBSelection& selection) const {
    if (selection.atEnd()) return nullptr;
    const CDBRecord& top = selection.m_records[selection.m_next];
    try {
        CPrstObjectPtr object;
        if (selection.m_traversed) {
            const CIPrstFactory& factory = _factoryOf(top);
            std::vector<CDBRecord> further;
            for (const std::string& prototype : factory.classDef().prototypes()) {
                const auto& rows = selection.m_nested[prototype];
                auto found = rows.find(top.pk);
                if (found == rows.end()) break;  // _extractClones reports the missing clone
                further.push_back(found->second);
            }
            object = _build(top, factory, further);
        } else {
            object = _extractPersist(tx, top);
        }
        ++selection.m_next;
        return object;
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_selectNext",
                  nbx::msg("Cannot select next in table '%1'.", table()), nbx::msg(kFailed));
    }
}

std::uint32_t CPrstDBProxy::_selectCount(CDBTransactionHandle tx, const std::string& where,
                                         std::uint32_t key) const {
    try {
        return m_session.connection().count(tx, table(), condition(where, key));
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_selectCount",
                  nbx::msg("Cannot select in table '%1'.", table()), nbx::msg(kFailed));
    }
}

std::uint32_t CPrstDBProxy::_selectCountTraverse(CDBTransactionHandle tx, const std::string& where,
                                                 std::uint32_t key) const {
    std::string whole = where;
    for (const std::string& further : m_factory.classDef().prototypes()) {
        if (!whole.empty()) whole += " AND ";
        whole += "T.PK IN (SELECT PK FROM " + quotedName(further) + ")";
    }
    try {
        return m_session.connection().count(tx, table(), condition(whole, key));
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_selectCountTraverse",
                  nbx::msg("Cannot select traverse count in table '%1'.", table()),
                  nbx::msg(kFailed));
    }
}

std::uint32_t CPrstDBProxy::_getCountResult(const CDBRecordList& rows) const {
    std::uint32_t count = 0;
    bool read = false;
    if (rows.size() == 1) {
        auto found = rows.front().values.find(kCountColumn);
        if (found != rows.front().values.end()) {
            const std::string& text = found->second;
            read = !text.empty() && text.size() <= 10 &&
                   text.find_first_not_of("0123456789") == std::string::npos &&
                   std::stoull(text) <= 0xFFFFFFFFull;
            if (read) count = static_cast<std::uint32_t>(std::stoull(text));
        }
    }
    if (!read) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_getCountResult",
                  nbx::msg("Cannot retrieve number of rows in table '%1'.", table()),
                  nbx::msg(kFailed));
    }
    return count;
}

CPrstObjectList CPrstDBProxy::select(CDBTransactionHandle tx, const std::string& where,
                                     std::uint32_t key, std::uint32_t limit) const {
    CPrstDBSelection selection = _selectTraverse(tx, where, key, limit);
    CPrstObjectList objects;
    while (CPrstObjectPtr object = _selectNext(tx, selection)) objects.push_back(std::move(object));
    return objects;
}

CDBRecordList CPrstDBProxy::_run(CDBTransactionHandle tx, const std::string& statement,
                                 const nbx::CStringMap& arguments, std::uint32_t limit,
                                 const char* function, const char* message) const {
    _openIfReq(statement);
    try {
        return m_session.connection().execute(tx, table(), statement, arguments, limit);
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, function, nbx::msg(message, table()),
                  nbx::msg(kFailed));
    }
}

CPrstObjectList CPrstDBProxy::fastSelect(CDBTransactionHandle tx, const std::string& statement,
                                         const nbx::CStringMap& arguments,
                                         std::uint32_t limit) const {
    CDBRecordList records = _run(tx, statement, arguments, limit, "CPrstDBProxy::fastSelect",
                                 "Cannot fast select in table '%1'.");
    CPrstObjectList objects;
    for (const CDBRecord& record : records) objects.push_back(_extractPersist(tx, record));
    return objects;
}

std::optional<std::string> CPrstDBProxy::fastDerived(CDBTransactionHandle tx,
                                                     const std::string& statement,
                                                     const nbx::CStringMap& arguments,
                                                     const std::string& column) const {
    CDBRecordList rows = _run(tx, statement, arguments, 1, "CPrstDBProxy::fastDerived",
                              "Cannot derive column value in table '%1'.");
    if (rows.empty()) return std::nullopt;
    auto found = rows.front().values.find(column);
    if (found == rows.front().values.end()) return std::nullopt;
    return found->second;
}

std::uint32_t CPrstDBProxy::fastCount(CDBTransactionHandle tx, const std::string& statement,
                                      const nbx::CStringMap& arguments) const {
    return _getCountResult(_run(tx, statement, arguments, 2, "CPrstDBProxy::fastCount",
                                "Cannot retrieve number of rows in table '%1'."));
}

CPrstObjectPtr CPrstDBProxy::findByOID(CDBTransactionHandle tx, std::uint32_t oid) const {
    nbx::CStringMap arguments;
    arguments.setULong("OID", oid);
    CPrstObjectList found = fastSelect(tx, kOIDStatement, arguments, 1);
    if (found.empty()) return nullptr;
    return std::move(found.front());
}

void CPrstDBProxy::commit(CDBTransactionHandle tx, const CDBRecord& clone) const {
    try {
        m_session.connection().write(tx, clone);
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::commit",
                  nbx::msg("Cannot commit clone."),
                  nbx::msg("Unable to commit record with primary key %1 in table '%2'.", clone.pk,
                           clone.table));
    }
}

CDBRecord CPrstDBProxy::_reread(CDBTransactionHandle tx, const CDBRecord& clone,
                                const char* function, const char* message,
                                const char* reason) const {
    CDBRecordList records;
    bool failed = clone.pk == kNoKey;
    if (!failed) {
        try {
            records =
                m_session.connection().select(tx, clone.table, condition(std::string(), clone.pk));
        } catch (nbx::CException&) {
            failed = true;
        }
    }
    if (failed || records.size() != 1) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, function, nbx::msg(message),
                  nbx::msg(reason, clone.pk, clone.table));
    }
    return records.front();
}

void CPrstDBProxy::rollback(CDBTransactionHandle tx, CDBRecord& clone) const {
    clone = _reread(tx, clone, "CPrstDBProxy::rollback", "Cannot commit clone.",
                    "Unable to roll back record with primary key %1 in table '%2'.");
}

void CPrstDBProxy::refresh(CDBTransactionHandle tx, CDBRecord& clone) const {
    clone = _reread(tx, clone, "CPrstDBProxy::refresh", "Cannot refresh clone.",
                    "Unable to refresh record with primary key %1 in table '%2'.");
}

void CPrstDBProxy::remove(CDBTransactionHandle tx, const CDBRecord& clone) const {
    try {
        m_session.connection().remove(tx, clone.table, clone.pk);
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::remove",
                  nbx::msg("Cannot remove clone."),
                  nbx::msg("Unable to remove record with primary key %1 in table '%2'.", clone.pk,
                           clone.table));
    }
}

void CPrstDBProxy::createTraverse(CDBTransactionHandle tx,
                                  const std::vector<CDBRecord>& nested) const {
    for (const CDBRecord& record : nested) {
        try {
            m_session.connection().write(tx, record);
        } catch (nbx::CException&) {
            NBX_THROW(
                nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::createTraverse",
                nbx::msg("Cannot create new database records."),
                nbx::msg("Unable to create a new nested record in table '%1'.", record.table));
        }
    }
}

std::uint32_t CPrstDBProxy::nextKey() const {
    return m_session.connection().nextKey(table());
}

const CIPrstFactory& CPrstDBProxy::_factoryOf(const CDBRecord& top) const {
    auto meta = top.values.find(CPrstClassDef::kMetaColumn);
    if (meta != top.values.end()) {
        CPrstMetaEntry entry = CPrstMetaEntry::parse(meta->second);
        if (!entry.className.empty() && entry.className != m_factory.className()) {
            return m_session.registry().factory(entry.className);
        }
    }
    return m_factory;
}

CPrstObjectPtr CPrstDBProxy::_build(const CDBRecord& top, const CIPrstFactory& factory,
                                    const std::vector<CDBRecord>& further) const {
    std::vector<CDBRecord> clones{top};
    clones.insert(clones.end(), further.begin(), further.end());
    CPrstObjectPtr object = factory.create(m_session.context());
    object->_extractClones(clones);
    return object;
}

CPrstObjectPtr CPrstDBProxy::_extractPersist(CDBTransactionHandle tx, const CDBRecord& top) const {
    const CIPrstFactory& factory = _factoryOf(top);
    std::vector<CDBRecord> further;
    for (const std::string& prototype : factory.classDef().prototypes()) {
        CDBRecordList rows;
        try {
            rows = m_session.connection().select(tx, prototype, condition(std::string(), top.pk));
        } catch (nbx::CException&) {
            NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_select",
                      nbx::msg("Cannot execute select in table '%1'.", prototype),
                      nbx::msg(kFailed));
        }
        if (rows.size() != 1) break;  // _extractClones reports the missing clone
        further.push_back(rows.front());
    }
    return _build(top, factory, further);
}

// --- CPrstDefDBProxy ---------------------------------------------------------------------------

void CPrstDefDBProxy::_openIfReq(const std::string& statement) const {
    static const char* const kFunction = "CPrstDefDBProxy::_openIfReq";
    std::unique_lock<std::mutex> lock(m_mutex);
    auto found = m_opened.find(statement);
    if (found == m_opened.end()) {
        lock.unlock();
        CDBStatementState state;
        try {
            state = m_session.connection().prepare(table(), statement);
        } catch (nbx::CException&) {
            NBX_THROW(nbx::CException, NBX_MODULE_TAG, kFunction,
                      nbx::msg("Unable to open precompiled statement '%1'.", statement),
                      nbx::msg(kFailed));
        }
        lock.lock();
        const bool first = m_opened.emplace(statement, state).second;
        found = m_opened.find(statement);
        if (first && state.status == CDBStatementState::kUnusable) {
            const CDBStatementState unusable = found->second;
            lock.unlock();
            nbx::CMessage text =
                unusable.generic
                    ? nbx::msg("Generic precompiled statement <%1,%2>, deemed unusable.", statement,
                               table())
                    : nbx::msg("Precompiled statement %1, deemed unusable.", statement);
            NBX_THROW(nbx::CException, NBX_MODULE_TAG, kFunction, text,
                      nbx::msg("Error when compiled: %1", unusable.error));
        }
    }
    const CDBStatementState state = found->second;
    lock.unlock();
    switch (state.status) {
        case CDBStatementState::kReady:
            return;
        case CDBStatementState::kIllegal:
            NBX_THROW(nbx::CException, NBX_MODULE_TAG, kFunction,
                      nbx::msg("Unable to open precompiled statement."),
                      nbx::msg("Statement %1 in table %2 is illegal.", statement, table()));
        case CDBStatementState::kUnusable:
            break;
    }
    nbx::CMessage text =
        state.generic
            ? nbx::msg("Unable to open generic precompiled statement <%1,%2>.", statement, table())
            : nbx::msg("Unable to open precompiled statement '%1'.", statement);
    NBX_THROW(nbx::CException, NBX_MODULE_TAG, kFunction, text,
              nbx::msg("Statement didn't compile."));
}
