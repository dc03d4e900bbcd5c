#include "host/context_command_handler.h"

#include <cstring>

#include "host/console_nak.h"

namespace host {

bool CContextCommandHandler::handle(CConsoleSession& session, const std::string& command,
                                    std::vector<nbx::CStringMap>& blocks) {
    const std::size_t length = std::strlen(kCommand);
    if (command.compare(0, length, kCommand) != 0) return false;
    const std::string family = command.substr(length);
    if (family != "4" && family != "6") {
        blocks = nakBlocks("Unknown protocol family.");
        return true;
    }
    session.setContext(family);
    blocks.assign(1, nbx::CStringMap());
    blocks[0].set("code", "ack");
    return true;
}

}  // namespace host
