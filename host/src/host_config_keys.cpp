#include "host/host_config_keys.h"

namespace host {

namespace {

using Key = CHostConfigKeys::Key;
using Type = CHostConfigKeys::Type;

Key number(const char* key, const char* defaultValue, std::uint32_t min, std::uint32_t max,
           const char* explanation) {
    return Key{key, defaultValue, Type::kNumber, explanation, min, max};
}

Key choice(const char* key, const char* defaultValue, const char* choices,
           const char* explanation) {
    Key row{key, defaultValue, Type::kChoice, explanation};
    row.choices = choices;
    return row;
}

const std::vector<Key>& rows() {
    static const std::vector<Key> table = {
        number("host.node_id", "1", 1, 127,
               "This host's number in its replication group, unique there: the keys it hands out "
               "for new objects lie in its own range."),
        {"host.data_dir", nullptr, Type::kDirectory,
         "The folder of the database `host.db`, the spools (`spool/`), the conflict "
         "files (`conflicts/`) and, by default, the log and pid files. It must exist."},
        {"host.statements", CHostConfigKeys::kInstalled, Type::kDirectory,
         "The folder of the database statement files (`*.inc`) and table group files "
         "(`*.grp`)."},
        {"host.plugin_dir", CHostConfigKeys::kInstalled, Type::kDirectory,
         "The folder where a plug-in given by name is found, as `lib<name>.so`."},
        {"system.plugins", "dhcp_sync", Type::kNames,
         "The plug-ins to load, comma-separated: a name (looked up in `host.plugin_dir`) or a "
         "path holding a `/`."},
        {"host.pid_file", "<data dir>/nbxd.pid", Type::kFile,
         "The file that holds the daemon's process id while it runs; `none` for no pid file."},
        {"host.failover", "no", Type::kBoolean,
         "Offer the plug-in the interface of a failover partner."},
        {"ipv4.dhcpv4.sync.resync_new_peers", "no", Type::kBoolean,
         "Read by the plug-in: a replication peer whose record is added gets every object of the "
         "IPv4 classes its filter takes, as after `resync`."},
        {"ipv6.dhcpv6.sync.resync_new_peers", "no", Type::kBoolean,
         "The same for the IPv6 instance."},
        {"ipv6.enable", "yes", Type::kBoolean,
         "Start the IPv6 protocol instance besides the IPv4 one."},
        {"rconsole.listen_on", "127.0.0.1", Type::kAddress,
         "The address that the remote console listens on; `::` for every address of both "
         "families."},
        number("rconsole.port", "7070", 0, 65535,
               "The TCP port of the remote console; 0 lets the system choose one."),
        number("host.query_port", "7071", 0, 65535,
               "The UDP port that tells console clients the console's TCP port and mode "
               "(`config_port`); 0 lets the system choose one."),
        choice("rconsole.encryption", "blowfish", "blowfish,clear",
               "`blowfish` enciphers console sessions after a challenge login; `clear` sends "
               "them as they are (tests on loopback only)."),
        {"host.console_user", "admin", Type::kText, "The user that console clients log in as."},
        {"rconsole.password", nullptr, Type::kText,
         "The console password; required unless `rconsole.encryption` is `clear`. The file must "
         "therefore be readable by its owner only."},
        {"http.address", "127.0.0.1", Type::kAddress,
         "The address of the HTTP monitoring endpoint (`/status`, `/metrics`, `/healthz`); "
         "loopback unless another is configured."},
        number("http.port", "0", 0, 65535,
               "The TCP port of the HTTP monitoring endpoint; 0 turns it off (nothing listens)."),
        choice("system.log.targets", "file", "file,stdout,stderr",
               "`file` writes log lines to `system.log.target.file`; `stdout` and `stderr` both "
               "write them to standard error (for a service manager's journal)."),
        {"system.log.target.file", "<data dir>/nbxd.log", Type::kFile,
         "The log file of the `file` target."},
        {"system.log.levels", "error,warning,info", Type::kSeverities,
         "The severities that are logged, comma-separated: error, warning, info, debug."},
        // The plug-in reads these itself, with its own defaults; the host only refuses values
        // that would make it fail at start.
        {"ipv4.dhcpv4.sync.interval", "5", Type::kSeconds,
         "Read by the plug-in: seconds between the IPv4 instance's replication rounds and "
         "retries."},
        {"ipv6.dhcpv6.sync.interval", "5", Type::kSeconds, "The same for the IPv6 instance."},
        {"ipv4.dhcpv4.sync.timeout", "10", Type::kSeconds,
         "Read by the plug-in: seconds that the IPv4 publishers wait for a peer's answer (port "
         "query, connect, login, each response) before they drop the connection and retry; 0 "
         "keeps 10."},
        {"ipv6.dhcpv6.sync.timeout", "10", Type::kSeconds, "The same for the IPv6 instance."},
        number("ipv4.dhcpv4.sync.backlog_warn_records", "10000", 0, 4294967295u,
               "Read by the plug-in: one warning when an IPv4 peer's backlog holds more records "
               "than this, one note when it is back under; 0 turns this limit off."),
        number("ipv6.dhcpv6.sync.backlog_warn_records", "10000", 0, 4294967295u,
               "The same for the IPv6 instance."),
        {"ipv4.dhcpv4.sync.backlog_warn_seconds", "600", Type::kSeconds,
         "Read by the plug-in: the same warning when the oldest record waiting for an IPv4 peer "
         "is older than this; 0 turns this limit off."},
        {"ipv6.dhcpv6.sync.backlog_warn_seconds", "600", Type::kSeconds,
         "The same for the IPv6 instance."},
        {"ipv4.dhcpv4.sync.stall_seconds", "300", Type::kSeconds,
         "An enabled IPv4 peer that has neither taken a command nor been in step for longer "
         "than this makes `/healthz` answer 503."},
        {"ipv6.dhcpv6.sync.stall_seconds", "300", Type::kSeconds,
         "The same for the IPv6 instance."},
        {"ipv4.dhcpv4.heartbeat.interval", "30", Type::kSeconds,
         "Read by the plug-in: an idle, connected IPv4 publisher probes its peer after this "
         "many seconds without an answer; a failed probe drops the connection and retries. 0 "
         "turns the probe off."},
        {"ipv6.dhcpv6.heartbeat.interval", "30", Type::kSeconds, "The same for the IPv6 instance."},
        {"ipv4.dhcpv4.sync.db.shared_connections", "no", Type::kBoolean,
         "Read by the plug-in: whether the IPv4 replication threads share database connections "
         "(less memory, less parallel)."},
        {"ipv6.dhcpv6.sync.db.shared_connections", "no", Type::kBoolean,
         "The same for the IPv6 instance."},
    };
    return table;
}

std::string cell(const char* text) {
    if (!text) return "required";
    if (!*text) return "none";
    return std::string("`") + text + "`";
}

}  // namespace

const std::vector<CHostConfigKeys::Key>& CHostConfigKeys::table() {
    return rows();
}

const CHostConfigKeys::Key* CHostConfigKeys::find(const std::string& key) {
    for (const Key& row : rows()) {
        if (key == row.key) return &row;
    }
    return nullptr;
}

std::string CHostConfigKeys::typeText(const Key& key) {
    switch (key.type) {
        case Type::kNumber:
            return std::to_string(key.min) + ".." + std::to_string(key.max);
        case Type::kSeconds:
            return "seconds";
        case Type::kBoolean:
            return "yes/no";
        case Type::kChoice: {
            // "a,b,c" -> "a, b or c"
            std::string text = key.choices;
            const std::size_t last = text.rfind(',');
            if (last != std::string::npos) text.replace(last, 1, " or ");
            for (std::size_t comma = text.find(','); comma != std::string::npos;
                 comma = text.find(',', comma + 2)) {
                text.replace(comma, 1, ", ");
            }
            return text;
        }
        case Type::kAddress:
            return "address";
        case Type::kSeverities:
            return "severity list";
        case Type::kNames:
            return "list";
        case Type::kText:
            return "text";
        case Type::kDirectory:
            return "folder";
        case Type::kFile:
            return "file";
    }
    return std::string();
}

std::string CHostConfigKeys::markdown() {
    std::string out = "| key | default | value | meaning |\n|---|---|---|---|\n";
    for (const Key& row : rows()) {
        out += std::string("| `") + row.key + "` | " + cell(row.defaultValue) + " | " +
               typeText(row) + " | " + row.explanation + " |\n";
    }
    return out;
}

}  // namespace host
