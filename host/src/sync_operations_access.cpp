#include "host/sync_operations_access.h"

#include <mutex>

namespace host {

void CSyncOperationsAccess::offer(int family, CIDHCPSyncOperations* operations) {
    if (!operations) return;
    std::unique_lock<std::shared_mutex> lock(m_mutex);
    m_operations[family] = operations;
}

void CSyncOperationsAccess::withdraw() {
    std::unique_lock<std::shared_mutex> lock(m_mutex);
    m_operations.clear();
}

void CSyncOperationsAccess::use(int family,
                                const std::function<void(CIDHCPSyncOperations*)>& use) const {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    auto found = m_operations.find(family);
    use(found == m_operations.end() ? nullptr : found->second);
}

std::vector<int> CSyncOperationsAccess::families() const {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    std::vector<int> families;
    for (const auto& entry : m_operations) families.push_back(entry.first);
    return families;
}

}  // namespace host
