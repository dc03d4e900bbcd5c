// Real hosts replicating to each other: nbxd processes on loopback with the real plug-in, changed
// through their consoles, stopped, killed and started again.

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <list>
#include <map>
#include <thread>
#include <vector>

#include "../replicated_classes.h"
#include "host_process.h"
#include "standard/dir_ent.h"
#include "standard/stat.h"
#include "testing/temp_folder.h"

namespace {

using nbx::testing::eventually;
using nbx::testing::HostProcess;
using nbx::testing::occurrences;

// Every replicated class in IPv4, then the pools and bindings of both families.
std::vector<std::pair<int, Change>> everyClass() {
    std::vector<std::pair<int, Change>> out;
    for (const Change& change : kBothFamilies) out.emplace_back(4, change);
    out.emplace_back(4,
                     Change{"address_pool",
                            "name=a\nrangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\n"
                            "prefix=10.1.2.0\nprefix_len=24\npolicies=voip\n"});
    out.emplace_back(4, Change{"address_binding",
                               "client_id=01-02\nipaddr=10.1.2.15\nrelay=10.1.2.1\nsource_pool=a\n"
                               "lease_duration=Thu Jan  1 01:00:00 1970\n"});
    out.emplace_back(6, Change{"address_pool",
                               "name=lab-v6\nprefix=2001:db8:1::\nprefix_len=64\n"
                               "rangestart=2001:db8:1::1:0\nrangestop=2001:db8:1::1:ffff\n"
                               "relay=2001:db8:1::1\n"});
    out.emplace_back(6, Change{"network_pool",
                               "name=pd\nprefix=2001:db8:100::\nprefix_len=40\n"
                               "rangestart=2001:db8:100::\nrangestop=2001:db8:1ff::\n"
                               "relay=2001:db8::1\nsub_prefix_len=48\n"});
    out.emplace_back(6,
                     Change{"network_binding",
                            "prefix_len=56\nduid=00-01\niatype=25\niaid=1\nipaddr=2001:db8:100::\n"
                            "relay=2001:db8::1\nsource_pool=pd\nlease_duration=infinite\n"});
    return out;
}

// Closed logs waiting in a spool folder.
std::size_t closedLogs(const std::string& folder) {
    std::list<nbx::CDirEnt> found;
    if (nbx::CStat::isDirectory(folder)) nbx::CStat::findFiles(folder, "*-transactions.*", found);
    return found.size();
}

class HostGroup : public ::testing::Test {
protected:
    ~HostGroup() override {
        hosts.clear();
        if (HasFailure()) folder.keep();
    }

    // `count` hosts, each a peer of every other, running.
    void mesh(int count, const std::string& extra = "") {
        for (int node = 1; node <= count; ++node) {
            hosts.push_back(std::make_unique<HostProcess>(root, node, extra));
            ASSERT_TRUE(hosts.back()->start()) << hosts.back()->output();
        }
        for (auto& host : hosts) {
            for (auto& peer : hosts) {
                if (peer == host) continue;
                ack(*host, host->peerRecord(*peer));  // one record serves both families
            }
        }
        // The record reaches the other family's receiver a moment later; a change it takes
        // before would not go to that peer. Its working log shows that it has the peer.
        for (auto& host : hosts) {
            for (auto& peer : hosts) {
                if (peer == host) continue;
                const std::string log =
                    host->dataDir() + "/spool/" + peer->target() + "/transactions.6.log";
                ASSERT_TRUE(eventually([&] { return ::access(log.c_str(), F_OK) == 0; })) << log;
            }
        }
    }
    // Sends a command that must be acknowledged; its response.
    std::string ack(HostProcess& host, const std::string& command, int family = 4) {
        int code = -1;
        const std::string response = host.command(command, family, &code);
        EXPECT_EQ(code, 0) << command << "\n" << response;
        return response;
    }
    std::string list(HostProcess& host, const std::string& topic, int family = 4) {
        return host.command("list " + topic, family);
    }
    // Waits until every host lists the objects of `topic` as host `from` does.
    bool inStep(const std::string& topic, int family = 4, std::size_t from = 0) {
        return eventually(
            [&] {
                const std::string expected = list(*hosts[from], topic, family);
                for (auto& host : hosts)
                    if (list(*host, topic, family) != expected) return false;
                return true;
            },
            std::chrono::seconds(60));
    }
    std::string differences(const std::string& topic, int family = 4) {
        std::string out;
        for (auto& host : hosts)
            out += "host " + std::to_string(host->node()) + ":\n" + list(*host, topic, family);
        return out;
    }

    nbx::testing::TempFolder folder{"nbx-hosts"};
    const std::string root = folder.path();
    std::vector<std::unique_ptr<HostProcess>> hosts;
};

TEST_F(HostGroup, EveryClassAddedModifiedAndDeletedArrivesOnEveryHost) {
    mesh(3);
    std::map<std::string, std::string> oids;
    for (const auto& [family, change] : everyClass()) {
        const std::string added =
            ack(*hosts[0], "add " + std::string(change.topic) + "\n" + change.text, family);
        oids[std::to_string(family) + change.topic] = HostProcess::value(added, "oid");
    }
    ASSERT_TRUE(inStep("policy") && inStep("keyvalue"));
    ack(*hosts[1], "modify policy\noid=" + oids["4policy"] + "\ndescription=changed on 2\n");
    ack(*hosts[2], "del keyvalue\noid=" + oids["4keyvalue"] + "\n");
    for (const auto& [family, change] : everyClass()) {
        SCOPED_TRACE(change.topic);
        EXPECT_TRUE(inStep(change.topic, family)) << differences(change.topic, family);
    }
    EXPECT_NE(list(*hosts[0], "policy").find("description=changed on 2"), std::string::npos);
    EXPECT_NE(list(*hosts[1], "keyvalue").find("count=0"), std::string::npos);
}

TEST_F(HostGroup, StoppedPeerGetsEverythingInOrderAfterItsRestart) {
    mesh(2);
    const std::string oid = HostProcess::value(ack(*hosts[0], "add policy\nname=p\n"), "oid");
    ASSERT_TRUE(inStep("policy"));
    EXPECT_EQ(hosts[1]->stop(), 0);
    for (int i = 1; i <= 20; ++i) {
        ack(*hosts[0], "modify policy\noid=" + oid + "\ndescription=step " + std::to_string(i));
        ack(*hosts[0], "add domain\nname=d" + std::to_string(i));
    }
    ASSERT_TRUE(hosts[1]->start()) << hosts[1]->output();
    EXPECT_TRUE(inStep("domain")) << differences("domain");
    EXPECT_TRUE(inStep("policy")) << differences("policy");
    EXPECT_NE(list(*hosts[1], "policy").find("description=step 20\n"), std::string::npos);
}

TEST_F(HostGroup, ConcurrentChangesOfOneObjectEndAlikeOrAreLoggedAsConflicts) {
    mesh(2);
    const std::string oid = HostProcess::value(ack(*hosts[0], "add policy\nname=p\n"), "oid");
    ASSERT_TRUE(inStep("policy"));
    std::thread other([&] { ack(*hosts[1], "modify policy\noid=" + oid + "\ndescription=two"); });
    ack(*hosts[0], "modify policy\noid=" + oid + "\ndescription=one");
    other.join();
    auto conflicts = [&](HostProcess& host) {
        struct stat info {};
        return ::stat((host.dataDir() + "/conflicts/conflicts.4.log").c_str(), &info) == 0 &&
               info.st_size > 0;
    };
    EXPECT_TRUE(eventually(
        [&] {
            return list(*hosts[0], "policy") == list(*hosts[1], "policy") ||
                   (conflicts(*hosts[0]) && conflicts(*hosts[1]));
        },
        std::chrono::seconds(60)))
        << differences("policy");
}

TEST_F(HostGroup, PeerRecordSteersWhatGoesWhereAndWhen) {
    // Host 1 replicates to host 2 only; host 2 replicates nothing.
    for (int node = 1; node <= 2; ++node) {
        hosts.push_back(std::make_unique<HostProcess>(root, node));
        ASSERT_TRUE(hosts.back()->start()) << hosts.back()->output();
    }
    HostProcess& a = *hosts[0];
    HostProcess& b = *hosts[1];
    const std::string spool = a.dataDir() + "/spool/";
    auto domains = [&] { return HostProcess::value(list(b, "domain"), "count"); };

    // A wrong password: the publisher keeps trying and says why; the change waits.
    const std::string peer = HostProcess::value(
        ack(a, "add replicate_peer\ntarget=" + b.target() +
                   "\nconsole_user=admin\nconsole_pass=wrong\nclasses=policy,domain\n"),
        "oid");
    ack(a, "add domain\nname=first");
    EXPECT_TRUE(eventually([&] {
        return occurrences(a.logText(), "Failed to initiate synchronization with server") >= 2;
    })) << a.logText();
    EXPECT_EQ(domains(), "0");
    ack(a, "modify replicate_peer\noid=" + peer + "\nconsole_pass=" + b.password());
    EXPECT_TRUE(eventually([&] { return domains() == "1"; })) << a.logText();

    // The class filter: an account is not for this peer.
    ack(a, "add account\nname=desk\nclass=modem");
    ack(a, "add policy\nname=after-account");
    ASSERT_TRUE(inStep("policy"));
    EXPECT_EQ(HostProcess::value(list(b, "account"), "count"), "0");

    // Disabled: changes wait in the spool; enabled again: they go.
    ack(a, "modify replicate_peer\noid=" + peer + "\nenabled=false");
    ack(a, "add domain\nname=while-disabled");
    EXPECT_TRUE(eventually([&] { return closedLogs(spool + b.target()) > 0; }))
        << "the change waits in a closed log";
    EXPECT_EQ(domains(), "1");
    ack(a, "modify replicate_peer\noid=" + peer + "\nenabled=true");
    EXPECT_TRUE(eventually([&] { return domains() == "2"; }));
}

// A small filesystem (1 MiB of memory) mounted on a folder, filled up and freed on demand;
// unmounted lazily, in case a killed host still holds files there.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& folder) : m_folder(folder) {
        ::mkdir(folder.c_str(), 0755);
        m_mounted =
            std::system(("mount -t tmpfs -o size=1m tmpfs " + folder + " 2>/dev/null").c_str()) ==
            0;
    }
    ~SmallDisk() {
        if (m_mounted) std::system(("umount -l " + m_folder).c_str());
    }
    bool mounted() const { return m_mounted; }
    void fill() { std::system(("dd if=/dev/zero of=" + filler() + " bs=4k 2>/dev/null").c_str()); }
    void free() { ::unlink(filler().c_str()); }

private:
    std::string filler() const { return m_folder + "/filler"; }
    std::string m_folder;
    bool m_mounted = false;
};

// The status code and the body of a GET, or "" when nothing answers.
std::string httpGet(std::uint16_t port, const std::string& path) {
    httplib::Client client("127.0.0.1", port);
    const auto answer = client.Get(path.c_str());
    return answer ? std::to_string(answer->status) + "\n" + answer->body : std::string();
}

// The block of a console response ("-" lines between blocks) that holds every line of `lines`,
// with a newline before it, or "".
std::string blockOf(const std::string& response, const std::vector<std::string>& lines) {
    for (std::size_t begin = 0; begin < response.size();) {
        std::size_t end = response.find("\n-\n", begin);
        if (end == std::string::npos) end = response.size();
        const std::string block = "\n" + response.substr(begin, end - begin) + "\n";
        bool all = true;
        for (const std::string& line : lines)
            all = all && block.find("\n" + line) != std::string::npos;
        if (all) return block;
        begin = end + 3;
    }
    return std::string();
}

// The value of the sample `name{labels}` in a metrics text, or -1.
long sample(const std::string& metrics, const std::string& series) {
    const std::size_t at = metrics.find("\n" + series + " ");
    return at == std::string::npos ? -1 : std::atol(metrics.c_str() + at + series.size() + 2);
}

TEST_F(HostGroup, OperatorSeesTrafficAPeerGoneAndTheDriftOfARealGroup) {
    // Host 1 serves the HTTP endpoint and probes an idle peer every second.
    const std::uint16_t http = nbx::testing::freePort(SOCK_STREAM);
    const std::string probe =
        "ipv4.dhcpv4.heartbeat.interval=1\nipv6.dhcpv6.heartbeat.interval=1\n";
    hosts.push_back(
        std::make_unique<HostProcess>(root, 1, probe + "http.port=" + std::to_string(http) + "\n"));
    hosts.push_back(std::make_unique<HostProcess>(root, 2, probe));
    for (auto& host : hosts) ASSERT_TRUE(host->start()) << host->output();
    HostProcess& a = *hosts[0];
    HostProcess& b = *hosts[1];
    ack(a, a.peerRecord(b));
    const std::vector<std::string> peer4 = {"peer=" + b.target() + "\n", "family=4\n"};
    const std::string series =
        "nbx_sync_commands_acknowledged_total{peer=\"" + b.target() + "\",family=\"4\"}";
    ASSERT_TRUE(eventually([&] { return sample(httpGet(http, "/metrics"), series) == 0; }))
        << httpGet(http, "/metrics");

    // Counters move with traffic; the peer keeps up, so the host is healthy.
    for (int i = 0; i < 3; ++i) ack(a, "add domain\nname=t" + std::to_string(i));
    EXPECT_TRUE(eventually([&] { return sample(httpGet(http, "/metrics"), series) == 3; }))
        << httpGet(http, "/metrics");
    EXPECT_EQ(httpGet(http, "/healthz").substr(0, 4), "200\n");

    // Killed while idle, the peer shows as unreachable without any change to send, and a
    // drift against it is marked incomplete, never in step.
    b.kill();
    EXPECT_TRUE(eventually([&] {
        return blockOf(a.command("status"), peer4).find("\nstate=unreachable\n") !=
               std::string::npos;
    })) << a.command("status");
    EXPECT_NE(a.command("drift " + b.target()).find("complete=no"), std::string::npos);

    // Back again, the group is in step; a change made behind the plug-in's back shows up.
    ASSERT_TRUE(b.start()) << b.output();
    EXPECT_TRUE(eventually([&] {
        const std::string report = a.command("drift " + b.target());
        return report.find("\ndifferences=0\n") != std::string::npos &&
               report.find("\ncomplete=yes\n") != std::string::npos;
    })) << a.command("drift " + b.target());
    ack(b, "add domain\nname=only-on-b");
    const std::string drift = a.command("drift " + b.target());
    EXPECT_NE(drift.find("difference=missing here\n"), std::string::npos) << drift;
    EXPECT_NE(drift.find("name=only-on-b\n"), std::string::npos) << drift;
}

TEST_F(HostGroup, AFullSpoolDiskHoldsChangesUntilSpaceIsFreedOrTheNextStart) {
    const std::string spool = root + "/host1/data/spool";
    ::mkdir((root + "/host1").c_str(), 0755);
    ::mkdir((root + "/host1/data").c_str(), 0755);
    SmallDisk disk(spool);
    if (!disk.mounted()) GTEST_SKIP() << "this machine refuses to mount a small filesystem";
    mesh(2);
    HostProcess& a = *hosts[0];
    const std::string full = "is out of space";

    // Changes committed while the spool is full wait; freed, they go on by themselves.
    disk.fill();
    for (int n = 0; n < 5; ++n) ack(a, "add policy\nname=full-" + std::to_string(n));
    ASSERT_TRUE(eventually([&] { return occurrences(a.logText(), full) == 1; })) << a.logText();
    disk.free();
    ASSERT_TRUE(inStep("policy")) << differences("policy");

    // Still full when the host stops: the changes are delivered again after its next start.
    // (A closed log deleted after the filling would free space again.)
    ASSERT_TRUE(eventually([&] { return closedLogs(spool + "/" + hosts[1]->target()) == 0; }));
    disk.fill();
    for (int n = 0; n < 5; ++n) ack(a, "add policy\nname=stopped-" + std::to_string(n));
    ASSERT_TRUE(eventually([&] { return occurrences(a.logText(), full) == 2; })) << a.logText();
    EXPECT_EQ(a.stop(), 0) << a.output();
    disk.free();
    ASSERT_TRUE(a.start()) << a.output();
    ASSERT_TRUE(inStep("policy")) << differences("policy");
    EXPECT_EQ(HostProcess::value(list(*hosts[1], "policy"), "count"), "10");
    // No record was cut in half: the peer refused none.
    for (const char* log : {"/conflicts.4.log", "/conflicts.6.log"}) {
        EXPECT_FALSE(nbx::CStat::exists(root + "/host1/data/conflicts" + log)) << log;
    }
    a.stop();
}

}  // namespace
