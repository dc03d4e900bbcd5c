#pragma once
// The system bus of one protocol instance.
//
// publish() takes the events whose topic some subscriber registered, and posts them, in order,
// as one delivery command into the command queue of every subscriber that wants them; the
// subscriber's onEvents runs on its task's thread. A full queue (CExQueueFull) is never a
// dropped event: publish() waits with a bounded back-off and tries again, and logs once per
// delivery that it had to wait. unsubscribe() waits for a post in progress to that subscriber, so
// once it returns the bus never touches the subscriber again, also while publish() is waiting.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "dhcp_plugin_api/system_bus.h"
#include "standard/exception_facade.h"

namespace host {

class CSystemBus : public CISystemBus {
public:
    // `log` (not owned) receives the waiting notes; `maxBackoff` bounds one wait between tries.
    explicit CSystemBus(nbx::CILogSink* log,
                        std::chrono::milliseconds maxBackoff = std::chrono::milliseconds(100));
    ~CSystemBus() override;

    void subscribe(CISystemBusSubscriber* subscriber, const std::string& filter) override;
    void unsubscribe(CISystemBusSubscriber* subscriber) override;
    void registerTopic(const std::string& topic) override;
    void publish(const CAppEventList& events) override;
    // As publish; `delivered` runs once every subscriber that wanted the events has handled them
    // (on the thread of the last one), at once when none wants them. It never runs for a
    // delivery that could not be posted or whose subscriber left first: the caller keeps what
    // it must deliver again.
    void publish(const CAppEventList& events, std::function<void()> delivered);

    // Registered topics in the order of their first registration.
    std::vector<std::string> topics() const;
    bool isRegistered(const std::string& topic) const;
    std::size_t subscriberCount() const;
    // Deliveries that had to wait for a full queue, since construction.
    std::uint64_t waits() const { return m_waits.load(); }

private:
    struct Subscription;
    struct Ticket;
    class CCmdDelivery;

    void _noteWait(const std::string& taskName);
    void _report(nbx::CException& exception);

    nbx::CILogSink* m_log;
    std::chrono::milliseconds m_maxBackoff;
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Subscription>> m_subscriptions;
    std::vector<std::string> m_topics;
    std::atomic<std::uint64_t> m_waits{0};
};

}  // namespace host
