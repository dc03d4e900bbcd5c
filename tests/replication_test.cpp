// The real plug-in (libdhcp_sync.so, loaded with dlopen) in real host objects, replicating to
// real console servers on loopback: what a peer receives, in which order, and what the host
// keeps in its spool.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <list>
#include <string>
#include <vector>

#include "replicated_classes.h"
#include "standard/dir_ent.h"
#include "testing/replicating_host.h"

using nbx::testing::eventually;
using nbx::testing::Peer;
using nbx::testing::readFile;
using nbx::testing::ReplicatingHost;

namespace {

// The header and event operation of a sync command, such as "sync_rule add".
std::string summary(const std::string& command) {
    const std::string header = command.substr(0, command.find('\n'));
    const std::string key = "_event_operation=";
    const std::size_t at = command.find(key);
    if (at == std::string::npos) return header;
    return header + " " + command.substr(at + key.size(), command.find('\n', at) - at - key.size());
}

std::vector<std::string> summaries(const Peer& peer) {
    std::vector<std::string> out;
    for (const std::string& command : peer.commands()) out.push_back(summary(command));
    return out;
}

std::list<nbx::CDirEnt> filesIn(const std::string& folder) {
    std::list<nbx::CDirEnt> out;
    if (nbx::CStat::isDirectory(folder)) nbx::CStat::findFiles(folder, "*", out);
    return out;
}

// The closed logs of both families in a spool folder.
int closedLogs(const std::string& folder) {
    int count = 0;
    for (const nbx::CDirEnt& entry : filesIn(folder))
        count += entry.fileName().find("-transactions.") != std::string::npos;
    return count;
}

const std::vector<Change> kIPv4Only = {
    {"address_pool",
     "name=a\nrangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\nprefix=10.1.2.0\n"
     "prefix_len=24\n"},
    {"address_binding",
     "client_id=01-02\nipaddr=10.1.2.15\nrelay=10.1.2.1\nsource_pool=a\n"
     "lease_duration=Thu Jan  1 01:00:00 1970\n"},
};
const std::vector<Change> kIPv6Only = {
    {"address_pool",
     "name=lab-v6\nprefix=2001:db8:1::\nprefix_len=64\nrangestart=2001:db8:1::1:0\n"
     "rangestop=2001:db8:1::1:ffff\nrelay=2001:db8:1::1\n"},
    {"network_pool",
     "name=pd\nprefix=2001:db8:100::\nprefix_len=40\nrangestart=2001:db8:100::\n"
     "rangestop=2001:db8:1ff::\nrelay=2001:db8::1\nsub_prefix_len=48\n"},
    {"network_binding",
     "prefix_len=56\nduid=00-01\niatype=25\niaid=1\nipaddr=2001:db8:100::\n"
     "relay=2001:db8::1\nsource_pool=pd\nlease_duration=infinite\n"},
};

class Replication : public ::testing::Test {
protected:
    ReplicatingHost host;
};

}  // namespace

TEST(Plugin, ExportsOnlyItsTwoEntryPoints) {
    FILE* pipe = popen("nm -D --defined-only '" NBX_PLUGIN_PATH "'", "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> symbols;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        symbols.push_back(
            text.substr(text.rfind(' ') + 1, text.find_last_not_of("\n") - text.rfind(' ')));
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(symbols, (std::vector<std::string>{"pluginCreator", "pluginDestroyer"}));
}

TEST_F(Replication, DestroyerStopsInstancesTheHostForgotToRelease) {
    void* library = dlopen(NBX_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto create = reinterpret_cast<CPluginCreator>(dlsym(library, "pluginCreator"));
    auto destroy = reinterpret_cast<CPluginDestroyer>(dlsym(library, "pluginDestroyer"));
    ASSERT_TRUE(create && destroy);
    CPlugin* plugin = create();
    ASSERT_NE(plugin, nullptr);
    plugin->setHostContext(&host.hostContext());
    ASSERT_TRUE(plugin->implements("CIDHCPAutonomousObjectFactory"));
    auto* factory = static_cast<CIDHCPAutonomousObjectFactory*>(plugin);
    ASSERT_NE(factory->baseInstance(&host.context(4)), nullptr);
    destroy(plugin);  // no release: the receiver must not outlive the plug-in's code
    EXPECT_EQ(host.context(4).closeCount(), 1);
    EXPECT_TRUE(host.logged("The dhcp sync receiver has exited."));
    EXPECT_TRUE(host.logged("instance is still in use"));
    dlclose(library);
}

TEST_F(Replication, EveryReplicatedClassTravelsAddedModifiedAndDeletedInBothFamilies) {
    Peer peer;
    host.start();
    host.addPeer(4, peer);  // the IPv6 instance learns of it through the relay
    ASSERT_TRUE(host.logged("Synchronization initiated with server '" + peer.target() + "'.", 2))
        << host.logText();

    std::vector<std::string> expected;
    for (int family : {4, 6}) {
        std::vector<Change> changes = kBothFamilies;
        for (const Change& change : family == 4 ? kIPv4Only : kIPv6Only) changes.push_back(change);
        std::vector<std::uint32_t> oids;
        for (const Change& change : changes) {
            SCOPED_TRACE(change.topic);
            oids.push_back(host.add(family, change.topic, change.text));
            expected.push_back(std::string("sync_") + change.topic + " add");
        }
        for (std::size_t i = 0; i < oids.size(); ++i) {
            host.modify(family, changes[i].topic, oids[i], changes[i].text);
            expected.push_back(std::string("sync_") + changes[i].topic + " modify");
        }
        // The receiver reads an object when its event comes: deleting it before would lose
        // the add (and the peer would only see the delete).
        ASSERT_TRUE(peer.received(expected.size())) << host.logText();
        for (std::size_t i = oids.size(); i-- > 0;) {
            host.remove(family, changes[i].topic, oids[i]);
            expected.push_back(std::string("sync_") + changes[i].topic + " del");
        }
        ASSERT_TRUE(peer.received(expected.size())) << host.logText();
    }
    EXPECT_EQ(summaries(peer), expected);
    // Each record came with its object's text, or without one for a delete.
    const std::vector<std::string> commands = peer.commands();
    EXPECT_NE(commands.front().find("\nname=lab\n"), std::string::npos);
    EXPECT_EQ(commands.back().find("name="), std::string::npos);
}

TEST_F(Replication, PeerChangesMoveItsSpoolAndReachTheOtherFamily) {
    Peer peer;
    host.start();
    // Disabled: nothing is sent, so the closed logs stay where the test can see them.
    const std::uint32_t oid = host.addPeer(4, peer, "classes=*\nenabled=false\nlogdir=first\n");
    // The IPv6 receiver learns of the peer through the relay and spools its own changes.
    ASSERT_TRUE(host.logged("Replication peer '" + peer.target() + "' has been added.", 2));
    host.add(6, "domain", "name=six\n");
    host.add(4, "domain", "name=four\n");
    ASSERT_TRUE(eventually([&] { return closedLogs(host.spool("first")) == 2; })) << host.logText();

    host.modify(4, "replicate_peer", oid,
                ReplicatingHost::peerText(peer, "classes=*\nenabled=false\nlogdir=second\n"));
    ASSERT_TRUE(eventually([&] {
        return !nbx::CStat::exists(host.spool("first")) && closedLogs(host.spool("second")) == 2;
    }));

    // Both families have taken the change before the peer goes: a relayed change that finds
    // the record already deleted leaves that family's spool behind.
    ASSERT_TRUE(host.logged("Replication peer '" + peer.target() + "' has been added.", 4));
    host.remove(4, "replicate_peer", oid);
    ASSERT_TRUE(eventually([&] { return !nbx::CStat::exists(host.spool("second")); }))
        << host.logText();
    EXPECT_TRUE(host.logged("Replication peer '" + peer.target() + "' has been removed.", 2));
    EXPECT_EQ(host.logText().find("Failed to remove spool directory"), std::string::npos)
        << "the first family out leaves the folder to the other";
}

TEST(ReplicationWithFailover, BindingsAreLeftToTheFailoverManager) {
    ReplicatingHost::Options options;
    options.failover = true;
    ReplicatingHost host(options);
    Peer peer;
    host.start();
    host.addPeer(4, peer);
    host.announce(4, "add", "address_binding", 1);
    host.announce(4, "obtain", "address_lease", 1);
    host.add(4, "domain", "name=only\n");
    ASSERT_TRUE(peer.received(1));
    EXPECT_EQ(summaries(peer), (std::vector<std::string>{"sync_domain add"}));
}

TEST_F(Replication, StopKeepsTheSpoolWithItsWorkingLogClosed) {
    Peer peer;
    host.start();
    host.addPeer(4, peer, "classes=*\nenabled=false\nlogdir=kept\n");
    host.add(4, "domain", "name=pending\n");
    ASSERT_TRUE(eventually([&] { return !filesIn(host.spool("kept")).empty(); }));
    host.stop();
    const std::list<nbx::CDirEnt> files = filesIn(host.spool("kept"));
    ASSERT_FALSE(files.empty());
    for (const nbx::CDirEnt& entry : files) {
        EXPECT_NE(entry.fileName(), "transactions.4.log");
        EXPECT_NE(readFile(entry.fullPath()).find("name=pending\n"), std::string::npos);
    }
    EXPECT_TRUE(host.logged("The dhcp sync receiver has exited."));
}
