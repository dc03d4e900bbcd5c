// The daemon's own life: a bad configuration stops it at once, a signal stops it in order.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <list>

#include "host_process.h"
#include "standard/dir_ent.h"
#include "standard/stat.h"
#include "testing/temp_folder.h"

namespace {

using nbx::testing::eventually;
using nbx::testing::HostProcess;

class Daemon : public ::testing::Test {
protected:
    nbx::testing::TempFolder folder{"nbx-daemon"};
    const std::string root = folder.path();
};

TEST_F(Daemon, StopsInOrderOnSigtermAndLeavesNoPidFile) {
    HostProcess host(root, 1);
    ASSERT_TRUE(host.start()) << host.output();
    EXPECT_TRUE(nbx::CStat::exists(host.dataDir() + "/nbxd.pid"));
    EXPECT_EQ(host.stop(), 0);
    EXPECT_FALSE(nbx::CStat::exists(host.dataDir() + "/nbxd.pid"));
    EXPECT_NE(host.logText().find("The host has stopped."), std::string::npos) << host.logText();
}

TEST_F(Daemon, RefusesABadConfigurationWithOneLineAndWritesNothing) {
    HostProcess running(root, 9);
    ASSERT_TRUE(running.start()) << running.output();
    const struct {
        const char* name;
        std::string extra;
        std::uint16_t queryPort;  // 0: the host's own
        const char* says;
    } cases[] = {
        {"unknown key", "rconsole.prot=1\n", 0, "Unrecognized key 'rconsole.prot'"},
        {"port in use", "", running.queryPort(), "(key 'host.query_port')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostProcess host(root, 2, c.extra);
        if (c.queryPort) host.reconfigure(c.queryPort, c.extra);
        EXPECT_FALSE(host.start());
        EXPECT_EQ(host.stop(), 2);
        const std::string output = host.output();
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_NE(output.find("nbxd.conf:"), std::string::npos) << "names the file: " << output;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        std::list<nbx::CDirEnt> written;
        nbx::CStat::findFiles(host.dataDir(), "*", written, false);
        EXPECT_TRUE(written.empty()) << "nothing written";
        std::system(("rm -rf '" + root + "/host2'").c_str());
    }
}

}  // namespace
