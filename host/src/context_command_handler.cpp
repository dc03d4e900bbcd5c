#include "host/context_command_handler.h"

#include <cstring>

namespace host {

bool CContextCommandHandler::handle(CConsoleSession& session, const std::string& command,
                                    std::vector<nbx::CStringMap>& blocks) {
    const std::size_t length = std::strlen(kCommand);
    if (command.compare(0, length, kCommand) != 0) return false;
    const std::string family = command.substr(length);
    nbx::CStringMap block;
    if (family == "4" || family == "6") {
        session.setContext(family);
        block.set("code", "ack");
    } else {
        block.set("code", "nak");
        block.set("message", "Unknown protocol family.");
    }
    blocks.assign(1, block);
    return true;
}

}  // namespace host
