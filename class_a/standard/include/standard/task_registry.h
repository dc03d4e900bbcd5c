#pragma once
// Which task each thread belongs to: the host shows task names beside thread ids. Task threads
// register themselves when they start and de-register when they end; the map is shared by all
// of them and serialised by the locking pointer that holds it.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "standard/general_ptr.h"
#include "standard/sync.h"

class CTaskRegistry : public nbx::CLockable {
public:
    // Enters the calling thread under `name`; throws "Task already registered." when present.
    void registerTask(const std::string& name);
    // Removes the calling thread; throws "Task not registered." when absent.
    void deregisterTask();
    // The name a thread registered under; false when it is not registered.
    bool find(std::uint32_t threadId, std::string& name) const;
    std::size_t size() const { return m_tasks.size(); }

private:
    std::map<std::uint32_t, std::string> m_tasks;
};

using CTaskRegistryPtr =
    nbx::CGeneralPtr<CTaskRegistry, nbx::CMTOwnerPolicy, nbx::CMethodLockPolicy>;
