#include "host/system_bus.h"

#include <gtest/gtest.h>

#include <thread>

#include "bus_test_support.h"
#include "testing/failure.h"
#include "testing/recording_controller.h"

namespace {

using namespace bustest;

class SystemBus : public ::testing::Test {
protected:
    SystemBus() : bus(&controller.sink(), 20ms) {
        for (const char* topic : {"config", "address_pool", "policy", "replicate_peer"}) {
            bus.registerTopic(topic);
        }
    }
    // Holds the subscriber's task in the delivery of "address_pool:0", then publishes one event
    // per call, numbered on from 1, until a call has had to wait for the full queue.
    std::thread publishUntilFull(Subscriber& subscriber, std::atomic<int>& published,
                                 std::atomic<bool>& done) {
        subscriber.hold();
        bus.publish(events({{"address_pool", 0}}));
        published = 1;
        if (!eventually([&] { return subscriber.deliveries().size() == 1; })) {
            throw std::runtime_error("the task did not take the first delivery");
        }
        return std::thread([&] {
            for (int i = 1; i < 100000 && bus.waits() == 0; ++i) {
                bus.publish(events({{"address_pool", i}}));
                ++published;
            }
            done = true;
        });
    }

    nbx::testing::RecordingController controller;
    host::CSystemBus bus;
};

}  // namespace

TEST_F(SystemBus, DeliversEachCallAsOneListOnTheSubscribersThread) {
    Subscriber subscriber(controller, "");
    bus.subscribe(&subscriber, "");
    bus.publish(events({{"address_pool", 1}, {"policy", 2}, {"address_pool", 3}}));
    bus.publish(events({{"replicate_peer", 4}}));

    ASSERT_TRUE(eventually([&] { return subscriber.deliveries().size() == 2; }));
    EXPECT_EQ(subscriber.deliveries(),
              (std::vector<std::vector<std::string>>{
                  {"address_pool:1", "policy:2", "address_pool:3"}, {"replicate_peer:4"}}));
    EXPECT_EQ(subscriber.threads(),
              (std::vector<std::string>{"v4-sync-receiver", "v4-sync-receiver"}));

    EXPECT_EQ(nbx::testing::failure([&] { bus.subscribe(&subscriber, "policy"); }).text(),
              "Cannot subscribe to the system bus. | The subscriber is already subscribed.");
    EXPECT_EQ(bus.subscriberCount(), 1u);
}

TEST_F(SystemBus, DeliversOnlyRegisteredTopicsThatBothFiltersTake) {
    struct Case {
        const char* name;
        const char* subscriberFilter;
        const char* subscribeFilter;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"no filter: unregistered topic dropped",
         "",
         "",
         {"address_pool:1", "policy:3", "config:4"}},
        {"subscriber's filter", "policy,config", "", {"policy:3", "config:4"}},
        {"subscribe's filter", "", "address_pool", {"address_pool:1"}},
        {"both filters", "policy,config", "config,address_pool", {"config:4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Subscriber subscriber(controller, c.subscriberFilter);
        bus.subscribe(&subscriber, c.subscribeFilter);
        bus.publish(events({{"address_pool", 1}, {"lease", 2}, {"policy", 3}, {"config", 4}}));
        EXPECT_TRUE(eventually([&] { return subscriber.deliveries().size() == 1; }));
        EXPECT_EQ(subscriber.received(), c.expected);
        bus.unsubscribe(&subscriber);
    }
    EXPECT_EQ(bus.topics(),
              (std::vector<std::string>{"config", "address_pool", "policy", "replicate_peer"}));
}

TEST_F(SystemBus, FullQueueMakesThePublisherWaitAndNothingIsLost) {
    Subscriber subscriber(controller, "");
    bus.subscribe(&subscriber, "");
    std::atomic<int> published{0};
    std::atomic<bool> done{false};
    std::thread publisher = publishUntilFull(subscriber, published, done);

    // The publisher is stuck on the full queue until the task moves again.
    ASSERT_TRUE(eventually([&] { return bus.waits() == 1; }));
    EXPECT_FALSE(done.load());
    subscriber.release();
    publisher.join();

    std::vector<std::string> expected;
    for (int i = 0; i < published; ++i) expected.push_back("address_pool:" + std::to_string(i));
    ASSERT_TRUE(eventually([&] { return subscriber.received().size() == expected.size(); }));
    EXPECT_EQ(subscriber.received(), expected);
    // One note for the one delivery that waited, however many times it tried.
    const auto notes = controller.sink().entries();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].severity, nbx::SEVERITY_WARNING);
    EXPECT_EQ(notes[0].module, "host");
    EXPECT_NE(notes[0].text.find("is full: the system bus waits"), std::string::npos);
}

TEST_F(SystemBus, UnsubscribeEndsAWaitingPublishAndNothingIsDeliveredAfterwards) {
    Subscriber subscriber(controller, "");
    bus.subscribe(&subscriber, "");
    std::atomic<int> published{0};
    std::atomic<bool> done{false};
    std::thread publisher = publishUntilFull(subscriber, published, done);
    ASSERT_TRUE(eventually([&] { return bus.waits() == 1; }));

    // unsubscribe waits for the delivery that runs (held) on the task, but not for the
    // publisher's back-off: the publisher gives up while the task is still held.
    std::atomic<bool> unsubscribed{false};
    std::thread leaver([&] {
        bus.unsubscribe(&subscriber);
        unsubscribed = true;
    });
    EXPECT_TRUE(eventually([&] { return done.load(); }));
    publisher.join();
    EXPECT_FALSE(unsubscribed.load());
    subscriber.release();
    leaver.join();

    bus.publish(events({{"policy", 1}}));
    ASSERT_TRUE(subscriber.drained());
    // Only the delivery that was running: the queued ones found the subscriber gone.
    EXPECT_EQ(subscriber.received(), (std::vector<std::string>{"address_pool:0"}));
    EXPECT_EQ(bus.subscriberCount(), 0u);
}

TEST_F(SystemBus, NothingIsDeliveredOnceTheBusIsGone) {
    Subscriber subscriber(controller, "");
    auto gone = std::make_unique<host::CSystemBus>(&controller.sink());
    gone->registerTopic("policy");
    gone->subscribe(&subscriber, "");
    subscriber.hold();
    gone->publish(events({{"policy", 1}}));
    ASSERT_TRUE(eventually([&] { return subscriber.deliveries().size() == 1; }));
    gone->publish(events({{"policy", 2}}));  // queued behind the held delivery
    gone.reset();
    subscriber.release();
    ASSERT_TRUE(subscriber.drained());
    EXPECT_EQ(subscriber.received(), (std::vector<std::string>{"policy:1"}));
}

TEST_F(SystemBus, ConcurrentPublishersKeepEachCallsOrderForEverySubscriber) {
    Subscriber first(controller, "", "v4-sync-receiver");
    Subscriber second(controller, "address_pool", "v6-sync-receiver");
    bus.subscribe(&first, "");
    bus.subscribe(&second, "");
    const int kThreads = 4;
    const int kCalls = 150;
    std::vector<std::thread> publishers;
    for (int t = 0; t < kThreads; ++t) {
        publishers.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                // The oid says which thread and which call; each call is in order itself.
                const int oid = t * 1000 + i;
                bus.publish(events({{"address_pool", oid}, {"policy", oid}}));
            }
        });
    }
    for (std::thread& t : publishers) t.join();

    ASSERT_TRUE(eventually([&] { return first.deliveries().size() == kThreads * kCalls; }));
    ASSERT_TRUE(eventually([&] { return second.deliveries().size() == kThreads * kCalls; }));
    std::vector<int> next(kThreads, 0);
    for (const auto& delivery : first.deliveries()) {
        ASSERT_EQ(delivery.size(), 2u);
        const int oid = std::stoi(delivery[0].substr(delivery[0].find(':') + 1));
        const int t = oid / 1000;
        EXPECT_EQ(oid % 1000, next[t]++) << "thread " << t;
        EXPECT_EQ(delivery[1], "policy:" + std::to_string(oid));
    }
    for (const auto& delivery : second.deliveries()) {
        ASSERT_EQ(delivery.size(), 1u);
        EXPECT_EQ(delivery[0].rfind("address_pool:", 0), 0u);
    }
}

TEST_F(SystemBus, EventsCountAsDeliveredOnlyOnceEverySubscriberHandledThem) {
    Subscriber taking(controller, "");
    Subscriber refusing(controller, "", "v6-sync-receiver");
    bus.subscribe(&taking, "");
    bus.subscribe(&refusing, "");
    refusing.refuse = true;
    std::atomic<bool> first{false}, second{false};
    bus.publish(events({{"policy", 1}}), [&] { first = true; });
    ASSERT_TRUE(eventually([&] { return refusing.deliveries().size() == 1; }));
    refusing.refuse = false;
    bus.publish(events({{"policy", 2}}), [&] { second = true; });

    // Each subscriber runs its deliveries in order: the first call would have counted before.
    ASSERT_TRUE(eventually([&] { return second.load(); }));
    EXPECT_FALSE(first.load());
    EXPECT_EQ(taking.received(), (std::vector<std::string>{"policy:1", "policy:2"}));
}
