#pragma once
// The task "db-timeout-manager": cuts short database operations that run past their deadline.
//
// A caller on any thread opens a Guard around an operation on its connection:
//
//   CDBTimeoutMgr::Guard guard(manager, connection, std::chrono::seconds(5));
//   try { connection.select(...); }
//   catch (nbx::CException&) { if (guard.expired()) ...report "timed out"...; throw; }
//
// The guard enters {connection, deadline} in a table shared with the task. The task's thread
// looks at the table on every tick of a periodic timer and interrupts the connection of each
// guard whose deadline has passed, once; the statement running then fails through the engine's
// normal failure path. A deadline is thus met within one tick.
//
// The table lock is held while a connection is interrupted and while a guard leaves, so once a
// guard has ended (destructor or end()) the task never touches its connection again. Guards share
// the table, so they may outlive the manager. A guard opened on a manager that is not running
// (before run(), after stop()) is accepted but never fires; stop() drops the open entries.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "ace_ext/general_reactor.h"
#include "extended/command_queue_task.h"
#include "oodb/db_engine.h"

class CDBTimeoutMgr : public CCommandQueueTask<CSTGeneralReactor> {
    struct CTable;

public:
    static constexpr const char* kTaskName = "db-timeout-manager";
    // The limit of a guard opened without one.
    static constexpr std::chrono::milliseconds kDefaultTimeout{30000};
    // How often the task looks for passed deadlines.
    static constexpr std::chrono::milliseconds kDefaultTick{50};

    class Guard {
    public:
        // A zero timeout means no limit: nothing is entered.
        Guard(CDBTimeoutMgr& manager, CIDBConnection& connection,
              std::chrono::milliseconds timeout = kDefaultTimeout);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

        // Leaves the table now; the destructor then has nothing to do. Idempotent.
        void end();
        // True once the manager has interrupted the connection for this guard. The operation may
        // still have succeeded when the interrupt came between two of its statements.
        bool expired() const { return m_expired.load(); }

    private:
        friend class CDBTimeoutMgr;

        std::shared_ptr<CTable> m_table;
        std::uint64_t m_id = 0;  // 0: not in the table
        std::atomic<bool> m_expired{false};
    };

    // `controller` is not owned and must outlive the task.
    explicit CDBTimeoutMgr(nbx::CIMasterController* controller,
                           std::chrono::milliseconds tick = kDefaultTick);
    // Stops the task; guards still open stay valid.
    ~CDBTimeoutMgr() override;

    // On the task's thread: arms the tick and opens the table to guards.
    std::int32_t init() override;
    // Closes the table (open entries are dropped) and ends the task.
    std::int32_t stop() override;
    // The tick: interrupts the connections whose deadline has passed.
    int handle_timeout(const ACE_Time_Value& now, const void* argument) override;

    // Guards in the table now (open, limited and not yet fired).
    std::size_t watching() const;

private:
    std::chrono::milliseconds m_tick;
    std::shared_ptr<CTable> m_table;
};
