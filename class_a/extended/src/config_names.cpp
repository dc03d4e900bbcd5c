#include "extended/config_names.h"

#include "standard/throw.h"

namespace nbx {

namespace {

constexpr const char* kModule = "extended";

const CConfigNames::Name kFrameworkNames[] = {
    {"system.msg.locale",
     "string - A locale specifier for the system having the format "
     "[language[_territory][.codeset]. The default is en_us.utf8."},
    {"system.msg.file",
     "string - The path to a file containing translations for system messages. If not "
     "specified, messages are displayed in US English."},
    {"system.shared_key",
     "string - The key shared by the servers of one installation to secure their communication."},
    {"system.index", "int - The index of this server among the servers of one installation."},
    {"system.log.target.file", "string - The path of the file written by the file log target."},
    {"system.log.target.rsyslog",
     "string - The host name or address of the server that receives the rsyslog log target's "
     "entries."},
    {"system.log.target.eventlog",
     "string - The source name under which the eventlog log target writes its entries."},
    {"system.log.target.stdout",
     "string - The layout of the entries written by the stdout log target."},
    {"system.log.synchronous",
     "bool - When true, log entries are written by the thread that reports them. The default is "
     "false."},
    {"system.log.targets",
     "string - A list of output devices for logging (stdout,eventlog,rsyslog,file)."},
    {"system.log.facility",
     "string - The syslog facility under which entries are sent to the rsyslog log target."},
    {"system.log.levels",
     "string - A list of names specifying the types of messages to log "
     "(error,warning,info,debug)."},
    {"system.priv.chroot_path",
     "string - The directory that becomes the server's root once it has started."},
    {"system.priv.uid", "int - The user id under which the server runs once it has started."},
    {"system.priv.gid", "int - The group id under which the server runs once it has started."},
    {"system.plugins", "string - A list of plugins this process should load."},
    {"rconsole.port", "int - The default port the remote console should listen on."},
    {"rconsole.listen_on", "string - A list of addresses the remote console should listen on."},
    {"rconsole.db.shared_connections",
     "boolean - When false, the remote console threads use more memory but scale well across "
     "multiple cores. The default is false."},
    {"rconsole.encryption",
     "string - The encryption that the remote console applies to its sessions."},
    {"rconsole.password", "string - The password that remote console clients log in with."},
    {"rconsole.private_key_file",
     "string - The path to a file containing the remote console's private key."},
    {"rconsole.force_commit_after_select",
     "bool - When true, the remote console commits its transaction after every select."},
    {"rconsole.commit_time_out",
     "long - The time, in seconds, after which the remote console commits an open transaction."},
    {"rconsole.max_select_count",
     "long - The largest number of records that one remote console select returns."},
    {"udp_publisher.subscribers.file",
     "string - The path to a file listing the subscribers of the UDP event publisher."},
    {"udp_publisher.max_history",
     "int - The number of events the UDP event publisher keeps for subscribers that missed "
     "them."},
    {"udp_publisher.latency",
     "string - The delay after which the UDP event publisher sends collected events."},
    {"system.db.soft_vs_hard_commit_ratio",
     "int - The number of soft database commits made for every hard commit."},
    {"system.db.statements.file",
     "string - The path to a file containing the database's precompiled statements."},
    {"system.db.table_groups.file",
     "string - The path to a file defining the database's table groups."},
    {"system.db.user_sql_queries.file",
     "string - The path to a file containing user-defined SQL queries."},
    {"system.db.user_sql_query_groups.file",
     "string - The path to a file defining the groups of user-defined SQL queries."},
    {"system.storage.path", "string - The directory in which the server keeps its files."},
    {"system.db.path", "string - The directory containing the database files."},
    {"system.db.name", "string - The name of the database."},
    {"system.db.sync_queries",
     "boolean - When true, database queries of all threads are serialized. The default is "
     "false."},
    {"system.db.hostname", "string - The host name or address of the database server."},
    {"system.db.cache_buffers",
     "string - The number of pages that the database engine keeps in its cache."},
    {"system.db.user", "string - The user name under which the server connects to the database."},
    {"system.db.password", "string - The password with which the server connects to the database."},
    {"system.db.page_size", "string - The page size of a newly created database."},
    {"system.db.schema.version", "int - The schema version number of the database."},
    {"system.db.versions_path",
     "string - The directory containing the scripts that upgrade the database schema."},
    {"system.db.secondary_files.count",
     "int - The number of secondary files over which a new database is spread."},
    {"system.db.secondary_files.max_size",
     "int - The largest size, in megabytes, of each secondary database file."},
    {"ipv6.enable",
     "boolean - When true, the server's general communication subsystems will attempt to use "
     "ipv6 if available."},
};

}  // namespace

std::string familyKey(unsigned family, const std::string& shortKey) {
    const std::string number = std::to_string(family);
    return "ipv" + number + ".dhcpv" + number + "." + shortKey;
}

CConfigNames::CConfigNames() : m_names(true) {
    for (const Name& name : kFrameworkNames) _add(name.key, name.description);
}

CConfigNames::~CConfigNames() {}

std::uint32_t CConfigNames::dbValueDefaultSchemaVersionNumber() const {
    NBX_THROW(CException, kModule, "CConfigNames::dbValueDefaultSchemaVersionNumber",
              msg("Cannot provide a default database schema number."), msg("Unknown application."));
}

void CConfigNames::validate(const std::string& key) const {
    if (m_names.has(key)) return;
    NBX_THROW(CException, kModule, "CConfigNames::validate",
              msg("Cannot validate configuration key '%1'.", key), msg("Unrecognized key."));
}

void CConfigNames::_add(const std::string& key, const std::string& description) {
    m_names.set(key, description);
}

}  // namespace nbx
