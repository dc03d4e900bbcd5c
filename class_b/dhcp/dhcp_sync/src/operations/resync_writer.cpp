#include "operations/resync_writer.h"

#include <chrono>

#include "dhcp_database/replicated_topics.h"
#include "oodb_persistence/prst_class_def.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_meta_entry.h"
#include "receiver/receiver_processor.h"
#include "receiver/receiver_tls.h"
#include "standard/throw.h"
#include "standard/time_t.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

bool isBinding(const std::string& topic) {
    return topic == "address_binding" || topic == "network_binding";
}

}  // namespace

const std::vector<std::string>& CResyncWriter::order() {
    // The classes the receiver replicates as they change (access controls and packet history
    // never travel, so a resync does not send them and a drift report does not count them).
    // A peer resolves references by name when it applies a record and refuses one that names
    // an object it does not hold: domains before every object that names them, roles before
    // capabilities, queries before their groups, options and vendor classes before the
    // policies that use them, policies before pools, pools before the bindings that name
    // their source pool.
    static const std::vector<std::string> kOrder = {
        "domain",           "domain_group", "user_role",       "capability",      "account",
        "user_account",     "keyvalue",     "sql_query",       "sql_query_group", "snmp_query",
        "snmp_query_group", "option",       "vendor_class",    "policy",          "address_pool",
        "network_pool",     "rule",         "address_binding", "network_binding",
    };
    return kOrder;
}

std::vector<std::string> CResyncWriter::topicsFor(const CSyncTarget& target,
                                                  bool failoverOwnsBindings) {
    std::vector<std::string> out;
    for (const std::string& topic : order()) {
        if (!isReplicatedTopic(topic) || !accepts(target, topic)) continue;
        if (failoverOwnsBindings && isBinding(topic)) continue;
        out.push_back(topic);
    }
    return out;
}

std::string CResyncWriter::pageCondition(const CPrstDBSession& session, const std::string& topic,
                                         std::uint32_t after) {
    // Both families share the tables: a class with family variants keeps its objects apart by
    // the class named in each row.
    const CIPrstFactory* factory = session.registry().findByTextName(topic);
    if (!factory) {
        NBX_THROW_STATIC(nbx::CException, kModule, "CResyncWriter::pageCondition",
                         nbx::msg("Cannot read the objects of type '%1'.", topic),
                         nbx::msg("No such class."));
    }
    const CPrstClassDef& def = factory->classDef();
    return CPrstDBProxy::equals(CPrstClassDef::kMetaColumn,
                                CPrstMetaEntry{def.className(), def.complex()}.string()) +
           " AND T.PK > " + std::to_string(after);
}

CResyncWriter::CResyncWriter(CReceiverTLS& state, std::uint32_t pageSize)
    : m_state(state), m_pageSize(pageSize == 0 ? kPageSize : pageSize) {}

CSyncResyncResult CResyncWriter::write(const std::string& target) {
    const CSyncTarget* found = m_state.findTarget(target);
    if (!found) {
        NBX_THROW(nbx::CException, kModule, "CResyncWriter::write",
                  nbx::msg("Cannot resync '%1'.", target),
                  nbx::msg("'%1' is not a running replication peer of IPv%2.", target,
                           m_state.family().string()));
    }
    return write(found->oid);
}

CSyncResyncResult CResyncWriter::write(std::int32_t peerOid) {
    const CSyncTarget* found = m_state.findTarget(peerOid);
    if (!found) {
        NBX_THROW(nbx::CException, kModule, "CResyncWriter::write",
                  nbx::msg("Cannot resync replication peer %1.", peerOid),
                  nbx::msg("No such running replication peer."));
    }
    const CSyncTarget target = *found;
    // One event time for the whole resend: it orders nothing (an "add" is applied by its
    // "mod_time"), it only tells when the record was made.
    const std::string eventTime = nbx::CTimeT::now().dateUTC();
    CSyncResyncResult result;
    unsigned long long total = 0;
    for (const std::string& topic : topicsFor(target, m_state.failoverOwnsBindings())) {
        result.written.emplace_back(topic, _writeClass(peerOid, topic, eventTime));
        total += result.written.back().second;
    }
    m_state.log(nbx::SEVERITY_AUDIT,
                nbx::msg("Replication peer '%1' has been resynchronized: %2 object(s) of IPv%3 "
                         "written to its spool.",
                         target.target, total, m_state.family().string()));
    return result;
}

std::uint64_t CResyncWriter::_writeClass(std::int32_t peerOid, const std::string& topic,
                                         const std::string& eventTime) {
    using Clock = std::chrono::steady_clock;
    CPrstDBSession& session = m_state.session();
    CPrstDBProxy& proxy = session[topic];
    std::uint64_t written = 0;
    std::uint32_t after = 0;
    Clock::time_point closed = Clock::now();
    for (;;) {
        if (m_state.stopping()) {
            NBX_THROW(nbx::CException, kModule, "CResyncWriter::write",
                      nbx::msg("The resync of replication peer %1 stopped after %2 object(s) of "
                               "type '%3'.",
                               peerOid, static_cast<unsigned long long>(written), topic),
                      nbx::msg("The receiver was told to stop."));
        }
        // The page is read in a transaction that ends before the spool is written: a write
        // that waits for disk space must not keep the database locked meanwhile.
        std::string page;
        std::uint32_t count = 0;
        m_state.beginTransaction();
        try {
            CPrstDBSelection selection = proxy._selectTraverse(
                m_state.transaction(), pageCondition(session, topic, after), kNoKey, m_pageSize);
            while (CPrstObjectPtr object = proxy._selectNext(m_state.transaction(), selection)) {
                const std::int32_t oid = static_cast<std::int32_t>(object->oid());
                page += CReceiverProcessor::header(topic, "add", eventTime, oid) +
                        object->string() + "\n";
                after = object->oid();
                ++count;
            }
            m_state.commitTransaction();
        } catch (...) {
            m_state.rollbackTransaction();
            throw;
        }
        if (count == 0) break;
        m_state.writeTo(peerOid, page);
        written += count;
        // The dispatch timer cannot fire while this runs on the receiver's thread: close the
        // working logs at the sync interval here, so that the publisher replays meanwhile.
        if (Clock::now() - closed >= std::chrono::seconds(m_state.interval())) {
            m_state.dispatch();
            closed = Clock::now();
        }
        if (count < m_pageSize) break;
    }
    return written;
}
