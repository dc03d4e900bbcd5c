#include "host/interface_registry.h"

namespace host {

void CInterfaceRegistry::offer(const std::string& name, void* implementation) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (implementation) {
        m_interfaces[name] = implementation;
    } else {
        m_interfaces.erase(name);
    }
}

void CInterfaceRegistry::withdraw(const std::string& name) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_interfaces.erase(name);
}

void* CInterfaceRegistry::find(const std::string& name) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto found = m_interfaces.find(name);
    return found == m_interfaces.end() ? nullptr : found->second;
}

}  // namespace host
