#include "host/operations_command_handler.h"

#include "host/console_command.h"
#include "host/sync_status_format.h"
#include "standard/throw.h"

namespace host {

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

[[noreturn]] void refuse(const std::string& what, nbx::CMessage reason) {
    NBX_THROW_STATIC(nbx::CException, kModule, "COperationsCommandHandler::handle",
                     nbx::msg("%1", what), std::move(reason));
}

}  // namespace

COperationsCommandHandler::COperationsCommandHandler(const CSyncOperationsAccess& access)
    : m_access(access) {}

bool COperationsCommandHandler::takes(const std::string& verb) {
    return verb == "status" || verb == "resync" || verb == "drift";
}

bool COperationsCommandHandler::handle(CConsoleSession& session, const std::string& command,
                                       std::vector<nbx::CStringMap>& blocks) {
    const std::size_t space = command.find_first_of(" \t\n");
    if (!takes(command.substr(0, space))) return false;
    const CConsoleCommand parsed = CConsoleCommand::parse(command);
    const std::string& verb = parsed.words[0];
    if (verb == "status") {
        if (parsed.words.size() != 1 || !parsed.keys.empty()) {
            refuse("Cannot report the replication status.",
                   nbx::msg("The command takes no arguments."));
        }
        blocks = statusBlocks(readSyncStatus(m_access));
        return true;
    }

    const std::string what = verb == "resync" ? "Cannot resync." : "Cannot compare.";
    if (parsed.words.size() != 2 || !parsed.keys.empty()) {
        refuse(what, nbx::msg("The command names no target, or more than one."));
    }
    const std::string& target = parsed.words[1];
    const int family = session.context() == "6" ? 6 : 4;
    bool served = false;
    m_access.use(family, [&](CIDHCPSyncOperations* operations) {
        if (!operations) return;
        served = true;
        blocks = verb == "resync" ? resyncBlocks(target, operations->resync(target))
                                  : driftBlocks(target, operations->drift(target));
    });
    if (!served) {
        refuse(what, nbx::msg("No sync plug-in is loaded for IPv%1.", family));
    }
    return true;
}

}  // namespace host
