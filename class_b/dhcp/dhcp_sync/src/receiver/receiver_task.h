#pragma once
// The sync service of one protocol instance ("<instance>-sync-receiver"): subscribes to the
// instance's system bus, writes one transaction-log record per replicated change into the spool
// of every interested peer, keeps one publisher per peer in step with the replicate_peer
// records, closes the working logs every sync interval, and owns the instance's resolver.

#include <cstdint>
#include <memory>

#include "ace_ext/general_reactor.h"
#include "dhcp_plugin_api/dhcp_context.h"
#include "dhcp_plugin_api/sync_operations.h"
#include "dhcp_plugin_api/system_bus.h"
#include "extended/command_queue_task.h"

class CIReplicationNotifier;
class CReceiverTLS;
class CResolverTask;
class CSyncOperations;
class CIDHCPSyncOperations;

class CReceiverTask : public CCommandQueueTask<CSTGeneralReactor> {
public:
    // `notifier` (the factory) is not owned; `context` must outlive the task.
    CReceiverTask(CIDHCPContext& context, CIReplicationNotifier* notifier);
    // Deletes the receiver state, then the resolver.
    ~CReceiverTask() override;

    // From another receiver's thread: queues the peer change (CCmdReplicationPeer), to be
    // handled here without relaying it back. Throws CExQueueFull when the queue is full.
    void postReplicationPeer(const CAppEventPtr& event);

    std::int32_t init() override;  // _init
    std::int32_t svcLoop() override;
    int handle_timeout(const ACE_Time_Value& now, const void* argument) override;
    // Last act of the task's thread: the host may then drop what it keeps for the thread.
    void unregisterThread() override;

    CIDHCPContext& context() const { return m_context; }
    // The seconds between two closings of the working logs, as last read.
    std::uint32_t syncInterval() const;
    // What the host's operator sees and does of this instance; lives as long as the task.
    CIDHCPSyncOperations& operations();
    // The working state; its status readers may be called from any thread.
    CReceiverTLS& state() const { return *m_state; }
    // From any other thread: runs the resync of `target` on the task's thread and waits for
    // it. A task that does not run (or stops meanwhile) or a full queue throws.
    CSyncResyncResult resync(const std::string& target);

private:
    std::int32_t _init();
    void _scheduleDispatchTimer();

    CIDHCPContext& m_context;
    std::unique_ptr<CReceiverTLS> m_state;
    std::unique_ptr<CResolverTask> m_resolver;
    CIReplicationNotifier* m_notifier;  // not owned
    std::unique_ptr<CSyncOperations> m_operations;
};
