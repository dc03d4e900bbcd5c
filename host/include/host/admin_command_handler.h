#pragma once
// The administrator's commands: "add", "modify", "del", "show" and "list" of a topic, in the
// family that "set_context=" chose (IPv4 until then). Every change is checked by the record
// class and the store before anything is written, and is committed together with its bus
// event through the outbox, so that the plug-in replicates it.
//
//   add <topic>     the object's keys          code=ack, oid=<new oid>
//   modify <topic>  oid and the keys to change code=ack
//   del <topic>     oid                        code=ack
//   show <topic>    oid or name                the object's text form, then code=ack
//   list <topic>                               one block per object, then code=ack, count=<n>
//   list <topic>    after=<oid>, limit=<n>     one page: the objects after the oid, at most n,
//                   (either or both)           in increasing oid order, then code=ack,
//                                              count=<n>, more=yes|no

#include <cstdint>
#include <map>

#include "host/console_command_handler.h"
#include "host/host_store.h"
#include "host/outbox.h"

namespace host {

class CAdminCommandHandler : public CIConsoleCommandHandler {
public:
    // The most objects one "list" page may ask for, and the page size of an "after" alone.
    static constexpr std::uint32_t kListLimit = 100000;

    // `stores` by family (4, 6), not owned.
    CAdminCommandHandler(std::map<int, CHostStore*> stores, COutbox& outbox);

    bool handle(CConsoleSession& session, const std::string& command,
                std::vector<nbx::CStringMap>& blocks) override;
    void onClose(CConsoleSession& session) override;

    static bool takes(const std::string& verb);

private:
    CHostStore& _store(const CConsoleSession& session) const;

    std::map<int, CHostStore*> m_stores;
    COutbox& m_outbox;
};

}  // namespace host
