#pragma once
// Applies a peer's replicated change: "sync_<topic>" with the record of the change (the event
// entries "_event_operation", "_event_time", "_oid" and, for "add" and "modify", the object's
// text form). The object keeps its origin's OID and "mod_time"; the later change wins:
//
//   add, modify  no local object: created as sent. A local one: replaced when the sent
//                "mod_time" is newer; kept when it is newer or as new but different.
//   del          removed unless the local object was changed after the event.
//
// A kept local object (or a name that another local object holds) answers "ack" with a message
// naming the topic, the OID and both times: the peer logs it as a conflict. A record that cannot
// be applied answers "nak" with the reason; so does an "add" or "modify" of an object that is not
// here but whose OID is in this host's own range (deleted here since, or two hosts share a node
// id). Changes of objects made here and changed elsewhere come back like any other. The change is
// committed before the answer; it is not announced on the bus, because a host replicates only the
// changes made on it.

#include <cstdint>
#include <map>

#include "host/console_command_handler.h"
#include "host/host_store.h"

namespace host {

class CSyncCommandHandler : public CIConsoleCommandHandler {
public:
    static constexpr const char* kPrefix = "sync_";

    // `stores` by family, not owned; `nodeId` is this host's (0: none).
    CSyncCommandHandler(std::map<int, CHostStore*> stores, std::uint32_t nodeId);

    bool handle(CConsoleSession& session, const std::string& command,
                std::vector<nbx::CStringMap>& blocks) override;

private:
    std::map<int, CHostStore*> m_stores;
    std::uint32_t m_nodeId;
};

}  // namespace host
