#include "host/system_bus.h"

#include <algorithm>
#include <thread>

#include "standard/throw.h"

namespace host {

namespace {

const char* const kModule = "host";

}  // namespace

// One subscriber as the bus holds it. `post` serialises the posts to the subscriber with its
// unsubscribe; `run` does the same for the deliveries on the subscriber's thread (recursive, so
// that a subscriber may unsubscribe from inside its own onEvents).
struct CSystemBus::Subscription {
    explicit Subscription(CISystemBusSubscriber* s) : subscriber(s) {}

    CISystemBusSubscriber* subscriber;  // not owned
    std::set<std::string> filter;       // the filter given to subscribe(); empty takes all
    std::mutex post;
    std::recursive_mutex run;
    std::atomic<bool> active{true};

    bool wants(const std::string& topic) const {
        return (filter.empty() || filter.count(topic) != 0) && subscriber->wants(topic);
    }
};

// Counts down the deliveries of one publish call; the last one handled runs the callback.
struct CSystemBus::Ticket {
    Ticket(std::size_t count, std::function<void()> callback)
        : left(count), delivered(std::move(callback)) {}

    void handled() {
        if (left.fetch_sub(1) == 1 && delivered) delivered();
    }

    std::atomic<std::size_t> left;
    std::function<void()> delivered;
};

// Events of one publish call for one subscriber. A delivery that runs after its subscriber left
// the bus does nothing: the subscriber may already be gone.
class CSystemBus::CCmdDelivery : public CAsyncCommand {
public:
    CCmdDelivery(std::shared_ptr<CSystemBus::Subscription> subscription, CAppEventList events,
                 std::shared_ptr<Ticket> ticket)
        : CAsyncCommand("cmd-system-bus-delivery"),
          m_subscription(std::move(subscription)),
          m_events(std::move(events)),
          m_ticket(std::move(ticket)) {}

    void execute(std::uint32_t) override {
        {
            std::lock_guard<std::recursive_mutex> guard(m_subscription->run);
            if (!m_subscription->active.load()) return;
            m_subscription->subscriber->onEvents(m_events);
        }
        if (m_ticket) m_ticket->handled();
    }
    void complete() override {}

private:
    std::shared_ptr<CSystemBus::Subscription> m_subscription;
    CAppEventList m_events;
    std::shared_ptr<Ticket> m_ticket;
};

CSystemBus::CSystemBus(nbx::CILogSink* log, std::chrono::milliseconds maxBackoff)
    : m_log(log), m_maxBackoff(std::max(maxBackoff, std::chrono::milliseconds(1))) {}

CSystemBus::~CSystemBus() {
    std::vector<std::shared_ptr<Subscription>> left;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        left.swap(m_subscriptions);
    }
    for (const auto& subscription : left) {
        std::lock_guard<std::mutex> guard(subscription->post);
        subscription->active.store(false);
    }
}

void CSystemBus::subscribe(CISystemBusSubscriber* subscriber, const std::string& filter) {
    if (!subscriber) return;
    std::lock_guard<std::mutex> guard(m_mutex);
    for (const auto& subscription : m_subscriptions) {
        if (subscription->subscriber == subscriber) {
            NBX_THROW(nbx::CException, kModule, "CSystemBus::subscribe",
                      nbx::msg("Cannot subscribe to the system bus."),
                      nbx::msg("The subscriber is already subscribed."));
        }
    }
    auto subscription = std::make_shared<Subscription>(subscriber);
    subscription->filter = splitTopics(filter);
    m_subscriptions.push_back(std::move(subscription));
}

void CSystemBus::unsubscribe(CISystemBusSubscriber* subscriber) {
    std::shared_ptr<Subscription> found;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = std::find_if(m_subscriptions.begin(), m_subscriptions.end(),
                               [subscriber](const std::shared_ptr<Subscription>& subscription) {
                                   return subscription->subscriber == subscriber;
                               });
        if (it == m_subscriptions.end()) return;
        found = *it;
        m_subscriptions.erase(it);
    }
    // A publisher in back-off holds neither lock and sees the flag before its next try.
    {
        std::lock_guard<std::mutex> guard(found->post);
        found->active.store(false);
    }
    // Waits for a delivery running on the subscriber's thread (a no-op on that thread itself).
    std::lock_guard<std::recursive_mutex> guard(found->run);
}

void CSystemBus::registerTopic(const std::string& topic) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (std::find(m_topics.begin(), m_topics.end(), topic) == m_topics.end()) {
        m_topics.push_back(topic);
    }
}

std::vector<std::string> CSystemBus::topics() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_topics;
}

bool CSystemBus::isRegistered(const std::string& topic) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return std::find(m_topics.begin(), m_topics.end(), topic) != m_topics.end();
}

std::size_t CSystemBus::subscriberCount() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_subscriptions.size();
}

void CSystemBus::publish(const CAppEventList& events) {
    publish(events, nullptr);
}

void CSystemBus::publish(const CAppEventList& events, std::function<void()> delivered) {
    std::vector<std::shared_ptr<Subscription>> subscriptions;
    CAppEventList registered;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        subscriptions = m_subscriptions;
        for (const CAppEventPtr& event : events) {
            if (event.isNull()) continue;
            const std::string& topic = event.get()->topic();
            if (std::find(m_topics.begin(), m_topics.end(), topic) != m_topics.end()) {
                registered.push_back(event);
            }
        }
    }
    struct Delivery {
        std::shared_ptr<Subscription> subscription;
        CAsyncCommandPtr command;
        bool waited = false;
    };
    std::vector<std::pair<std::shared_ptr<Subscription>, CAppEventList>> wanted;
    for (const auto& subscription : subscriptions) {
        CAppEventList list;
        for (const CAppEventPtr& event : registered) {
            if (subscription->wants(event.get()->topic())) list.push_back(event);
        }
        if (!list.empty()) wanted.emplace_back(subscription, std::move(list));
    }
    if (wanted.empty()) {
        if (delivered) delivered();
        return;
    }
    std::shared_ptr<Ticket> ticket;
    if (delivered) ticket = std::make_shared<Ticket>(wanted.size(), std::move(delivered));
    std::vector<Delivery> pending;
    for (auto& entry : wanted) {
        pending.push_back(Delivery{
            entry.first,
            CAsyncCommandPtr(new CCmdDelivery(entry.first, std::move(entry.second), ticket)),
            false});
    }

    // Every delivery is tried once per round, so that one slow subscriber does not hold back
    // the others; a full queue is retried after the back-off.
    std::chrono::milliseconds backoff(1);
    while (!pending.empty()) {
        std::vector<Delivery> full;
        for (Delivery& delivery : pending) {
            Subscription& subscription = *delivery.subscription;
            std::lock_guard<std::mutex> guard(subscription.post);
            if (!subscription.active.load()) continue;
            CICommandQueueTask* queue = subscription.subscriber->queue();
            try {
                if (!queue) {
                    NBX_THROW(nbx::CException, kModule, "CSystemBus::publish",
                              nbx::msg("Cannot deliver system bus events."),
                              nbx::msg("The subscriber has no command queue."));
                }
                queue->sendCommand(delivery.command);
            } catch (CExQueueFull&) {
                if (!delivery.waited) {
                    delivery.waited = true;
                    ++m_waits;
                    _noteWait(queue->name());
                }
                full.push_back(std::move(delivery));
            } catch (nbx::CException& exception) {
                // Not a full queue: retrying cannot help. Keep the other deliveries going.
                _report(exception);
            }
        }
        pending.swap(full);
        if (pending.empty()) break;
        std::this_thread::sleep_for(backoff);
        backoff = std::min(backoff * 2, m_maxBackoff);
    }
}

void CSystemBus::_noteWait(const std::string& taskName) {
    if (!m_log) return;
    nbx::CMessage note =
        nbx::msg("The command queue of task '%1' is full: the system bus waits to deliver events.",
                 taskName);
    note.setModule(kModule);
    m_log->log(nbx::SEVERITY_WARNING, note);
}

void CSystemBus::_report(nbx::CException& exception) {
    if (!m_log) return;
    nbx::CExceptionList list;
    list.push_back(nbx::CExceptionPtr(new nbx::CException(exception)));
    m_log->log(list);
}

}  // namespace host
