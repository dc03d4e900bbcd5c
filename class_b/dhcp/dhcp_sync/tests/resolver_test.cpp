#include "resolver/resolver_task.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "standard/stat.h"
#include "sync_test_host.h"

namespace {

using nbx::testing::TestContext;
using nbx::testing::TestHostServices;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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
    EXPECT_EQ(entries[0].severity, 4u);
    EXPECT_EQ(entries[0].module, "dhcp_sync");
    EXPECT_EQ(entries[0].text,
              "Conflict on server 127.0.0.1:1067 with object code=ack\n"
              "message=Kept the newer object.\n.");
}

TEST_F(ResolverTest, ConcurrentConflictsStayWholeRecords) {
    CResolverTask resolver(context4, host.resolverDirectory(), CProtocolFamily(4));
    // Records far larger than a stream buffer, so that unguarded writes would interleave.
    const std::string big(20000, 'a');
    const std::string other(20000, 'b');
    constexpr int kEach = 100;
    std::thread first([&] {
        for (int i = 0; i < kEach; ++i) resolver.conflict("one", response("code=ack\nv=" + big));
    });
    std::thread second([&] {
        for (int i = 0; i < kEach; ++i) resolver.conflict("two", response("code=ack\nv=" + other));
    });
    first.join();
    second.join();

    const std::string recordOne = "_target=one\ncode=ack\nv=" + big + "\n\n\n";
    const std::string recordTwo = "_target=two\ncode=ack\nv=" + other + "\n\n\n";
    const std::string text = readFile(resolver.logPath());
    int ones = 0;
    int twos = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, recordOne.size(), recordOne) == 0) {
            ++ones;
            at += recordOne.size();
        } else if (text.compare(at, recordTwo.size(), recordTwo) == 0) {
            ++twos;
            at += recordTwo.size();
        } else {
            FAIL() << "torn record at byte " << at;
        }
    }
    EXPECT_EQ(ones, kEach);
    EXPECT_EQ(twos, kEach);
}

TEST_F(ResolverTest, RunsUnderItsInstanceNameAndReleasesItsThread) {
    CResolverTask resolver(context6, host.resolverDirectory(), CProtocolFamily(6));
    EXPECT_EQ(resolver.name(), "dhcp6-sync-resolver");
    EXPECT_EQ(resolver.instanceName(), "dhcp6");
    ASSERT_EQ(resolver.run(), 0);
    resolver.conflict("[::1]:547", response("code=ack\nmessage=m"));
    EXPECT_EQ(resolver.logPath(), host.resolverDirectory() + "/conflicts.6.log");
    EXPECT_EQ(readFile(resolver.logPath()), "_target=[::1]:547\ncode=ack\nmessage=m\n\n\n");

    EXPECT_EQ(resolver.stop(), 0);
    EXPECT_EQ(resolver.thr_count(), 0u);
    EXPECT_EQ(host.releasedThreads(), 1);
    std::vector<std::string> lifecycle;
    for (const auto& entry : host.sink().entries()) {
        if (entry.severity == 8) lifecycle.push_back(entry.text);
    }
    EXPECT_EQ(lifecycle, (std::vector<std::string>{"The dhcp sync resolver is running.",
                                                   "The dhcp sync resolver has exited."}));
}
