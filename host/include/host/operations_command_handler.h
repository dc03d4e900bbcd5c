#pragma once
// The operator's replication commands, answered from the sync plug-in's operations (see
// sync_status_format.h for the answers):
//
//   status            every peer of both families and each family's receiver
//   resync <target>   the peer's full set of objects into its spool, in the session's family
//   drift <target>    the local objects against the peer's, in the session's family
//
// A failure of the plug-in (a target that is no peer) and a host without a sync plug-in are
// answered "nak" with the reason.

#include "host/console_command_handler.h"
#include "host/sync_operations_access.h"

namespace host {

class COperationsCommandHandler : public CIConsoleCommandHandler {
public:
    // `access` not owned; it outlives the handler's calls.
    explicit COperationsCommandHandler(const CSyncOperationsAccess& access);

    bool handle(CConsoleSession& session, const std::string& command,
                std::vector<nbx::CStringMap>& blocks) override;

    static bool takes(const std::string& verb);

private:
    const CSyncOperationsAccess& m_access;
};

}  // namespace host
