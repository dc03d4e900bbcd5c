#pragma once
// "set_context=<family>": the protocol family ("4" or "6") that the following commands of the
// connection are for. Answers "code=ack" and remembers the family in the session; another
// family text is answered "code=nak" with the message "Unknown protocol family.".

#include "host/console_command_handler.h"

namespace host {

class CContextCommandHandler : public CIConsoleCommandHandler {
public:
    static constexpr const char* kCommand = "set_context=";

    bool handle(CConsoleSession& session, const std::string& command,
                std::vector<nbx::CStringMap>& blocks) override;
};

}  // namespace host
