#pragma once
// The conflict resolver of one protocol instance ("<instance>-sync-resolver"): records in the
// conflict log "conflicts.<family>.log" every change that a peer acknowledged with a message
// (the peer kept its own, newer object), and reports it in the host log.
//
// conflict() is called directly on the publishers' threads; the log's locking pointer keeps the
// records of two publishers from interleaving. The task's own thread only keeps a timer ticking.

#include <cstdint>
#include <memory>
#include <string>

#include "ace_ext/general_reactor.h"
#include "dhcp_plugin_api/dhcp_context.h"
#include "dhcp_plugin_api/host_services.h"
#include "extended/command_queue_task.h"
#include "extended/versioned_file_stream.h"
#include "oodb_persistence/prst_initializer.h"
#include "standard/general_ptr.h"
#include "standard/protocol_family.h"
#include "standard/string_map.h"

// The resolver's own state, touched only by its thread after construction.
struct CResolverTLS {
    explicit CResolverTLS(CIHostServices* services) : services(services) {}
    CIHostServices* services;  // not owned
    CPrstDHCPInitializer initializer;
    std::uint32_t interval = 5;
};

// A versioned stream that the conflict log's pointer can lock around one record.
class CLockableVersionedFileStream : public nbx::CVersionedFileStream, public nbx::CLockable {
public:
    using nbx::CVersionedFileStream::CVersionedFileStream;
};

class CResolverTask : public CCommandQueueTask<CSTGeneralReactor> {
public:
    using CConflictLogPtr =
        nbx::CGeneralPtr<CLockableVersionedFileStream, nbx::CMTOwnerPolicy, nbx::CMethodLockPolicy>;

    // The task is named after the instance; the log lies in `directory`.
    CResolverTask(CIDHCPContext& context, const std::string& directory,
                  const CProtocolFamily& family);
    ~CResolverTask() override;

    // Appends one record ("_target=<target>", the response's entries in key order, two empty
    // lines), flushed to the system, then logs "Conflict on server %1 with object %2." at level 4.
    // A failed write throws and nothing is logged.
    void conflict(const std::string& target, const nbx::CStringMap& response);

    std::int32_t init() override;
    std::int32_t svcLoop() override;
    int handle_timeout(const ACE_Time_Value& now, const void* argument) override;

    // The protocol instance's name (the prefix of every task name of the instance).
    const std::string& instanceName() const { return m_instanceName; }
    CIHostServices& services() const { return *m_state->services; }
    const CProtocolFamily& family() const { return m_family; }
    // Seconds between two ticks of the timer; settled by init().
    std::uint32_t interval() const { return m_state->interval; }
    // The conflict log's working file.
    std::string logPath() const;

private:
    void _scheduleTimer(std::uint32_t delaySeconds);
    // "sync.interval" of this family; an absent or empty value keeps the current interval.
    void _readInterval();
    // Creates `directory` and its missing parents (0755).
    static void _makeDirectory(const std::string& directory);
    // To the host log with module "dhcp_sync".
    void _log(std::uint32_t level, nbx::CMessage message);

    std::unique_ptr<CResolverTLS> m_state;
    CConflictLogPtr m_log;
    std::string m_instanceName;
    CProtocolFamily m_family;
};
