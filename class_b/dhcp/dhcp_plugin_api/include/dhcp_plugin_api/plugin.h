#pragma once
// The base of every plug-in the host loads, and the factory of per-instance services that a DHCP
// plug-in adds to it. The host finds the two C entry points of the library
// ("pluginCreator" / "pluginDestroyer", see CPluginCreator) with dlsym.
//
// The slots that no host of ours calls are kept, unnamed, so that the slot order stays whole.

#include <string>

class CIHostContext;
class CIDHCPContext;

class CPlugin {
public:
    virtual ~CPlugin() = default;
    virtual bool isEnabled() { return true; }
    virtual void* _slot3() = 0;
    virtual void _slot4() = 0;
    virtual bool _slot5() { return false; }
    virtual int _slot6() { return 0; }
    virtual void _slot7() {}
    virtual void _slot8() = 0;
    virtual void _slot9() = 0;
    virtual std::string name() const { return "<unnamed>"; }
    virtual void* _slot11() = 0;
    // Comma-separated names of the interfaces the plug-in implements.
    virtual std::string interfaces() const { return "CPlugin"; }
    // Comma-separated names of the host interfaces the plug-in needs.
    virtual std::string requiredInterfaces() const { return std::string(); }
    // True when one of the comma-separated names of interfaces(), blanks stripped round it, is
    // exactly `name` (the argument itself is not stripped).
    virtual bool implements(const std::string& name) const {
        const std::string list = interfaces();
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(',', start);
            if (end == std::string::npos) end = list.size();
            std::size_t first = list.find_first_not_of(' ', start);
            std::size_t last = list.find_last_not_of(' ', end == 0 ? 0 : end - 1);
            std::string piece = (first == std::string::npos || first >= end || last < first)
                                    ? std::string()
                                    : list.substr(first, last - first + 1);
            if (piece == name) return true;
            start = end + 1;
        }
        return false;
    }
    virtual void setHostContext(CIHostContext* context) { m_hostContext = context; }
    virtual CIHostContext* hostContext() const { return m_hostContext; }
    virtual void setHostValue(void* value) { m_hostValue = value; }
    virtual void* hostValue() const { return m_hostValue; }

private:
    CIHostContext* m_hostContext = nullptr;  // not owned
    void* m_hostValue = nullptr;             // not owned, opaque
};

// A plug-in that runs one service per protocol instance of the host.
class CIDHCPAutonomousObjectFactory : public CPlugin {
public:
    // Creates or shares the service of the context's protocol instance.
    virtual void* baseInstance(CIDHCPContext* context) = 0;
    // Gives back what baseInstance handed out for that context.
    virtual void release(CIDHCPContext* context) = 0;
};

// The library's C entry points, as the host looks them up.
extern "C" {
typedef CPlugin* (*CPluginCreator)();
typedef void (*CPluginDestroyer)(CPlugin*);
}
