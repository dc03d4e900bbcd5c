#pragma once
// The sync plug-in's operations of each protocol family as the console and the HTTP endpoint
// reach them. The daemon offers them once the plug-ins have started and withdraws them before
// the plug-ins are released: withdraw() waits for the calls that are running, so that no
// operator's request reaches a released instance.

#include <functional>
#include <map>
#include <shared_mutex>
#include <vector>

#include "dhcp_plugin_api/sync_operations.h"

namespace host {

class CSyncOperationsAccess {
public:
    // `operations` not owned; null is ignored.
    void offer(int family, CIDHCPSyncOperations* operations);
    // Afterwards every family has none. Waits for running calls.
    void withdraw();

    // Calls `use` with the operations of `family` (null when none), which stay valid during
    // the call. Calls may run at once on several threads.
    void use(int family, const std::function<void(CIDHCPSyncOperations*)>& use) const;
    // The families that have operations, in order.
    std::vector<int> families() const;

private:
    mutable std::shared_mutex m_mutex;
    std::map<int, CIDHCPSyncOperations*> m_operations;
};

}  // namespace host
