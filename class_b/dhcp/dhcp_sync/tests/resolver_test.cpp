#include "resolver/resolver_task.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "publisher/publisher_task.h"
#include "standard/stat.h"
#include "sync_test_host.h"
#include "testing/failure.h"

namespace {

using nbx::testing::failure;
using nbx::testing::readFile;
using nbx::testing::TestContext;
using nbx::testing::TestHostServices;

nbx::CStringMap response(const std::string& text) {
    return nbx::CStringMap(text, "\n");
}

class ResolverTest : public ::testing::Test {
protected:
    TestHostServices host{"ipv4.dhcpv4.sync.interval=1\nipv6.dhcpv6.sync.interval=1"};
    TestContext context4{host, 4, "dhcp4"};
    TestContext context6{host, 6, "dhcp6"};
};

}  // namespace

TEST_F(ResolverTest, ConflictIsOneRecordInKeyOrderAndOneLogEntry) {
    CResolverTask resolver(context4, host.resolverDirectory(), CProtocolFamily(4));
    EXPECT_EQ(resolver.logPath(), host.resolverDirectory() + "/conflicts.4.log");
    // The folder does not exist until the first conflict needs it.
    ASSERT_FALSE(nbx::CStat::exists(host.resolverDirectory()));

    resolver.conflict("127.0.0.1:1067", response("message=Kept the newer object.\ncode=ack"));
    resolver.conflict("[::1]:547", response("oid=16777217\ncode=ack\nmessage=m"));
    EXPECT_EQ(readFile(resolver.logPath()),
              "_target=127.0.0.1:1067\ncode=ack\nmessage=Kept the newer object.\n\n\n"
              "_target=[::1]:547\ncode=ack\nmessage=m\noid=16777217\n\n\n");

    const auto entries = host.sink().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].severity, nbx::SEVERITY_ERROR);
    EXPECT_EQ(entries[0].module, "dhcp_sync");
    EXPECT_EQ(entries[0].text,
              "Conflict on server 127.0.0.1:1067 with object code=ack\n"
              "message=Kept the newer object.\n.");
}

TEST_F(ResolverTest, AConflictThatCannotBeWrittenThrowsAndLogsNothing) {
    std::ofstream(host.folder() + "/file") << "in the way";
    const std::string directory = host.folder() + "/file/conflicts";
    CResolverTask resolver(context4, directory, CProtocolFamily(4));
    EXPECT_EQ(failure([&] { resolver.conflict("t", response("code=ack")); }).message,
              "Cannot create directory '" + directory + "'.");
    EXPECT_TRUE(host.sink().entries().empty());
}

TEST_F(ResolverTest, ConcurrentConflictsStayWholeRecords) {
    CResolverTask resolver(context4, host.resolverDirectory(), CProtocolFamily(4));
    // Records far larger than a stream buffer, so that unguarded writes would interleave.
    const std::string recordOf[] = {
        "_target=one\ncode=ack\nv=" + std::string(20000, 'a') + "\n\n\n",
        "_target=two\ncode=ack\nv=" + std::string(20000, 'b') + "\n\n\n"};
    constexpr int kEach = 100;
    const auto writer = [&](const char* target, char value) {
        return std::thread([&resolver, target, value] {
            for (int i = 0; i < kEach; ++i) {
                resolver.conflict(target, response("code=ack\nv=" + std::string(20000, value)));
            }
        });
    };
    std::thread first = writer("one", 'a');
    std::thread second = writer("two", 'b');
    first.join();
    second.join();

    const std::string text = readFile(resolver.logPath());
    int counts[2] = {0, 0};
    for (std::size_t at = 0; at < text.size();) {
        int which = 0;
        while (which < 2 && text.compare(at, recordOf[which].size(), recordOf[which]) != 0) ++which;
        ASSERT_LT(which, 2) << "torn record at byte " << at;
        ++counts[which];
        at += recordOf[which].size();
    }
    EXPECT_EQ(counts[0], kEach);
    EXPECT_EQ(counts[1], kEach);
}

TEST_F(ResolverTest, RunsUnderItsInstanceNameAndReleasesItsThread) {
    // An interval that cannot be read keeps the IPv4 resolver from starting, not the IPv6 one.
    host.setConfig("ipv4.dhcpv4.sync.interval=soon\nipv6.dhcpv6.sync.interval=1");
    CResolverTask failing(context4, host.resolverDirectory(), CProtocolFamily(4));
    EXPECT_EQ(failing.run(), 10);
    EXPECT_EQ(host.releasedThreads(), 1);
    host.sink().clear();

    CResolverTask resolver(context6, host.resolverDirectory(), CProtocolFamily(6));
    EXPECT_EQ(resolver.name(), "dhcp6-sync-resolver");
    EXPECT_EQ(resolver.instanceName(), "dhcp6");
    EXPECT_EQ(resolver.logPath(), host.resolverDirectory() + "/conflicts.6.log");
    ASSERT_EQ(resolver.run(), 0);
    EXPECT_EQ(resolver.stop(), 0);
    EXPECT_EQ(resolver.thr_count(), 0u);
    EXPECT_EQ(host.releasedThreads(), 2);
    EXPECT_EQ(host.sink().texts(),
              (std::vector<std::string>{"The dhcp sync resolver is running.",
                                        "The dhcp sync resolver has exited."}));
}

// A zero interval would make the resolver's and the publisher's timers fire without pause.
TEST(SyncInterval, ZeroCountsAsOneSecondAndAbsentKeepsFive) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"", 5}, {"ipv4.dhcpv4.sync.interval=0\n", 1}, {"ipv4.dhcpv4.sync.interval=30\n", 30}};
    for (const auto& [config, expected] : cases) {
        SCOPED_TRACE(config);
        TestHostServices host(config);
        TestContext context(host, 4, "dhcp4");
        CResolverTask resolver(context, host.resolverDirectory(), CProtocolFamily(4));
        ASSERT_EQ(resolver.run(), 0);
        // Disabled: the publisher only waits, so nothing but its timers runs.
        CPublisherTask publisher(&resolver, CProtocolFamily(4), "127.0.0.1:1", host.baseDirectory(),
                                 "", "", false, &host);
        ASSERT_EQ(publisher.run(), 0);
        EXPECT_EQ(resolver.interval(), expected);
        EXPECT_EQ(publisher.retryDelay(), expected);
        publisher.stop();
        resolver.stop();
    }
}
