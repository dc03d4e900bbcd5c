#include "standard/task_registry.h"

#include "standard/sync.h"
#include "standard/throw.h"

namespace {
constexpr const char* kModule = "standard";
}

void CTaskRegistry::registerTask(const std::string& name) {
    std::uint32_t id = nbx::currentThreadId();
    if (!m_tasks.emplace(id, name).second) {
        NBX_THROW(
            nbx::CException, kModule, "CTaskRegistry::registerTask",
            nbx::msg("Failed to register thread %1 with name %2 in the task registry.", id, name),
            nbx::msg("Task already registered."));
    }
}

void CTaskRegistry::deregisterTask() {
    std::uint32_t id = nbx::currentThreadId();
    if (m_tasks.erase(id) == 0) {
        NBX_THROW(nbx::CException, kModule, "CTaskRegistry::deregisterTask",
                  nbx::msg("Failed to de-register thread %1 from the task registry.", id),
                  nbx::msg("Task not registered."));
    }
}

bool CTaskRegistry::find(std::uint32_t threadId, std::string& name) const {
    auto found = m_tasks.find(threadId);
    if (found == m_tasks.end()) return false;
    name = found->second;
    return true;
}
