#include "host/host_config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "host/host_layout.h"
#include "testing/eventually.h"
#include "testing/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const std::string kHostSourceDir = NBX_HOST_DB_DIR "/..";

class HostConfigFile : public ::testing::Test {
protected:
    HostConfigFile() { fs::create_directory(folder + "/data"); }

    std::string write(const std::string& name, const std::string& text, mode_t mode = 0600) {
        const std::string path = folder + "/" + name;
        std::ofstream(path) << text;
        ::chmod(path.c_str(), mode);
        return path;
    }
    host::CHostSettings read(const std::string& text) {
        return host::CHostConfigFile::read(write("nbxd.conf", text));
    }
    // The failure's one line, with the temporary folder left out of the paths it names.
    std::string failureOf(const std::string& path) {
        try {
            host::CHostConfigFile::read(path);
        } catch (nbx::CException& e) {
            return shown(e.text());
        }
        return "no failure";
    }
    std::string failure(const std::string& text) { return failureOf(write("nbxd.conf", text)); }
    std::string shown(const std::string& text) const {
        return std::regex_replace(text, std::regex(folder + "/"), "");
    }

    nbx::testing::TempFolder temp{"nbx-host-config"};
    const std::string folder = temp.path();
};

}  // namespace

// The defaults themselves are the key table's, which the README check below holds to the
// documentation; here: how they are filled in.
TEST_F(HostConfigFile, DefaultsFillWhatAMinimalFileLeavesOut) {
    const host::CHostSettings settings = read("host.data_dir = data/\nrconsole.password=secret\n");
    EXPECT_EQ(settings.dataDir, folder + "/data");
    EXPECT_EQ(settings.consolePassword, "secret");
    EXPECT_EQ(settings.plugins, std::vector<std::string>{"dhcp_sync"});
    EXPECT_EQ(settings.logFile, folder + "/data/nbxd.log");
    EXPECT_EQ(settings.logLevels, nbx::CException::severityMask("error,warning,info"));
    EXPECT_EQ(settings.pidFile, folder + "/data/nbxd.pid");
    const host::CHostLayout layout;
    EXPECT_EQ(settings.statementDirectory, layout.statementDirectory());
    EXPECT_EQ(settings.pluginPath("dhcp_sync"), layout.pluginDirectory() + "/libdhcp_sync.so");
    EXPECT_EQ(settings.pluginPath("./libx.so"), "./libx.so");
    EXPECT_EQ(shown(settings.where("rconsole.password")), "nbxd.conf:2");
    EXPECT_EQ(shown(settings.where("rconsole.port")), "nbxd.conf");
    EXPECT_EQ(settings.config->string(), "host.data_dir=data/\nrconsole.password=secret\n");
}

TEST_F(HostConfigFile, EveryKeyTakesItsValueAcrossRecordsAndIncludedFiles) {
    fs::create_directory(folder + "/plugins");
    write("extra.conf", "ipv6.dhcpv6.sync.interval=3\n");
    const host::CHostSettings settings = read(
        "# one host on loopback\n"
        "include extra.conf\n"
        "\n"
        "host.node_id=127\n"
        "host.data_dir=" +
        folder +
        "/data\n"
        "rconsole.listen_on=::1\n"
        "rconsole.port=0\n"
        "host.query_port=65535\n"
        "rconsole.encryption=clear\n"
        "host.console_user=ops\n"
        "\n"
        "system.plugins=dhcp_sync, /opt/x/libother.so\n"
        "system.log.targets=stdout\n"
        "system.log.target.file=logs/n.log\n"
        "system.log.levels=error,debug\n"
        "host.pid_file=none\n"
        "host.failover=yes\n"
        "ipv6.enable=false\n"
        "host.statements=.\n"
        "host.plugin_dir=plugins\n"
        "ipv4.dhcpv4.sync.interval=\\\n"
        "   9\n");
    EXPECT_EQ(settings.nodeId, 127u);
    EXPECT_EQ(settings.listenAddress, "::1");
    EXPECT_EQ(settings.consolePort, 0);
    EXPECT_EQ(settings.queryPort, 65535);
    EXPECT_TRUE(settings.clear);
    EXPECT_EQ(settings.consoleUser, "ops");
    EXPECT_EQ(settings.consolePassword, "");
    EXPECT_EQ(settings.plugins, (std::vector<std::string>{"dhcp_sync", "/opt/x/libother.so"}));
    EXPECT_TRUE(settings.logToStderr);
    EXPECT_EQ(settings.logFile, folder + "/logs/n.log");
    EXPECT_EQ(settings.logLevels, nbx::SEVERITY_ERROR | nbx::SEVERITY_DEBUG);
    EXPECT_EQ(settings.pidFile, "");
    EXPECT_TRUE(settings.failover);
    EXPECT_FALSE(settings.ipv6);
    EXPECT_EQ(settings.statementDirectory, folder);
    EXPECT_EQ(settings.pluginPath("dhcp_sync"), folder + "/plugins/libdhcp_sync.so");
    EXPECT_EQ(shown(settings.where("ipv6.dhcpv6.sync.interval")), "extra.conf:1");
    EXPECT_EQ(shown(settings.where("ipv4.dhcpv4.sync.interval")), "nbxd.conf:21");
    // The plug-in's snapshot holds the file's entries as written, keys case-sensitive.
    EXPECT_EQ(settings.config->getString("ipv4.dhcpv4.sync.interval", ""), "9");
    EXPECT_EQ(settings.config->getString("ipv6.dhcpv6.sync.interval", ""), "3");
    EXPECT_FALSE(settings.config->has("IPV6.DHCPV6.SYNC.INTERVAL"));
}

TEST_F(HostConfigFile, EachFaultIsOneLineNamingFileLineAndKey) {
    fs::create_directory(folder + "/sub");
    write("file", "");
    // Two good lines before each case's text, so that its first line is line 3.
    const std::string good = "host.data_dir=data\nrconsole.password=p\n";
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {good + "rconsole.prot=1", "nbxd.conf:3: Unrecognized key 'rconsole.prot'."},
        {good + "RConsole.Port=1", "nbxd.conf:3: Unrecognized key 'RConsole.Port'."},
        {good + "rconsole.port=abc",
         "nbxd.conf:3: Bad value 'abc' for key 'rconsole.port': not a number."},
        {good + "rconsole.port=65536",
         "nbxd.conf:3: Bad value '65536' for key 'rconsole.port': not in 0..65535."},
        {good + "host.node_id=128",
         "nbxd.conf:3: Bad value '128' for key 'host.node_id': not in 1..127."},
        {good + "ipv6.dhcpv6.heartbeat.interval=-1",
         "nbxd.conf:3: Bad value '-1' for key 'ipv6.dhcpv6.heartbeat.interval': not a number of "
         "seconds (0 or more)."},
        {good + "ipv4.dhcpv4.sync.db.shared_connections=maybe",
         "nbxd.conf:3: Bad value 'maybe' for key 'ipv4.dhcpv4.sync.db.shared_connections': not "
         "yes or no."},
        {good + "system.log.targets=syslog",
         "nbxd.conf:3: Bad value 'syslog' for key 'system.log.targets': not file, stdout or "
         "stderr."},
        {good + "rconsole.listen_on=localhost",
         "nbxd.conf:3: Bad value 'localhost' for key 'rconsole.listen_on': not an IPv4 or IPv6 "
         "address."},
        {good + "system.log.levels=error,loud",
         "nbxd.conf:3: Bad value 'error,loud' for key 'system.log.levels': not a list of error, "
         "warning, info, debug."},
        {good + "system.plugins=a,,b",
         "nbxd.conf:3: Bad value 'a,,b' for key 'system.plugins': an empty name in the list."},
        {good + "host.plugin_dir=file",
         "nbxd.conf:3: The directory 'file' of key 'host.plugin_dir' is not a directory."},
        {good + "rconsole.port=1\n\nrconsole.port=2",
         "nbxd.conf:5: Duplicate key 'rconsole.port'; it is set at nbxd.conf:3."},
        {good + "just words", "nbxd.conf:3: Expected 'key=value' in 'just words'."},
        {good + "\ninclude sub",
         "nbxd.conf: Cannot open configuration file 'sub'. (Is a directory)"},
        {"host.data_dir=/nope\nrconsole.password=p",
         "nbxd.conf:1: The data directory '/nope' of key 'host.data_dir' does not exist."},
        {"rconsole.password=p", "nbxd.conf: Missing key 'host.data_dir'."},
        {"host.data_dir=data", "nbxd.conf: Missing key 'rconsole.password'."},
        {"host.data_dir=data\nrconsole.password=",
         "nbxd.conf:2: Bad value '' for key 'rconsole.password': a value is required."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(failure(c.text), c.expected);
    }
}

TEST_F(HostConfigFile, FilesThatOthersMayReadOrThatAreMissingAreRefused) {
    const std::string refusal =
        ": The file is readable by others; a configuration file holds passwords (chmod 600).";
    const std::string good = "host.data_dir=data\nrconsole.password=p\n";
    EXPECT_EQ(failureOf(write("open.conf", good, 0604)), "open.conf" + refusal);
    EXPECT_EQ(failureOf(write("group.conf", good, 0620)), "group.conf" + refusal);
    write("secret.conf", "rconsole.password=p\n", 0644);
    EXPECT_EQ(failure("host.data_dir=data\n\ninclude secret.conf\n"), "secret.conf" + refusal);
    EXPECT_EQ(failureOf(folder + "/absent.conf"),
              "absent.conf: Cannot read the file: No such file or directory.");
    EXPECT_EQ(failureOf(folder + "/data"), "data: Not a regular file.");
}

TEST_F(HostConfigFile, LayoutPrefersTheInstalledFoldersToTheBuildTree) {
    const host::CHostLayout layout(folder + "/bin/nbxd");
    // Not installed: the build tree's folders (the statements of the sources).
    EXPECT_TRUE(fs::equivalent(layout.statementDirectory(), NBX_HOST_DB_DIR));
    fs::create_directories(folder + "/share/nbx/db");
    fs::create_directories(folder + "/lib/nbx/plugins");
    EXPECT_EQ(layout.statementDirectory(), folder + "/share/nbx/db");
    EXPECT_EQ(layout.pluginDirectory(), folder + "/lib/nbx/plugins");
}

TEST_F(HostConfigFile, ReadmeAndSampleFileShowEveryKey) {
    const std::string readme = nbx::testing::readFile(kHostSourceDir + "/README.md");
    EXPECT_NE(readme.find(host::CHostConfigKeys::markdown()), std::string::npos)
        << "host/README.md must hold this table:\n"
        << host::CHostConfigKeys::markdown();

    // The sample sets every key or shows it commented out, and the daemon takes it as it is.
    std::string sample = nbx::testing::readFile(kHostSourceDir + "/etc/nbxd.conf");
    for (const auto& row : host::CHostConfigKeys::table()) {
        SCOPED_TRACE(row.key);
        EXPECT_TRUE(
            std::regex_search(sample, std::regex(std::string("(^|\n)(# )?") + row.key + " ?=")));
    }
    sample = std::regex_replace(sample, std::regex("host.data_dir *=.*"),
                                "host.data_dir=" + folder + "/data");
    const host::CHostSettings settings = read(sample);
    EXPECT_EQ(settings.listenAddress, "127.0.0.1");
    EXPECT_FALSE(settings.consolePassword.empty());
}
