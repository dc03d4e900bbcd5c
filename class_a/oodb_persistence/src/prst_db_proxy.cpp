#include "oodb_persistence/prst_db_proxy.h"

#include "oodb_persistence/prst_abstract_factory.h"
#include "oodb_persistence/prst_db_session.h"

namespace {

const char* const kFailed = "The operation failed.";

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

CPrstObjectList CPrstDBProxy::select(CDBTransactionHandle tx, const std::string& where,
                                     std::uint32_t key, std::uint32_t limit) const {
    CDBRecordList records;
    try {
        records = m_session.connection().select(tx, table(), condition(where, key), limit);
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_select",
                  nbx::msg("Cannot execute select in table '%1'.", table()), nbx::msg(kFailed));
    }
    CPrstObjectList objects;
    for (const CDBRecord& record : records) objects.push_back(_extractPersist(tx, record));
    return objects;
}

std::uint32_t CPrstDBProxy::count(CDBTransactionHandle tx, const std::string& where,
                                  std::uint32_t key) const {
    try {
        return m_session.connection().count(tx, table(), condition(where, key));
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_selectCount",
                  nbx::msg("Cannot select in table '%1'.", table()), nbx::msg(kFailed));
    }
}

CPrstObjectList CPrstDBProxy::fastSelect(CDBTransactionHandle tx, const std::string& statement,
                                         const nbx::CStringMap& arguments,
                                         std::uint32_t limit) const {
    CDBRecordList records;
    try {
        records = m_session.connection().execute(tx, table(), statement, arguments, limit);
    } catch (nbx::CException&) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::fastSelect",
                  nbx::msg("Cannot fast select in table '%1'.", table()), nbx::msg(kFailed));
    }
    CPrstObjectList objects;
    for (const CDBRecord& record : records) objects.push_back(_extractPersist(tx, record));
    return objects;
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

std::uint32_t CPrstDBProxy::nextKey() const {
    return m_session.connection().nextKey(table());
}

CPrstObjectPtr CPrstDBProxy::_extractPersist(CDBTransactionHandle tx, const CDBRecord& top) const {
    const CIPrstFactory* factory = &m_factory;
    auto meta = top.values.find(CPrstClassDef::kMetaColumn);
    if (meta != top.values.end()) {
        CPrstMetaEntry entry = CPrstMetaEntry::parse(meta->second);
        if (!entry.className.empty() && entry.className != m_factory.className()) {
            factory = &m_session.registry().factory(entry.className);
        }
    }
    std::vector<CDBRecord> clones{top};
    for (const std::string& further : factory->classDef().prototypes()) {
        CDBRecordList rows;
        try {
            rows = m_session.connection().select(tx, further, condition(std::string(), top.pk));
        } catch (nbx::CException&) {
            NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstDBProxy::_select",
                      nbx::msg("Cannot execute select in table '%1'.", further), nbx::msg(kFailed));
        }
        if (rows.size() != 1) break;  // _extractClones reports the missing clone
        clones.push_back(rows.front());
    }
    CPrstObjectPtr object = factory->create(m_session.context());
    object->_extractClones(clones);
    return object;
}
