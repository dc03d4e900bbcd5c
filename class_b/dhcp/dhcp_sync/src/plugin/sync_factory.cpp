#include "plugin/sync_factory.h"

#include <mutex>

#include "dhcp_plugin_api/dhcp_context.h"
#include "dhcp_plugin_api/host_context.h"
#include "dhcp_plugin_api/sync_operations.h"
#include "receiver/receiver_task.h"
#include "standard/throw.h"

namespace {

const char* const kModule = "dhcp_sync";

}  // namespace

CDHCPSyncFactory::CDHCPSyncFactory() = default;

CDHCPSyncFactory::~CDHCPSyncFactory() = default;

bool CDHCPSyncFactory::isEnabled() {
    CIHostContext* host = hostContext();
    CIDHCPFeatureSetPtr features = host ? host->featureSet() : nullptr;
    if (features && features->syncEnabled()) return true;
    if (host) {
        nbx::CMessage message = nbx::msg("The %1 plugin is not enabled.", name());
        message.setModule(kModule);
        host->logSink().log(nbx::SEVERITY_AUDIT, message, nullptr);
    }
    return false;
}

CDHCPSyncFactory::Instance* CDHCPSyncFactory::_instance(int family) {
    return family == 4 ? &m_ipv4 : family == 6 ? &m_ipv6 : nullptr;
}

const CDHCPSyncFactory::Instance* CDHCPSyncFactory::_instance(int family) const {
    return family == 4 ? &m_ipv4 : family == 6 ? &m_ipv6 : nullptr;
}

CDHCPSyncFactory::Instance& CDHCPSyncFactory::_instance(CIDHCPContext* context, const char* message,
                                                        const char* function) {
    Instance* instance = _instance(context ? context->family().number() : 0);
    if (!instance) {
        NBX_THROW(nbx::CException, kModule, function, nbx::msg(message),
                  nbx::msg("Unknown protocol family."));
    }
    return *instance;
}

void* CDHCPSyncFactory::baseInstance(CIDHCPContext* context) {
    std::lock_guard<nbx::CNRMutex> guard(m_mutex);
    Instance& instance =
        _instance(context, "Cannot create a dhcp sync instance.", "CDHCPSyncFactory::baseInstance");
    if (!instance.receiver) {
        std::unique_ptr<CReceiverTask> receiver(new CReceiverTask(*context, this));
        // A receiver that did not come up is deleted here (its destructor joins whatever it
        // started) and the call is not counted, so no later release can stop a receiver that
        // another call started.
        if (receiver->run() != 0) return nullptr;
        instance.receiver = std::move(receiver);
        std::lock_guard<nbx::CNRMutex> relay(m_relayMutex);
        instance.relay = instance.receiver.get();
    }
    ++instance.count;
    return &instance.receiver->operations();
}

void CDHCPSyncFactory::release(CIDHCPContext* context) {
    std::lock_guard<nbx::CNRMutex> guard(m_mutex);
    Instance& instance =
        _instance(context, "Cannot shutdown a dhcp sync instance.", "CDHCPSyncFactory::release");
    if (!instance.receiver) return;
    if (instance.count-- == 1) _stop(instance);
}

void CDHCPSyncFactory::_stop(Instance& instance) {
    {
        std::lock_guard<nbx::CNRMutex> guard(m_relayMutex);
        instance.relay = nullptr;
    }
    std::unique_ptr<CReceiverTask> receiver = std::move(instance.receiver);
    instance.count = 0;
    receiver->stop();
}

void CDHCPSyncFactory::notify(const CAppEventPtr& event, const CProtocolFamily& sourceFamily) {
    std::lock_guard<nbx::CNRMutex> guard(m_relayMutex);
    // postReplicationPeer only queues a command: it never waits for the other receiver.
    for (Instance* instance : {&m_ipv4, &m_ipv6}) {
        if (instance->family != sourceFamily.number() && instance->relay) {
            instance->relay->postReplicationPeer(event);
        }
    }
}

int CDHCPSyncFactory::shutdown() {
    std::lock_guard<nbx::CNRMutex> guard(m_mutex);
    int stopped = 0;
    for (int family : {4, 6}) {
        Instance& instance = *_instance(family);
        if (!instance.receiver) continue;
        if (CIHostContext* host = hostContext()) {
            nbx::CMessage message = nbx::msg(
                "The %1 plugin is being destroyed while its IPv%2 instance is still in use "
                "(%3 not released); stopping it.",
                name(), family, instance.count);
            message.setModule(kModule);
            host->logSink().log(nbx::SEVERITY_ERROR, message, nullptr);
        }
        _stop(instance);
        ++stopped;
    }
    return stopped;
}

std::int32_t CDHCPSyncFactory::instanceCount(int family) const {
    std::lock_guard<nbx::CNRMutex> guard(m_mutex);
    const Instance* instance = _instance(family);
    return instance ? instance->count : 0;
}

bool CDHCPSyncFactory::hasReceiver(int family) const {
    std::lock_guard<nbx::CNRMutex> guard(m_mutex);
    const Instance* instance = _instance(family);
    return instance && instance->receiver != nullptr;
}
