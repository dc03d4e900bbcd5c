#pragma once
// The working state of one publisher task. After construction only the task's own thread
// touches it, so nothing here takes a lock; other threads see the task through its monitor.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "dhcp_plugin_api/host_services.h"
#include "dhcp_sync/sync_client.h"
#include "operations/backlog_alarm.h"
#include "operations/peer_monitor.h"
#include "operations/spool_backlog.h"
#include "publisher/publisher_processor.h"
#include "standard/dir_ent.h"
#include "standard/general_ptr.h"
#include "standard/protocol_family.h"

class CResolverTask;

struct CPublisherTLS {
    using CClientPtr = nbx::CGeneralPtr<CDHCPSyncClient, nbx::CSTOwnerPolicy>;

    CPublisherTLS(CIHostServices* services, CResolverTask* resolver, const CProtocolFamily& family,
                  const std::string& target, const std::string& spoolDirectory,
                  const std::string& user, const std::string& password, bool enabled,
                  const std::atomic<bool>* stopping)
        : services(services),
          resolver(resolver),
          client(new CDHCPSyncClient(family, target, enabled)),
          spoolDirectory(spoolDirectory),
          processor(this),
          family(family),
          stopping(stopping),
          monitor(std::make_shared<CPeerMonitor>(target, family.number())) {
        client->setUser(user);
        client->setPassword(password);
        shown.target = target;
        shown.family = family.number();
        shown.state = enabled ? kConnecting : kDisabled;
    }
    CPublisherTLS(const CPublisherTLS&) = delete;
    CPublisherTLS& operator=(const CPublisherTLS&) = delete;

    // "*-transactions.<F>.log": the closed logs of this family, never the working log.
    std::string logPattern() const { return "*-transactions." + family.string() + ".log"; }

    CIHostServices* services;  // not owned
    CResolverTask* resolver;   // not owned
    CClientPtr client;
    std::string spoolDirectory;
    CPublisherProcessor processor;
    std::uint32_t retryDelay = 5;  // seconds
    CProtocolFamily family;
    // Closed logs still to be replayed, in replay order.
    std::list<nbx::CDirEnt> files;
    // Logged in and context set; cleared whenever the client is disconnected.
    bool connected = false;
    // Commands of the spool answered on the current connection.
    std::uint32_t answered = 0;
    // A closed log left part-way (its path) and the line that ends its last answered command:
    // the next attempt at that log goes on after it. A peer that drops the connection after
    // every few commands therefore still gets the whole log, and a record it has answered is
    // not sent again, where an older record of an object it took a newer change of since would
    // come back as a conflict that never was. Kept for this run of the task only: after a
    // restart the log is sent from its start, which the peer takes as repeats.
    std::string resumeFile;
    unsigned int resumeLine = 0;
    // The task's stop flag: a file in progress is left as soon as it is set.
    const std::atomic<bool>* stopping;  // not owned

    static constexpr const char* kConnecting = "connecting";
    static constexpr const char* kReplaying = "replaying";
    static constexpr const char* kIdle = "idle";
    static constexpr const char* kDisabled = "disabled";
    static constexpr const char* kLoginRefused = "login refused";
    static constexpr const char* kUnreachable = "unreachable";

    // Each is published at once when it differs from what was shown.
    void setState(const char* state);
    // A failure at `now` with its text (cut to a length fit for a status line).
    void failed(const std::string& text);
    // The backlog's totals into the shown status, published.
    void showBacklog();
    void publish() { monitor->publish(shown); }

    // Read by other threads; shared so that a reader may outlive the task.
    std::shared_ptr<CPeerMonitor> monitor;
    // What was last published, counters aside.
    CSyncPeerStatus shown;
    CSpoolBacklog backlog;
    CBacklogAlarm alarm;
    std::chrono::steady_clock::time_point lastScan;
    // "heartbeat.interval": seconds of silence on an idle connection before a probe; 0 is off.
    std::uint32_t heartbeat = 30;
    // The last answer of the peer on the current connection.
    std::chrono::steady_clock::time_point lastExchange;
    bool everConnected = false;
};
