#include "receiver/receiver_tls.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <list>
#include <thread>

#include "dhcp_database/dhcp_catalog.h"
#include "extended/config_names.h"
#include "operations/peer_monitor.h"
#include "operations/resync_writer.h"
#include "plugin/replication_notifier.h"
#include "publisher/publisher_task.h"
#include "receiver/receiver_processor.h"
#include "receiver/receiver_subscriber.h"
#include "receiver/sync_deserializer.h"
#include "resolver/resolver_task.h"
#include "standard/stat.h"
#include "standard/throw.h"

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

// Registered with the bus in this order.
const char* const kBusTopics[] = {
    "config",     "replicate_peer",   "sql_query",    "sql_query_group",
    "snmp_query", "snmp_query_group", "capability",   "user_role",
    "account",    "user_account",     "domain",       "domain_group",
    "keyvalue",   "address_pool",     "network_pool", "policy",
    "option",     "vendor_class",     "rule",
};
// Only where no failover owns bindings and leases.
const char* const kLeaseTopics[] = {"address_binding", "network_binding", "address_lease",
                                    "network_lease"};
const char* const kFailoverInterface = "CIDHCPFailoverAddrMgrFactory";

// A write that fails for want of space (or over the file size limit) succeeds once some is
// freed: worth waiting for, unlike any other failure.
bool outOfSpace(const nbx::CException& failure) {
    const std::uint32_t code = failure.errorCode();
    return code == ENOSPC || code == EDQUOT || code == EFBIG;
}

}  // namespace

CReceiverTLS::CReceiverTLS(CICommandQueueTask* queue, CIDHCPContext& context,
                           std::function<bool()> stopping)
    : m_context(context),
      m_services(context.services()),
      m_family(context.family()),
      m_subscriber(new CReceiverSubscriber(&context.hostContext(), queue, this)),
      m_stopping(std::move(stopping)) {
    addDHCPClasses(m_catalog);
}

CReceiverTLS::~CReceiverTLS() {
    // A state that was never closed (its task never started its loop) still lets go of what it
    // holds: the bus must not keep a subscriber that is about to go.
    close();
}

CPrstDBSession& CReceiverTLS::session() const {
    if (!m_session) {
        NBX_THROW(nbx::CException, kModule, "CReceiverTLS::session",
                  nbx::msg("Cannot use the sync receiver's database session."),
                  nbx::msg("The session is not open."));
    }
    return *m_session;
}

std::string CReceiverTLS::workingFileName() const {
    return "transactions." + m_family.string() + ".log";
}

std::string CReceiverTLS::spoolDirectory(const CSyncTarget& target) const {
    return nbx::CStat::join(m_services.baseDirectory(), target.logdir);
}

CSyncReceiverStatus CReceiverTLS::receiverStatus() const {
    CSyncReceiverStatus out;
    out.family = m_family.number();
    out.recordsWritten = m_recordsWritten.load(std::memory_order_relaxed);
    out.eventsDropped = m_eventsDropped.load(std::memory_order_relaxed);
    return out;
}

std::vector<CSyncPeerStatus> CReceiverTLS::peerStatuses() const {
    std::vector<std::shared_ptr<const CPeerMonitor>> monitors;
    {
        std::lock_guard<std::mutex> guard(m_monitorsMutex);
        monitors.reserve(m_monitors.size());
        for (const auto& entry : m_monitors) monitors.push_back(entry.second);
    }
    // Read outside the lock: a reader never holds up a peer change.
    std::vector<CSyncPeerStatus> out;
    out.reserve(monitors.size());
    for (const auto& monitor : monitors) out.push_back(monitor->status());
    std::stable_sort(
        out.begin(), out.end(),
        [](const CSyncPeerStatus& a, const CSyncPeerStatus& b) { return a.target < b.target; });
    return out;
}

void CReceiverTLS::log(std::uint32_t severity, nbx::CMessage message) const {
    message.setModule(kModule);
    m_services.logSink().log(severity, message, nullptr);
}

void CReceiverTLS::report(nbx::CException& failure) const {
    nbx::CIExceptionFacade& facade = m_services.exceptionFacade();
    failure.report(&facade);
    facade.flush();
}

void CReceiverTLS::open(CResolverTask* resolver, CIReplicationNotifier* notifier) {
    m_resolver = resolver;
    m_notifier = notifier;
    try {
        const std::shared_ptr<const nbx::CConfig> config = m_services.config();
        CPrstInitArgs args;
        args.catalog = &m_catalog;
        args.family = static_cast<unsigned>(m_family.number());
        m_registry = std::make_unique<CPrstMetaAbstractFactory>(
            m_initializer, args,
            CPrstDHCPInitializer::schemaVersion(config.get(), m_services.databaseVersion(),
                                                &m_services.logSink()));
        m_session = std::make_unique<CPrstDBSession>(m_registry->registry());
        m_config = config;
        m_session->context()->setConfig(m_config.get());
        m_session->open(
            [this](const std::string& name) { return m_services.queryInterface(name); });

        CISystemBusPtr bus = m_services.systemBus();
        bus->subscribe(m_subscriber.get(), std::string());
        m_bus = bus;
        for (const char* topic : kBusTopics) bus->registerTopic(topic);
        if (!m_services.queryInterface(kFailoverInterface)) {
            for (const char* topic : kLeaseTopics) bus->registerTopic(topic);
        }
    } catch (...) {
        _release();
        throw;
    }
    m_open = true;
    try {
        reloadConfiguration();
        addPeers(-1, std::string());
    } catch (nbx::CException& failure) {
        rollbackTransaction();
        report(failure);
    }
}

void CReceiverTLS::close() {
    if (m_open) {
        removePeers(-1, false);
        rollbackTransaction();
    }
    _release();
    if (m_open) {
        m_open = false;
        m_context.close();
    }
}

void CReceiverTLS::_release() {
    if (m_bus) {
        m_bus->unsubscribe(m_subscriber.get());
        m_bus.reset();
    }
    if (m_session) {
        try {
            // The engine keeps a connection per thread; this one is done with it.
            m_session->releaseThread();
            if (m_session->isOpen()) m_session->close();
        } catch (nbx::CException& failure) {
            report(failure);
        }
        m_session.reset();
    }
    m_registry.reset();
}

void CReceiverTLS::reloadConfiguration() {
    const std::shared_ptr<const nbx::CConfig> config = m_services.config();
    if (!config) return;
    if (m_session) {
        m_session->context()->setConfig(config.get());
        m_config = config;
    }
    const std::uint32_t interval =
        config->getULong(nbx::familyKey(static_cast<unsigned>(m_family.number()), "sync.interval"),
                         m_interval.load());
    // A zero interval would re-arm the dispatch timer without pause.
    m_interval = interval == 0 ? 1 : interval;
}

void CReceiverTLS::beginTransaction() {
    if (m_transaction != 0) rollbackTransaction();
    m_transaction = session().begin();
    // References by name in the objects' text forms are looked up in the same transaction.
    m_session->context()->setTransaction(m_transaction);
}

void CReceiverTLS::commitTransaction() {
    session().commit(m_transaction);
    m_transaction = 0;
    m_session->context()->setTransaction(0);
}

void CReceiverTLS::rollbackTransaction() {
    if (m_transaction == 0 || !m_session) return;
    const CDBTransactionHandle transaction = m_transaction;
    m_transaction = 0;
    m_session->context()->setTransaction(0);
    try {
        m_session->rollback(transaction);
    } catch (nbx::CException& failure) {
        report(failure);
    }
}

bool CReceiverTLS::_refused(const CSyncTarget& target) const {
    const std::string& directory = target.logdir;
    const bool inside = !directory.empty() && directory != "." && directory != ".." &&
                        directory.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
    if (inside && !target.target.empty()) return false;
    log(nbx::SEVERITY_ERROR,
        nbx::msg("Replication peer '%1' with log directory '%2' is refused: the target must not "
                 "be empty and the log directory must name one folder inside the spool base "
                 "directory.",
                 target.target, directory));
    return true;
}

bool CReceiverTLS::_shared(const CSyncTarget& target) const {
    for (const auto& other : m_targets) {
        if (other.first == target.oid || other.second.target.logdir != target.logdir) continue;
        // Two writers of one working log would close it under each other.
        log(nbx::SEVERITY_ERROR,
            nbx::msg("Replication peer '%1' is refused: its log directory '%2' is already used "
                     "by replication peer '%3'.",
                     target.target, target.logdir, other.second.target.target));
        return true;
    }
    return false;
}

void CReceiverTLS::_warnUnknownClasses(const CSyncTarget& target) const {
    for (const auto* classes : {&target.includedClasses, &target.excludedClasses}) {
        for (const std::string& name : *classes) {
            if (name == "*" || name == "all" || m_registry->registry().knowsTextClassName(name)) {
                continue;
            }
            log(nbx::SEVERITY_ERROR,
                nbx::msg("Replication peer '%1' names the unknown class '%2' in its class "
                         "filter; it never matches.",
                         target.target, name));
        }
    }
}

void CReceiverTLS::addPeers(std::int32_t oid, const std::string& oldDirectory) {
    beginTransaction();
    const std::list<CSyncTarget> peers =
        CPrstSyncDeserializer(m_services, session()).readPeers(m_transaction);
    for (const CSyncTarget& peer : peers) {
        if (oid != -1 && peer.oid != oid) continue;
        if (_refused(peer) || _shared(peer)) continue;
        _warnUnknownClasses(peer);
        // An add for a peer that runs already (a repeated event) restarts it.
        if (m_publishers.count(peer.oid) || m_targets.count(peer.oid)) {
            removePeers(peer.oid, false);
        }

        const std::string directory = spoolDirectory(peer);
        const std::string name = workingFileName();
        CTargetEntry entry{
            peer, std::make_unique<nbx::CVersionedFileStream>(nullptr, directory, name, name)};
        std::unique_ptr<CPublisherTask> publisher(
            new CPublisherTask(m_resolver, m_family, peer.target, directory, peer.consoleUser,
                               peer.consolePassword, peer.enabled, &m_services));
        std::int32_t started = -1;
        try {
            started = publisher->run();
        } catch (nbx::CException& failure) {
            report(failure);
        }
        if (started != 0) {
            log(nbx::SEVERITY_ERROR, nbx::msg("Failed to add replication peer '%1'.", peer.target));
            continue;
        }
        try {
            _addTarget(std::move(entry), oldDirectory);
        } catch (...) {
            // No publisher may run for a peer that has no target.
            publisher->stop();
            throw;
        }
        {
            std::lock_guard<std::mutex> guard(m_monitorsMutex);
            m_monitors[peer.oid] = publisher->monitor();
        }
        m_publishers[peer.oid] = std::move(publisher);
        log(nbx::SEVERITY_AUDIT, nbx::msg("Replication peer '%1' has been added.", peer.target));
    }
    commitTransaction();
}

void CReceiverTLS::_addTarget(CTargetEntry entry, const std::string& oldDirectory) {
    const std::string directory = spoolDirectory(entry.target);
    if (!nbx::CStat::isDirectory(directory)) {
        if (!oldDirectory.empty() && nbx::CStat::isDirectory(oldDirectory)) {
            if (const int error = nbx::CStat::rename(oldDirectory, directory)) {
                NBX_THROW_CODE(nbx::CException, kModule, "CReceiverTLS::_addTarget",
                               nbx::msg("Cannot move directory '%1' to '%2' for synchronization "
                                        "with server %3.",
                                        oldDirectory, directory, entry.target.target),
                               nbx::CMessage(), static_cast<std::uint32_t>(error));
            }
        } else {
            // The base directory is the host's; it may not exist before the first peer.
            nbx::CStat::makeDirectory(m_services.baseDirectory());
            if (const int error = nbx::CStat::makeDirectory(directory)) {
                NBX_THROW_CODE(nbx::CException, kModule, "CReceiverTLS::_addTarget",
                               nbx::msg("Cannot create directory '%1' for synchronization with "
                                        "server %2.",
                                        directory, entry.target.target),
                               nbx::CMessage(), static_cast<std::uint32_t>(error));
            }
        }
    }
    const std::int32_t oid = entry.target.oid;
    m_targets.erase(oid);
    m_targets.emplace(oid, std::move(entry));
}

CReceiverTLS::CTargetEntry& CReceiverTLS::_findTarget(std::int32_t oid) {
    for (auto& target : m_targets) {
        if (target.second.target.oid == oid) return target.second;
    }
    NBX_THROW(nbx::CException, kModule, "CReceiverTLS::_findTarget",
              nbx::msg("Unable to find receiver target %1.", oid),
              nbx::msg("Target does not exist."));
}

void CReceiverTLS::removePeers(std::int32_t oid, bool deleteSpool) {
    for (auto found = m_publishers.begin(); found != m_publishers.end();) {
        if (oid != -1 && found->first != oid) {
            ++found;
            continue;
        }
        const std::int32_t peer = found->first;
        std::unique_ptr<CPublisherTask> publisher = std::move(found->second);
        found = m_publishers.erase(found);
        {
            std::lock_guard<std::mutex> guard(m_monitorsMutex);
            m_monitors.erase(peer);
        }
        // One peer that cannot be taken down cleanly must not keep the others running.
        try {
            publisher->stop();
            publisher.reset();
            CTargetEntry& entry = _findTarget(peer);
            const CSyncTarget target = entry.target;
            try {
                entry.stream->close();
            } catch (nbx::CException& failure) {
                report(failure);
            }
            m_targets.erase(peer);
            if (deleteSpool) _removeSpool(target);
            log(nbx::SEVERITY_AUDIT,
                nbx::msg("Replication peer '%1' has been removed.", target.target));
        } catch (nbx::CException& failure) {
            m_targets.erase(peer);
            report(failure);
        }
    }
}

bool CReceiverTLS::_othersLogsOnly(const std::string& directory) const {
    if (errno != ENOTEMPTY && errno != EEXIST) return false;
    std::list<nbx::CDirEnt> left;
    try {
        nbx::CStat::findFiles(directory, "*", left);
    } catch (nbx::CException&) {
        return false;
    }
    const std::string own = workingFileName();
    for (const nbx::CDirEnt& entry : left) {
        const std::string& name = entry.fileName();
        const bool log = name.size() >= 4 && name.compare(name.size() - 4, 4, ".log") == 0 &&
                         name.find("transactions.") != std::string::npos;
        if (!log || name.find(own) != std::string::npos) return false;
    }
    return true;
}

void CReceiverTLS::_removeSpool(const CSyncTarget& target) {
    const std::string directory = spoolDirectory(target);
    if (!nbx::CStat::isDirectory(directory)) return;
    const std::string working = workingFileName();
    std::list<nbx::CDirEnt> files;
    try {
        nbx::CStat::findFiles(directory, "*-" + working, files);
    } catch (nbx::CException& failure) {
        report(failure);
    }
    files.emplace_back(nbx::CStat::join(directory, working), working, false);
    for (const nbx::CDirEnt& file : files) {
        if (!nbx::CStat::exists(file.fullPath())) continue;
        if (nbx::CStat::remove(file.fullPath()) != 0) {
            log(nbx::SEVERITY_ERROR,
                nbx::msg("Failed to remove spool file %1 while processing replication peers.",
                         file.fullPath()));
        }
    }
    // The other family's receiver may still have its logs there: the last one out removes the
    // folder. Anything else left in it is worth a word.
    if (::rmdir(directory.c_str()) != 0 && !_othersLogsOnly(directory)) {
        log(nbx::SEVERITY_ERROR,
            nbx::msg("Failed to remove spool directory '%1' for '%2'.", directory, target.target));
    }
}

void CReceiverTLS::changePeer(std::int32_t oid) {
    const CSyncTarget old = _findTarget(oid).target;
    removePeers(oid, false);
    addPeers(oid, spoolDirectory(old));
}

void CReceiverTLS::handlePeerEvent(const CAppEventPtr& event, bool relay) {
    try {
        const CAppEvent& change = *event.get();
        const std::int32_t oid = CReceiverProcessor::oidOf(change.oid());
        // -1 stands for every peer here: no event may touch them all.
        if (oid != -1) {
            if (change.type() == "add") {
                addPeers(oid, std::string());
                _resyncNewPeer(oid);
            } else if (change.type() == "del") {
                removePeers(oid, true);
            } else if (change.type() == "modify") {
                changePeer(oid);
            }
        }
        if (relay && m_notifier) m_notifier->notify(event, m_family);
    } catch (nbx::CException& failure) {
        rollbackTransaction();
        report(failure);
    } catch (const std::exception& failure) {
        // Runs on the receiver's thread, which nothing may end.
        rollbackTransaction();
        nbx::CException wrapped =
            nbx::makeException(NBX_SITE(kModule, "CReceiverTLS::handlePeerEvent"),
                               nbx::msg("Failed to handle the '%1' event of replication peer %2.",
                                        event.get()->type(), event.get()->oid()),
                               nbx::msg("%1", failure.what()));
        report(wrapped);
    }
}

void CReceiverTLS::_resyncNewPeer(std::int32_t oid) {
    try {
        const std::shared_ptr<const nbx::CConfig> config = m_services.config();
        const std::string key =
            nbx::familyKey(static_cast<unsigned>(m_family.number()), "sync.resync_new_peers");
        if (!config || !config->getBool(key, false) || !findTarget(oid)) return;
        CResyncWriter(*this).write(oid);
    } catch (nbx::CException& failure) {
        // The peer stays; the operator can run the resync again.
        rollbackTransaction();
        report(failure);
    }
}

const CSyncTarget* CReceiverTLS::findTarget(const std::string& target) const {
    for (const auto& entry : m_targets) {
        if (entry.second.target.target == target) return &entry.second.target;
    }
    return nullptr;
}

const CSyncTarget* CReceiverTLS::findTarget(std::int32_t oid) const {
    const auto found = m_targets.find(oid);
    return found == m_targets.end() ? nullptr : &found->second.target;
}

void CReceiverTLS::writeTo(std::int32_t oid, const std::string& text) {
    const auto found = m_targets.find(oid);
    if (found == m_targets.end()) {
        NBX_THROW(nbx::CException, kModule, "CReceiverTLS::writeTo",
                  nbx::msg("Unable to find receiver target %1.", oid),
                  nbx::msg("Target does not exist."));
    }
    std::unique_ptr<nbx::CException> failure;
    if (!_writeTo(found->second, text, failure)) throw nbx::CException(*failure);
}

bool CReceiverTLS::failoverOwnsBindings() const {
    return m_services.queryInterface(kFailoverInterface) != nullptr;
}

void CReceiverTLS::dispatch() {
    for (auto& target : m_targets) {
        try {
            target.second.stream->reopen();
        } catch (nbx::CException& failure) {
            report(failure);
        }
    }
}

void CReceiverTLS::write(const std::string& record, const std::string& topic) {
    const std::string text = record + "\n";
    std::unique_ptr<nbx::CException> first;
    for (auto& target : m_targets) {
        if (!accepts(target.second.target, topic)) continue;
        std::unique_ptr<nbx::CException> failure;
        if (_writeTo(target.second, text, failure)) continue;
        if (first) {
            report(*failure);
        } else {
            first = std::move(failure);
        }
    }
    if (first) throw nbx::CException(*first);
}

bool CReceiverTLS::_writeTo(CTargetEntry& entry, const std::string& text,
                            std::unique_ptr<nbx::CException>& failure) {
    const std::string& directory = entry.stream->versionStat().directory();
    for (bool waiting = false;; waiting = true) {
        try {
            entry.stream->write(text);
            m_recordsWritten.fetch_add(1, std::memory_order_relaxed);
            if (waiting) {
                log(nbx::SEVERITY_INFO,
                    nbx::msg("The spool directory '%1' takes changes again.", directory));
            }
            return true;
        } catch (nbx::CException& thrown) {
            if (!outOfSpace(thrown)) {
                failure.reset(thrown.clone());
                return false;
            }
            if (!waiting) {
                report(thrown);
                log(nbx::SEVERITY_WARNING,
                    nbx::msg("The spool directory '%1' is out of space: changes wait until "
                             "space is freed.",
                             directory));
            }
        }
        // The record is retried in place, so the changes behind it keep their order.
        for (int tick = 0; tick < 10; ++tick) {
            if (m_stopping && m_stopping()) {
                NBX_THROW(CExSpoolUnwritten, kModule, "CReceiverTLS::write",
                          nbx::msg("A change could not be written to the spool directory '%1' "
                                   "before the receiver stopped.",
                                   directory),
                          nbx::msg("The host delivers it again at its next start."));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}
