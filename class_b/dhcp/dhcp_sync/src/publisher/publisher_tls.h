#pragma once
// The working state of one publisher task. After construction only the task's own thread
// touches it, so nothing here takes a lock.

#include <atomic>
#include <cstdint>
#include <list>
#include <string>

#include "dhcp_plugin_api/host_services.h"
#include "dhcp_sync/sync_client.h"
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
          stopping(stopping) {
        client->setUser(user);
        client->setPassword(password);
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
    // The task's stop flag: a file in progress is left as soon as it is set.
    const std::atomic<bool>* stopping;  // not owned
};
