#include "operations/drift_reporter.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "dhcp_database/dhcp_catalog.h"
#include "dhcp_sync/sync_exceptions.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_initializer.h"
#include "operations/peer_list_client.h"
#include "operations/resync_writer.h"
#include "prst_generic/user_account.h"
#include "receiver/receiver_processor.h"
#include "receiver/sync_deserializer.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;
constexpr const char* kFailoverInterface = "CIDHCPFailoverAddrMgrFactory";

bool ignored(const std::string& key) {
    return key == "oid" || key == "mod_time";
}

// A session of the host's database with the family's record classes, for this thread.
class CLocalStore {
public:
    CLocalStore(CIHostServices& services, const CProtocolFamily& family)
        : m_config(services.config()) {
        addDHCPClasses(m_catalog);
        CPrstInitArgs args;
        args.catalog = &m_catalog;
        args.family = static_cast<unsigned>(family.number());
        m_registry = std::make_unique<CPrstMetaAbstractFactory>(
            m_initializer, args,
            CPrstDHCPInitializer::schemaVersion(m_config.get(), services.databaseVersion(),
                                                &services.logSink()));
        m_session = std::make_unique<CPrstDBSession>(m_registry->registry());
        m_session->context()->setConfig(m_config.get());
        m_session->open(
            [&services](const std::string& name) { return services.queryInterface(name); });
    }
    // The thread's connection stays: the host gives it back when the thread is done.
    ~CLocalStore() {
        try {
            if (m_session->isOpen()) m_session->close();
        } catch (nbx::CException&) {
        }
    }
    CPrstDBSession& session() { return *m_session; }

private:
    std::shared_ptr<const nbx::CConfig> m_config;
    CPrstClassCatalog m_catalog;
    CPrstDHCPInitializer m_initializer;
    std::unique_ptr<CPrstMetaAbstractFactory> m_registry;
    std::unique_ptr<CPrstDBSession> m_session;
};

struct CLocalObject {
    std::uint32_t oid;
    nbx::CStringMap text;
};

// The local objects of one topic in increasing OID order, a page at a time.
class CLocalCursor {
public:
    CLocalCursor(CPrstDBSession& session, const std::string& topic, std::uint32_t pageSize)
        : m_session(session), m_topic(topic), m_pageSize(pageSize) {}

    // The next object, or null at the end.
    const CLocalObject* peek() {
        if (m_page.empty() && !m_done) _read();
        return m_page.empty() ? nullptr : &m_page.front();
    }
    void pop() { m_page.pop_front(); }

private:
    void _read() {
        CPrstDBProxy& proxy = m_session[m_topic];
        const std::string where = CResyncWriter::pageCondition(m_session, m_topic, m_after);
        CPrstDBSelection selection = proxy._selectTraverse(0, where, kNoKey, m_pageSize);
        std::uint32_t count = 0;
        while (CPrstObjectPtr object = proxy._selectNext(0, selection)) {
            m_after = object->oid();
            m_page.push_back(CLocalObject{object->oid(), nbx::CStringMap(object->string(), "\n")});
            ++count;
        }
        m_done = count < m_pageSize;
    }

    CPrstDBSession& m_session;
    std::string m_topic;
    std::uint32_t m_pageSize;
    std::uint32_t m_after = 0;
    bool m_done = false;
    std::deque<CLocalObject> m_page;
};

// One class: the merge of the local cursor with the peer's blocks.
class CClassMerge {
public:
    CClassMerge(CSyncDriftReport& report, const std::string& topic, CLocalCursor& local)
        : m_report(report), m_local(local) {
        m_counts.topic = topic;
    }

    void peer(const nbx::CStringMap& object) {
        std::string text;
        object.get("oid", text);
        const std::uint32_t oid = static_cast<std::uint32_t>(CReceiverProcessor::oidOf(text));
        if (m_seenPeer && oid <= m_lastPeer) {
            NBX_THROW(nbx::CException, kModule, "CDriftReporter::compare",
                      nbx::msg("Cannot compare the objects of type '%1'.", m_counts.topic),
                      nbx::msg("The peer's list is not in increasing oid order."));
        }
        m_seenPeer = true;
        m_lastPeer = oid;
        ++m_counts.peer;
        // Local objects before this one are not on the peer.
        const CLocalObject* mine = m_local.peek();
        while (mine && mine->oid < oid) {
            _missingOnPeer(*mine);
            mine = m_local.peek();
        }
        if (!mine || mine->oid != oid) {
            ++m_counts.missingHere;
            _difference(oid, object.get("name"), CSyncDriftReport::Kind::kMissingHere,
                        std::string());
            return;
        }
        ++m_counts.local;
        const std::string fields = CDriftReporter::differingFields(mine->text, object);
        if (!fields.empty()) {
            ++m_counts.differing;
            _difference(oid, mine->text.get("name"), CSyncDriftReport::Kind::kDiffers, fields);
        }
        m_local.pop();
    }

    // The peer's list has ended: what is left here is not on the peer.
    void finish() {
        while (const CLocalObject* mine = m_local.peek()) _missingOnPeer(*mine);
    }

    // Into the report, also for a class cut short.
    void close() { m_report.classes.push_back(m_counts); }

private:
    void _missingOnPeer(const CLocalObject& mine) {
        ++m_counts.local;
        ++m_counts.missingOnPeer;
        _difference(mine.oid, mine.text.get("name"), CSyncDriftReport::Kind::kMissingOnPeer,
                    std::string());
        m_local.pop();
    }
    void _difference(std::uint32_t oid, const std::string& name, CSyncDriftReport::Kind kind,
                     const std::string& fields) {
        CSyncDriftReport::Difference difference;
        difference.topic = m_counts.topic;
        difference.oid = static_cast<std::int32_t>(oid);
        difference.name = name;
        difference.kind = kind;
        difference.fields = fields;
        m_report.differences.push_back(std::move(difference));
    }

    CSyncDriftReport& m_report;
    CLocalCursor& m_local;
    CSyncDriftReport::ClassCounts m_counts;
    bool m_seenPeer = false;
    std::uint32_t m_lastPeer = 0;
};

}  // namespace

CDriftReporter::CDriftReporter(CIHostServices& services, const CProtocolFamily& family,
                               std::uint32_t pageSize)
    : m_services(services), m_family(family), m_pageSize(pageSize == 0 ? kPageSize : pageSize) {}

std::string CDriftReporter::differingFields(const nbx::CStringMap& local,
                                            const nbx::CStringMap& peer) {
    const std::string mask = CPrstUserAccount::kPasswordMask;
    std::map<std::string, std::pair<std::string, std::string>> values;
    for (const auto& entry : local) values[entry.first].first = entry.second;
    for (const auto& entry : peer) values[entry.first].second = entry.second;
    std::string out;
    for (const auto& entry : values) {
        const std::string& mine = entry.second.first;
        const std::string& theirs = entry.second.second;
        if (ignored(entry.first) || mine == theirs || mine == mask || theirs == mask) continue;
        if (!out.empty()) out += ",";
        out += entry.first;
    }
    return out;
}

CSyncDriftReport CDriftReporter::compare(const std::string& target) {
    CLocalStore store(m_services, m_family);
    const CSyncTarget* peer = nullptr;
    const std::list<CSyncTarget> peers =
        CPrstSyncDeserializer(m_services, store.session()).readPeers(0);
    for (const CSyncTarget& candidate : peers) {
        if (candidate.target == target) peer = &candidate;
    }
    if (!peer) {
        NBX_THROW(nbx::CException, kModule, "CDriftReporter::compare",
                  nbx::msg("Cannot compare with '%1'.", target),
                  nbx::msg("'%1' is not a replication peer.", target));
    }

    CSyncDriftReport report;
    const auto cut = [&report](const std::string& reason) {
        report.complete = false;
        report.incompleteReason = reason;
    };
    CPeerListClient client(m_family, peer->target, peer->consoleUser, peer->consolePassword);
    try {
        client.connect();
    } catch (nbx::CException& failure) {
        cut(failure.text());
        return report;
    }
    const bool failover = m_services.queryInterface(kFailoverInterface) != nullptr;
    for (const std::string& topic : CResyncWriter::topicsFor(*peer, failover)) {
        CLocalCursor local(store.session(), topic, m_pageSize);
        CClassMerge merge(report, topic, local);
        try {
            client.list(topic, m_pageSize,
                        [&merge](const nbx::CStringMap& object) { merge.peer(object); });
            merge.finish();
        } catch (nbx::CException& failure) {
            // What was compared stands; nothing after it may pass for "in step".
            merge.close();
            cut(failure.text());
            break;
        }
        merge.close();
    }
    try {
        client.disconnect();
    } catch (nbx::CException&) {
    }
    return report;
}
