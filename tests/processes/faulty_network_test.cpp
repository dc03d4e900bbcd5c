// Two real hosts in network namespaces of their own, joined by a veth pair: the link between
// them goes down for longer than any time-out of the publisher and comes back.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "host_process.h"
#include "testing/temp_folder.h"

namespace {

using nbx::testing::eventually;
using nbx::testing::HostProcess;
using nbx::testing::occurrences;

// Where the machine runs this test, a shell command succeeds.
bool sh(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs `work` on a thread that joined the network namespace `ns`: the sockets it opens are
// there (a namespace is a thread's own, the rest of the process stays where it is).
template <class Work>
void inNamespace(const std::string& ns, Work work) {
    std::thread thread([&] {
        const int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        const bool joined = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0) ::close(fd);
        if (!joined) {
            ADD_FAILURE() << "cannot join the network namespace " << ns;
            return;
        }
        work();
    });
    thread.join();
}

// One end of the link: a namespace, its end of the veth pair with its address, and a host in it.
struct Side {
    std::string ns;
    std::string veth;
    std::string address;
    std::unique_ptr<HostProcess> host;
};

class LinkDownTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "network namespaces need root: the link is not tested";
        // Names of this run only: what a crashed earlier run left cannot get in the way.
        static int run = 0;
        const std::string id = std::to_string(::getpid() % 100000) +
                               std::to_string(std::time(nullptr) % 100) + std::to_string(run++);
        sides[0] = Side{"nbx-net-a" + id, "nbxa" + id, "10.77.0.1", nullptr};
        sides[1] = Side{"nbx-net-b" + id, "nbxb" + id, "10.77.0.2", nullptr};
        for (Side& side : sides) {
            if (!sh("ip netns add " + side.ns)) {
                GTEST_SKIP() << "this machine refuses network namespaces (ip netns add " << side.ns
                             << " failed): the link is not tested";
            }
            made.push_back(side.ns);
        }
        ASSERT_TRUE(sh("ip link add " + a().veth + " netns " + a().ns + " type veth peer name " +
                       b().veth + " netns " + b().ns));
        const std::string timeouts = "ipv4.dhcpv4.sync.timeout=1\nipv6.dhcpv6.sync.timeout=1\n";
        for (std::size_t i = 0; i < 2; ++i) {
            Side& side = sides[i];
            const std::string in = "ip -n " + side.ns + " ";
            ASSERT_TRUE(sh(in + "addr add " + side.address + "/30 dev " + side.veth));
            ASSERT_TRUE(sh(in + "link set " + side.veth + " up") && sh(in + "link set lo up"));
            side.host = std::make_unique<HostProcess>(folder.path(), i + 1);
            side.host->runIn(side.ns, timeouts);
            bool started = false;
            inNamespace(side.ns, [&] { started = side.host->start(); });
            ASSERT_TRUE(started) << side.host->output();
        }
    }
    void TearDown() override {
        for (Side& side : sides) side.host.reset();
        for (const std::string& ns : made) sh("ip netns del " + ns);
        if (HasFailure()) folder.keep();
    }

    Side& a() { return sides[0]; }
    Side& b() { return sides[1]; }
    std::string command(Side& side, const std::string& text, int* code = nullptr) {
        std::string response;
        inNamespace(side.ns, [&] { response = side.host->command(text, 4, code); });
        return response;
    }
    std::string ack(Side& side, const std::string& text) {
        int code = -1;
        const std::string response = command(side, text, &code);
        EXPECT_EQ(code, 0) << text << "\n" << response;
        return response;
    }
    std::string list(Side& side, const std::string& topic) {
        return command(side, "list " + topic);
    }
    bool inStep(const std::string& topic) {
        return eventually([&] { return list(b(), topic) == list(a(), topic); },
                          std::chrono::seconds(90));
    }

    nbx::testing::TempFolder folder{"nbx-net"};
    Side sides[2];
    std::vector<std::string> made;
};

TEST_F(LinkDownTest, ChangesMadeWhileTheLinkIsDownArriveInOrderOnceItIsBack) {
    // Host 1 replicates to host 2 over the link.
    const std::string target = b().address + ":" + std::to_string(b().host->queryPort());
    ack(a(), "add replicate_peer\ntarget=" + target +
                 "\nconsole_user=admin\nconsole_pass=" + b().host->password() + "\nclasses=*\n");
    const std::string oid = HostProcess::value(ack(a(), "add policy\nname=p\n"), "oid");
    ASSERT_TRUE(inStep("policy")) << a().host->logText();

    // The far end goes down: the publisher's connection and every new attempt meet silence.
    ASSERT_TRUE(sh("ip -n " + b().ns + " link set " + b().veth + " down"));
    const std::string failed = "Failed to initiate synchronization with server '" + target + "'";
    const int failedBefore = occurrences(a().host->logText(), failed);
    for (int i = 1; i <= 10; ++i) {
        ack(a(), "modify policy\noid=" + oid + "\ndescription=step " + std::to_string(i));
        ack(a(), "add domain\nname=d" + std::to_string(i));
    }
    // Two more attempts given up, each after a time-out: the link has been down longer than any.
    ASSERT_TRUE(
        eventually([&] { return occurrences(a().host->logText(), failed) >= failedBefore + 2; },
                   std::chrono::seconds(90)))
        << a().host->logText();
    EXPECT_EQ(HostProcess::value(list(b(), "domain"), "count"), "0");

    ASSERT_TRUE(sh("ip -n " + b().ns + " link set " + b().veth + " up"));
    EXPECT_TRUE(inStep("domain")) << list(b(), "domain");
    EXPECT_TRUE(inStep("policy")) << list(b(), "policy");
    EXPECT_EQ(HostProcess::value(list(b(), "domain"), "count"), "10");
    EXPECT_NE(list(b(), "policy").find("description=step 10\n"), std::string::npos);
    // A record applied out of order, or again with another result, leaves a conflict here.
    EXPECT_EQ(nbx::testing::readFile(a().host->dataDir() + "/conflicts/conflicts.4.log"), "");
}

}  // namespace
