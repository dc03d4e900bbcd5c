// The sync interval as the publisher and the resolver take it: a zero would make their timers
// fire without pause, so it counts as one second.

#include <gtest/gtest.h>

#include "publisher/publisher_task.h"
#include "resolver/resolver_task.h"
#include "sync_test_host.h"

TEST(SyncInterval, ZeroCountsAsOneSecondAndAbsentKeepsFive) {
    const struct {
        const char* config;
        std::uint32_t expected;
    } cases[] = {
        {"", 5}, {"ipv4.dhcpv4.sync.interval=0\n", 1}, {"ipv4.dhcpv4.sync.interval=30\n", 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        nbx::testing::TestHostServices host(c.config);
        nbx::testing::TestContext context(host, 4, "dhcp4");
        CResolverTask resolver(context, host.resolverDirectory(), CProtocolFamily(4));
        ASSERT_EQ(resolver.run(), 0);
        // Disabled: the publisher only waits, so nothing but its timers runs.
        CPublisherTask publisher(&resolver, CProtocolFamily(4), "127.0.0.1:1", host.baseDirectory(),
                                 "", "", false, &host);
        ASSERT_EQ(publisher.run(), 0);
        EXPECT_EQ(resolver.interval(), c.expected);
        EXPECT_EQ(publisher.retryDelay(), c.expected);
        publisher.stop();
        resolver.stop();
    }
}
