#pragma once
// The working state of one receiver task, touched only by that task's thread (hence no lock):
// the database session, the bus subscription, one target per replication peer (its filter and
// the versioned working log of its spool directory) and the peer's publisher.
//
// The spool directory of a peer is <base directory>/<logdir>; the working log is
// "transactions.<family>.log", closed into "0000001-transactions.<family>.log" and so on.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dhcp_plugin_api/dhcp_context.h"
#include "dhcp_plugin_api/host_services.h"
#include "dhcp_plugin_api/sync_operations.h"
#include "dhcp_plugin_api/system_bus.h"
#include "extended/command_queue_task.h"
#include "extended/versioned_file_stream.h"
#include "oodb_persistence/prst_db_session.h"
#include "oodb_persistence/prst_initializer.h"
#include "receiver/sync_target.h"
#include "standard/protocol_family.h"

class CIReplicationNotifier;
class CPeerMonitor;
class CPublisherTask;
class CReceiverSubscriber;
class CResolverTask;

// A change that could not be spooled for lack of space when the receiver was told to stop: the
// event was not handled, so that the host delivers it again.
NBX_DECLARE_EXCEPTION(CExSpoolUnwritten, nbx::CException);

class CReceiverTLS {
public:
    // `queue` is the receiver task's, through which the bus delivers; neither is owned.
    // `stopping` tells whether the task was told to stop.
    CReceiverTLS(CICommandQueueTask* queue, CIDHCPContext& context, std::function<bool()> stopping);
    ~CReceiverTLS();
    CReceiverTLS(const CReceiverTLS&) = delete;
    CReceiverTLS& operator=(const CReceiverTLS&) = delete;

    // Opens the session, subscribes to the bus and registers the replicated topics (the lease
    // and binding topics only where no failover owns them), then starts every peer. A failure
    // before the peers undoes what was done and passes on; a failure among the peers is
    // reported and the receiver goes on with the peers added so far.
    void open(CResolverTask* resolver, CIReplicationNotifier* notifier);
    // Stops the publishers and closes the working logs (spools stay), closes the session,
    // unsubscribes and closes the protocol context. Reports its failures; never throws.
    void close();
    bool isOpen() const { return m_open; }

    // The sync interval, "sync.interval" of the family; absent or empty keeps the current one.
    void reloadConfiguration();
    std::uint32_t interval() const { return m_interval.load(); }

    // oid -1: every peer. Inside a transaction of its own; a failure leaves it for the
    // caller's rollbackTransaction().
    void addPeers(std::int32_t oid, const std::string& oldDirectory);
    void removePeers(std::int32_t oid, bool deleteSpool);
    // Restarts the peer from its record; a changed logdir moves the spool directory.
    void changePeer(std::int32_t oid);
    // "add", "del" or "modify" of a replicate_peer; with `relay` the event then goes to the
    // receiver of the other family. Failures are reported, the event is dropped.
    void handlePeerEvent(const CAppEventPtr& event, bool relay);

    // Closes every working log into the next closed log.
    void dispatch();
    // Appends the record and an empty line to the log of every peer that accepts the topic;
    // each write reaches the system before the next starts. The first failure passes on after
    // the other peers had their turn. A log that is out of space (or over the file size limit)
    // is tried again every second until it takes the record: a change is never dropped for a
    // full disk. Told to stop meanwhile, it throws CExSpoolUnwritten.
    void write(const std::string& record, const std::string& topic);
    // The running peer with this target (or record OID), or null.
    const CSyncTarget* findTarget(const std::string& target) const;
    const CSyncTarget* findTarget(std::int32_t oid) const;
    // Appends `text` (whole records) to that one peer's working log, as write() does.
    void writeTo(std::int32_t oid, const std::string& text);
    bool stopping() const { return m_stopping && m_stopping(); }
    // A failover owns bindings and leases: their topics are not replicated.
    bool failoverOwnsBindings() const;

    void beginTransaction();
    void commitTransaction();
    // Rolls back the open transaction, if any; reports its own failure.
    void rollbackTransaction();
    CDBTransactionHandle transaction() const { return m_transaction; }

    CPrstDBSession& session() const;
    CIHostServices& services() const { return m_services; }
    const CProtocolFamily& family() const { return m_family; }
    CReceiverSubscriber& subscriber() const { return *m_subscriber; }

    // "transactions.<family>.log"
    std::string workingFileName() const;
    std::string spoolDirectory(const CSyncTarget& target) const;

    // For any thread: the records appended to the peers' logs and the events that could not be
    // turned into a record or written, since the start.
    CSyncReceiverStatus receiverStatus() const;
    // For any thread: every running peer as its publisher last published itself, in target
    // order.
    std::vector<CSyncPeerStatus> peerStatuses() const;
    // An event given up on: it will not reach the spools.
    void dropped() { m_eventsDropped.fetch_add(1, std::memory_order_relaxed); }

    // A message of module "dhcp_sync" to the host log.
    void log(std::uint32_t severity, nbx::CMessage message) const;
    // Through the calling thread's exception stack, flushed at once.
    void report(nbx::CException& failure) const;

private:
    struct CTargetEntry {
        CSyncTarget target;
        std::unique_ptr<nbx::CVersionedFileStream> stream;
    };

    CTargetEntry& _findTarget(std::int32_t oid);
    // Makes the spool directory (moving `oldDirectory` there when given) and enters the target.
    void _addTarget(CTargetEntry entry, const std::string& oldDirectory);
    // After a failed rmdir: whether the folder holds only another family's transaction logs.
    bool _othersLogsOnly(const std::string& directory) const;
    void _removeSpool(const CSyncTarget& target);
    // A peer whose spool would not be one folder inside the base directory.
    bool _refused(const CSyncTarget& target) const;
    // A peer whose spool directory is another running peer's.
    bool _shared(const CSyncTarget& target) const;
    void _warnUnknownClasses(const CSyncTarget& target) const;
    // "sync.resync_new_peers": a peer whose record was just added gets every object.
    void _resyncNewPeer(std::int32_t oid);
    // Writes into one peer's log, waiting while it is out of space; false after a failure
    // of another kind, which is left in `failure`.
    bool _writeTo(CTargetEntry& entry, const std::string& text,
                  std::unique_ptr<nbx::CException>& failure);
    // Undoes the steps of open: subscription and session.
    void _release();

    CIDHCPContext& m_context;
    CIHostServices& m_services;
    const CProtocolFamily m_family;
    CPrstClassCatalog m_catalog;
    CPrstDHCPInitializer m_initializer;
    std::unique_ptr<CPrstMetaAbstractFactory> m_registry;
    std::unique_ptr<CPrstDBSession> m_session;
    // The configuration the session's objects see (a peer's default console password); kept
    // here because the context holds only a plain pointer.
    std::shared_ptr<const nbx::CConfig> m_config;
    CDBTransactionHandle m_transaction = 0;
    std::unique_ptr<CReceiverSubscriber> m_subscriber;
    CISystemBusPtr m_bus;  // set while subscribed
    std::map<std::int32_t, CTargetEntry> m_targets;
    // Read by the task's timer and, for inspection, by other threads.
    std::atomic<std::uint32_t> m_interval{5};
    std::map<std::int32_t, std::unique_ptr<CPublisherTask>> m_publishers;
    // The publishers' monitors, for other threads; changed only with the peers.
    mutable std::mutex m_monitorsMutex;
    std::map<std::int32_t, std::shared_ptr<const CPeerMonitor>> m_monitors;
    std::atomic<std::uint64_t> m_recordsWritten{0};
    std::atomic<std::uint64_t> m_eventsDropped{0};
    CResolverTask* m_resolver = nullptr;          // not owned
    CIReplicationNotifier* m_notifier = nullptr;  // not owned
    bool m_open = false;
    std::function<bool()> m_stopping;
};
