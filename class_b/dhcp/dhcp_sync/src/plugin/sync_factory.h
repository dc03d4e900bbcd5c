#pragma once
// The plug-in's factory: the host asks it for the sync service of each protocol instance
// (baseInstance) and gives it back (release). Per family it owns at most one receiver task,
// started by the first baseInstance and stopped by the matching last release. It is also the
// relay that passes a replication-peer change seen by one receiver on to the other.

#include <cstdint>
#include <memory>
#include <string>

#include "dhcp_plugin_api/plugin.h"
#include "plugin/replication_notifier.h"
#include "standard/sync.h"

class CReceiverTask;

class CDHCPSyncFactory : public CIDHCPAutonomousObjectFactory, public CIReplicationNotifier {
public:
    static constexpr const char* kName = "DHCP Sync";

    CDHCPSyncFactory();
    // Leaves the receivers alone: the host releases every instance before (see shutdown()).
    ~CDHCPSyncFactory() override;

    bool isEnabled() override;
    void* _slot3() override { return nullptr; }
    void _slot4() override {}
    void _slot8() override {}
    void _slot9() override {}
    std::string name() const override { return kName; }
    void* _slot11() override { return nullptr; }
    std::string interfaces() const override {
        return "CIDHCPSyncFactory,CIDHCPSyncOperations,CIDHCPAutonomousObjectFactory,CPlugin";
    }
    std::string requiredInterfaces() const override { return "CIDatabaseInit,CISystemBusFactory"; }

    // Returns the family's operations (a CIDHCPSyncOperations*, its receiver's). Throws "Cannot
    // create a dhcp sync instance." / "Unknown protocol family." for a family other than 4 and 6. A
    // receiver that fails to start is deleted and the call is not counted; an exception of its
    // start passes on.
    void* baseInstance(CIDHCPContext* context) override;
    void release(CIDHCPContext* context) override;

    void notify(const CAppEventPtr& event, const CProtocolFamily& sourceFamily) override;

    // Stops the receivers that are still running, logging each at level 4; returns how many.
    // The plug-in's destroyer calls it so that no thread runs on in unloaded code.
    int shutdown();

    std::int32_t instanceCount(int family) const;
    bool hasReceiver(int family) const;

private:
    struct Instance {
        int family;
        std::unique_ptr<CReceiverTask> receiver;
        std::int32_t count = 0;
        // The receiver as notify() sees it, under m_relayMutex (not owned).
        CReceiverTask* relay = nullptr;
    };

    // The instance of a family number (4 or 6), or null.
    Instance* _instance(int family);
    const Instance* _instance(int family) const;
    // The instance of the context's family; else throws `message` / "Unknown protocol family."
    // at `function`.
    Instance& _instance(CIDHCPContext* context, const char* message, const char* function);
    // Takes the receiver out of reach of the relay, stops and deletes it.
    void _stop(Instance& instance);

    Instance m_ipv4{4, {}, 0, nullptr};
    Instance m_ipv6{6, {}, 0, nullptr};
    // Serialises baseInstance, release and shutdown; held while a receiver starts or stops.
    mutable nbx::CNRMutex m_mutex;
    // Guards the instances' relay pointers. A receiver being stopped may itself be relaying
    // (its thread calls notify()), so the relay must not wait for m_mutex; it takes only this
    // lock, which is never held while a task starts or stops.
    nbx::CNRMutex m_relayMutex;
};
