#pragma once
// The host's implementations that a plug-in may look up by interface name ("CIDBFacadeFactory",
// "CIDHCPFailoverAddrMgrFactory"). The registry owns none of them: whoever offers an
// implementation withdraws it before destroying it.

#include <map>
#include <mutex>
#include <string>

namespace host {

class CInterfaceRegistry {
public:
    // Offers `implementation` under `name`, replacing an earlier offer; a null pointer withdraws.
    void offer(const std::string& name, void* implementation);
    void withdraw(const std::string& name);
    // The implementation offered under `name`, or null.
    void* find(const std::string& name) const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, void*> m_interfaces;
};

}  // namespace host
