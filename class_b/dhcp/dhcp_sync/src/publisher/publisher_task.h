#pragma once
// The publisher of one replication peer ("<instance>-sync-publisher"): replays the peer's closed
// transaction logs, oldest first, on the peer's console, one command per record, retrying while
// the peer is away. Two one-shot timers drive it, and at most one is pending at any time: the
// connect timer (argument 1) and the dispatch timer (argument 2).

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "ace_ext/general_reactor.h"
#include "dhcp_plugin_api/host_services.h"
#include "dhcp_sync/sync_client.h"
#include "extended/command_queue_task.h"
#include "standard/protocol_family.h"

class CPeerMonitor;
class CResolverTask;
struct CPublisherTLS;

class CPublisherTask : public CCommandQueueTask<CSTGeneralReactor> {
public:
    static constexpr std::uintptr_t kConnectTimer = 1;
    static constexpr std::uintptr_t kDispatchTimer = 2;

    // `resolver` and `services` are not owned and must outlive the task.
    CPublisherTask(CResolverTask* resolver, const CProtocolFamily& family,
                   const std::string& target, const std::string& spoolDirectory,
                   const std::string& user, const std::string& password, bool enabled,
                   CIHostServices* services);
    ~CPublisherTask() override;

    std::int32_t init() override;
    std::int32_t svcLoop() override;
    int handle_timeout(const ACE_Time_Value& now, const void* argument) override;
    // Also lets the host drop what it keeps for the thread (its exception stack): publishers
    // come and go with every peer change.
    void unregisterThread() override;

    const std::string& target() const;
    const std::string& spoolDirectory() const;
    // Seconds between attempts and between idle looks at the spool; settled by init().
    std::uint32_t retryDelay() const;
    // What other threads read of this publisher; stays valid after the task is gone.
    std::shared_ptr<const CPeerMonitor> monitor() const;

private:
    void _reconnect();
    void _dispatch();
    void _scheduleConnectTimer(std::uint32_t delaySeconds);
    void _scheduleDispatchTimer(std::uint32_t delaySeconds);
    // Lists the spool's closed logs of this family, oldest first, and counts them.
    void _refreshFiles();
    // Counts the closed logs waiting without touching the replay list.
    void _scan();
    // Publishes the backlog and raises or clears its alarm.
    void _showBacklog();
    // On an idle connection: probes the peer once "heartbeat.interval" has passed without an
    // answer, and sets `delay` to the next look. False when the probe failed: the connection is
    // closed and the reconnect is scheduled.
    bool _heartbeat(std::uint32_t& delay);
    // This family's "sync.interval" (the retry delay; absent or empty keeps the current one),
    // "heartbeat.interval", "sync.backlog_warn_records", "sync.backlog_warn_seconds" and
    // "sync.timeout" (the client's time-outs; absent, empty or 0 keeps the client's own).
    void _readSettings();
    // To the host log with module "dhcp_sync".
    void _log(std::uint32_t level, nbx::CMessage message);

    std::unique_ptr<CPublisherTLS> m_state;
};
