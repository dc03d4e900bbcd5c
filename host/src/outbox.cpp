#include "host/outbox.h"

#include "oodb/db_field_type.h"
#include "oodb/db_transaction.h"
#include "standard/time_t.h"

namespace host {

namespace {

std::string text(const CDBRecord& row, const char* column) {
    auto found = row.values.find(column);
    return found == row.values.end() ? std::string() : found->second;
}

std::int64_t number(const CDBRecord& row, const char* column) {
    try {
        return std::stoll(text(row, column));
    } catch (std::exception&) {
        return 0;  // a damaged row still goes out; the receiver reports what it cannot read
    }
}

}  // namespace

CDBTableDef COutbox::tableDef() {
    CDBTableDef def;
    def.name = kTable;
    def.columns.set("FAMILY", CDBFieldType::token(CDBFieldType::kInt32));
    def.columns.set("TYPE", CDBFieldType::token(CDBFieldType::kString));
    def.columns.set("TOPIC", CDBFieldType::token(CDBFieldType::kString));
    def.columns.set("OID", CDBFieldType::token(CDBFieldType::kInt64));
    def.columns.set("EVENT_TIME", CDBFieldType::token(CDBFieldType::kInt64));
    return def;
}

COutbox::COutbox(CIDBFacadeFactory& engine) : m_engine(engine) {
    m_cleaner = std::thread([this] { _clean(); });
}

COutbox::~COutbox() {
    stop();
}

std::uint32_t COutbox::record(int family, CIDBConnection& connection, const std::string& type,
                              const std::string& topic,
                              const std::function<std::uint32_t(CDBTransactionHandle)>& change) {
    std::lock_guard<std::mutex> order(m_order);
    Entry entry;
    entry.family = family;
    entry.type = type;
    entry.topic = topic;
    entry.time = nbx::CTimeT::now().value();
    CDBTransaction transaction(connection);  // rolled back when anything fails
    const CDBTransactionHandle tx = transaction.handle();
    entry.oid = change(tx);
    CDBRecord row;
    row.table = kTable;
    row.pk = entry.id = connection.nextKey(kTable);
    row.values["FAMILY"] = std::to_string(family);
    row.values["TYPE"] = type;
    row.values["TOPIC"] = topic;
    row.values["OID"] = std::to_string(entry.oid);
    row.values["EVENT_TIME"] = std::to_string(entry.time);
    connection.write(tx, row);
    transaction.commit();
    _publish(entry);
    return entry.oid;
}

std::vector<COutbox::Entry> COutbox::entries() {
    std::vector<Entry> list;
    for (const CDBRecord& row : m_engine.connection().select(0, kTable, std::string())) {
        Entry entry;
        entry.id = row.pk;
        entry.family = static_cast<int>(number(row, "FAMILY"));
        entry.type = text(row, "TYPE");
        entry.topic = text(row, "TOPIC");
        entry.oid = static_cast<std::uint32_t>(number(row, "OID"));
        entry.time = number(row, "EVENT_TIME");
        list.push_back(std::move(entry));
    }
    return list;
}

std::size_t COutbox::open(const std::map<int, CSystemBus*>& buses) {
    std::lock_guard<std::mutex> order(m_order);
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_stopping) return 0;
        m_buses = buses;
    }
    const std::vector<Entry> list = entries();
    for (const Entry& entry : list) _publish(entry);
    return list.size();
}

void COutbox::_publish(const Entry& entry) {
    CSystemBus* bus = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto found = m_buses.find(entry.family);
        if (found != m_buses.end()) bus = found->second;
    }
    if (!bus) return;
    CAppEventList events;
    events.push_back(CAppEventPtr(new CPrstDHCPObjectEvent(
        entry.type, entry.topic, std::to_string(static_cast<std::int32_t>(entry.oid)),
        nbx::CTimeT(entry.time))));
    const std::uint32_t id = entry.id;
    bus->publish(events, [this, id] { _delivered(id); });
}

void COutbox::_delivered(std::uint32_t id) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_done.push_back(id);
    m_wake.notify_one();
}

void COutbox::_clean() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_done.empty(); });
        const bool stopping = m_stopping;
        lock.unlock();
        _deleteDone();
        lock.lock();
        if (stopping && m_done.empty()) break;
    }
    lock.unlock();
    m_engine.releaseConnection();
}

void COutbox::_deleteDone() {
    std::vector<std::uint32_t> ids;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        ids.swap(m_done);
    }
    if (ids.empty()) return;
    try {
        CDBTransaction transaction(m_engine.connection());
        for (std::uint32_t id : ids)
            transaction.connection().remove(transaction.handle(), kTable, id);
        transaction.commit();
    } catch (nbx::CException&) {
        // The rows stay and go out once more at the next start: at least once, never lost.
    }
}

void COutbox::stop() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_stopping && !m_cleaner.joinable()) return;
        m_stopping = true;
        m_buses.clear();
    }
    m_wake.notify_one();
    if (m_cleaner.joinable()) m_cleaner.join();
}

}  // namespace host
