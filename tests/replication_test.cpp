// The real plug-in (libdhcp_sync.so, loaded with dlopen) in real host objects, replicating to
// real console servers on loopback: what a peer receives and what the host keeps in its spool.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <list>
#include <string>
#include <vector>

#include "standard/dir_ent.h"
#include "testing/replicating_host.h"

using nbx::testing::eventually;
using nbx::testing::Peer;
using nbx::testing::readFile;
using nbx::testing::ReplicatingHost;

namespace {

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
    const std::vector<std::string> commands = peer.commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].rfind("sync_domain\n", 0), 0u) << commands[0];
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
