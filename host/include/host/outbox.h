#pragma once
// The outbox of administrative changes: no committed change may be lost before the plug-in has
// spooled it, not even when the host is killed between the commit and the bus delivery.
//
// record() writes the change and the row of its bus event in one transaction, commits, then
// publishes the event on the family's bus. The row is deleted once every subscriber has handled
// the event (a cleaner thread deletes in batches, so the receiver's thread never waits for the
// disk). At start, deliverPending() publishes the rows that a previous run left: delivery is at
// least once, in commit order (a change applied twice on a peer is a change with nothing to do).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/system_bus.h"
#include "oodb/db_engine.h"

namespace host {

class COutbox {
public:
    static constexpr const char* kTable = "nbx_outbox";

    struct Entry {
        std::uint32_t id = 0;
        int family = 4;
        std::string type;   // "add", "modify", "del"
        std::string topic;  // the object's text class name
        std::uint32_t oid = 0;
        std::int64_t time = 0;  // the event time, seconds since the epoch
    };

    // The outbox's table, to be declared with the engine before the outbox is used.
    static CDBTableDef tableDef();

    // `engine` (not owned) must be open and outlive the outbox.
    explicit COutbox(CIDBFacadeFactory& engine);
    ~COutbox();  // stop()
    COutbox(const COutbox&) = delete;
    COutbox& operator=(const COutbox&) = delete;

    // Starts delivering: from now on the events of each family go to its bus (the plug-ins
    // have subscribed), beginning with the rows left from before, oldest first. Until then, and
    // after stop(), changes are recorded but not published: their rows wait. Returns the number
    // of rows delivered again.
    std::size_t open(const std::map<int, CSystemBus*>& buses);

    // Runs `change` and writes the event row in one transaction on `connection` (the calling
    // thread's), commits, then publishes the event. `change` returns the object's OID. A failure
    // rolls everything back and is rethrown; nothing is published.
    std::uint32_t record(int family, CIDBConnection& connection, const std::string& type,
                         const std::string& topic,
                         const std::function<std::uint32_t(CDBTransactionHandle)>& change);

    // The rows in the table now, oldest first.
    std::vector<Entry> entries();

    // Deletes the rows delivered so far and ends the cleaner thread. Idempotent.
    void stop();

private:
    void _publish(const Entry& entry);
    void _delivered(std::uint32_t id);
    void _clean();
    void _deleteDone();

    CIDBFacadeFactory& m_engine;
    std::mutex m_order;  // one change at a time between commit and publish: commit order
    std::mutex m_mutex;  // guards the buses, m_done and m_stopping
    std::condition_variable m_wake;
    std::map<int, CSystemBus*> m_buses;
    std::vector<std::uint32_t> m_done;  // delivered, not yet deleted
    bool m_stopping = false;
    std::thread m_cleaner;
};

}  // namespace host
