#pragma once
// What the daemon needs from its configuration file, checked and with every default applied
// (CHostConfigFile reads it; CHostConfigKeys holds the defaults).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "extended/config.h"
#include "standard/exception.h"

namespace host {

struct CHostSettings {
    std::string file;                         // the configuration file as given
    std::uint32_t nodeId = 1;                 // host.node_id, 1..127
    std::string dataDir;                      // host.data_dir, absolute; an existing directory
    std::string listenAddress = "127.0.0.1";  // rconsole.listen_on
    std::uint16_t consolePort = 7070;         // rconsole.port (TCP)
    std::uint16_t queryPort = 7071;           // host.query_port (UDP, answers "config_port")
    bool clear = false;                       // rconsole.encryption: "blowfish" or "clear"
    std::string consoleUser = "admin";        // host.console_user
    std::string consolePassword;              // rconsole.password (required unless clear)
    std::vector<std::string> plugins;         // system.plugins: names or paths
    bool logToStderr = false;                 // system.log.targets: "stdout"/"stderr"
    std::string logFile;                      // system.log.target.file
    std::uint32_t logLevels =                 // system.log.levels as a severity mask
        nbx::SEVERITY_ERROR | nbx::SEVERITY_WARNING | nbx::SEVERITY_INFO;
    std::string pidFile;             // host.pid_file; empty for "none": no pid file
    bool failover = false;           // host.failover: offer the failover marker
    bool ipv6 = true;                // ipv6.enable: start the IPv6 instance too
    std::string statementDirectory;  // host.statements
    std::string pluginDirectory;     // host.plugin_dir
    // Every key=value of the file as written (case-sensitive), for the plug-in's snapshot.
    std::shared_ptr<const nbx::CConfig> config;
    // Key -> "<file>:<line>" of the entry that set it.
    std::map<std::string, std::string> locations;

    // "nbxd.conf:12" for a key of the file, the file alone for a key it does not hold: for
    // errors found later (a port in use) to point at the line to change.
    std::string where(const std::string& key) const;
    // The plug-in file of `name`: a path holding a '/' as it is, else
    // <pluginDirectory>/lib<name>.so.
    std::string pluginPath(const std::string& name) const;
};

}  // namespace host
