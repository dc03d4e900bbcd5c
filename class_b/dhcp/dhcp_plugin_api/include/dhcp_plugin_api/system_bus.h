#pragma once
// The host's system bus: events about configuration objects and leases, delivered to
// subscribers on their own task threads.
//
// publish() hands an event list to every subscriber whose filter takes the event's topic by
// posting a command into the subscriber's command queue; the subscriber's onEvents runs when the
// task executes it. A full queue never drops an event: the publisher waits and tries again.

#include <cstdint>
#include <list>
#include <memory>
#include <set>
#include <string>

#include "extended/command_queue_task.h"
#include "standard/general_ptr.h"
#include "standard/time_t.h"

class CIHostContext;

// One event. Object events carry "add", "modify" or "del"; lease events "obtain", "renew",
// "release", "decline" or "expire"; a configuration reload has the topic "config".
class CAppEvent {
public:
    CAppEvent(const std::string& type, const std::string& topic, const std::string& oid,
              const nbx::CTimeT& time)
        : m_type(type), m_topic(topic), m_oid(oid), m_time(time) {}
    virtual ~CAppEvent() = default;

    const std::string& type() const { return m_type; }
    // The text class name of the object, or "config".
    const std::string& topic() const { return m_topic; }
    // The object's id as text (decimal, or with a "0x" or "0" prefix).
    const std::string& oid() const { return m_oid; }
    const nbx::CTimeT& time() const { return m_time; }

private:
    std::string m_type;
    std::string m_topic;
    std::string m_oid;
    nbx::CTimeT m_time;
};

// A change of a configuration object.
class CPrstDHCPObjectEvent : public CAppEvent {
public:
    using CAppEvent::CAppEvent;
};

// A change of a lease ("address_lease" or "network_lease").
class CLeaseEvent : public CAppEvent {
public:
    using CAppEvent::CAppEvent;
};

using CAppEventPtr = nbx::CGeneralPtr<const CAppEvent, nbx::CMTOwnerPolicy>;
using CAppEventList = std::list<CAppEventPtr>;

// The topics of a comma-separated filter; an empty filter gives none, which takes every topic.
inline std::set<std::string> splitTopics(const std::string& filter) {
    std::set<std::string> topics;
    std::size_t start = 0;
    while (start <= filter.size()) {
        std::size_t end = filter.find(',', start);
        if (end == std::string::npos) end = filter.size();
        if (end > start) topics.insert(filter.substr(start, end - start));
        start = end + 1;
    }
    return topics;
}

// A subscriber: the command queue through which the bus delivers, and the topics it wants.
class CISystemBusSubscriber {
public:
    // `filter` is a comma-separated list of topics; empty takes every topic.
    CISystemBusSubscriber(CIHostContext* hostContext, CICommandQueueTask* queue,
                          const std::string& filter)
        : m_hostContext(hostContext), m_queue(queue), m_filter(splitTopics(filter)) {}
    virtual ~CISystemBusSubscriber() = default;

    // One event, on the subscriber's task thread. An exception that leaves onEvents means the
    // events were not handled: a host that tracks deliveries keeps them to deliver again.
    virtual void onEvent(const CAppEventPtr& event) = 0;
    virtual void onEvents(const CAppEventList& events) {
        for (const CAppEventPtr& event : events) onEvent(event);
    }

    CIHostContext* hostContext() const { return m_hostContext; }
    CICommandQueueTask* queue() const { return m_queue; }
    const std::set<std::string>& filter() const { return m_filter; }
    bool wants(const std::string& topic) const {
        return m_filter.empty() || m_filter.count(topic) != 0;
    }

private:
    CIHostContext* m_hostContext;  // not owned
    CICommandQueueTask* m_queue;   // not owned
    std::set<std::string> m_filter;
};

class CISystemBus {
public:
    virtual ~CISystemBus() = default;
    // `filter` as in CISystemBusSubscriber; the subscriber is not owned and must stay until
    // unsubscribe() has returned.
    virtual void subscribe(CISystemBusSubscriber* subscriber, const std::string& filter) = 0;
    // After it returns the bus posts nothing more to the subscriber.
    virtual void unsubscribe(CISystemBusSubscriber* subscriber) = 0;
    virtual void registerTopic(const std::string& topic) = 0;
    // Delivers the events to every subscriber that wants their topic (see above).
    virtual void publish(const CAppEventList& events) = 0;
};

using CISystemBusPtr = std::shared_ptr<CISystemBus>;
