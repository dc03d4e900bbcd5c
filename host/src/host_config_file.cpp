#include "host/host_config_file.h"

#include <filesystem>

#include "host/host_layout.h"
#include "host_config_file_reader.h"
#include "standard/ip_address.h"
#include "standard/stat.h"

namespace fs = std::filesystem;

namespace host {

namespace {

using Key = CHostConfigKeys::Key;
using Type = CHostConfigKeys::Type;

constexpr const char* kDataDir = "host.data_dir";
constexpr const char* kPassword = "rconsole.password";
constexpr const char* kEncryption = "rconsole.encryption";

bool blank(const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

// The items of "a, b ,c", blanks around each dropped; empty items are kept for the caller to
// refuse.
std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma - start);
        const std::size_t first = item.find_first_not_of(" \t");
        items.push_back(first == std::string::npos
                            ? std::string()
                            : item.substr(first, item.find_last_not_of(" \t") - first + 1));
        if (comma == std::string::npos) return items;
        start = comma + 1;
    }
}

}  // namespace

CHostSettings CHostConfigFile::read(const std::string& path) {
    CHostConfigFileReader reader;
    reader.load(path);
    CHostConfigFile file(reader, path);
    for (const Key& row : CHostConfigKeys::table()) file._check(row);
    CHostSettings settings;
    file._fill(settings);
    return settings;
}

CHostConfigFile::CHostConfigFile(const CHostConfigFileReader& reader, const std::string& path)
    : m_reader(reader), m_file(path) {
    std::error_code error;
    m_folder = fs::absolute(path, error).parent_path().string();
}

void CHostConfigFile::_check(const Key& row) const {
    const bool required =
        !row.defaultValue && !(row.key == std::string(kPassword) && _text(kEncryption) == "clear");
    std::string value;
    if (!_written(row.key, value)) {
        if (required) m_reader.fail(m_file, std::string("Missing key '") + row.key + "'.");
        return;
    }
    if (blank(value)) {
        if (required) _bad(row.key, "a value is required.");
        return;
    }
    const nbx::CConfig& config = *m_reader.config();
    switch (row.type) {
        case Type::kNumber:
        case Type::kSeconds: {
            const std::string range = row.type == Type::kSeconds
                                          ? "not a number of seconds (0 or more)."
                                          : "not in " + CHostConfigKeys::typeText(row) + ".";
            std::uint32_t number = 0;
            try {
                number = config.getULong(row.key, 0);
            } catch (nbx::CNumberConversionException& e) {
                _bad(row.key,
                     e.reason().text() == "Number out of range." ? range : "not a number.");
            }
            if (row.type == Type::kNumber && (number < row.min || number > row.max)) {
                _bad(row.key, range);
            }
            break;
        }
        case Type::kBoolean:
            try {
                config.getBool(row.key, false);
            } catch (nbx::CNumberConversionException&) {
                _bad(row.key, "not yes or no.");
            }
            break;
        case Type::kChoice: {
            bool known = false;
            for (const std::string& word : splitList(row.choices)) known = known || value == word;
            if (!known) _bad(row.key, "not " + CHostConfigKeys::typeText(row) + ".");
            break;
        }
        case Type::kAddress:
            try {
                nbx::CIPAddress address(value);
            } catch (nbx::CException&) {
                _bad(row.key, "not an IPv4 or IPv6 address.");
            }
            break;
        case Type::kSeverities:
            try {
                nbx::CException::severityMask(value);
            } catch (nbx::CException&) {
                _bad(row.key, "not a list of error, warning, info, debug.");
            }
            break;
        case Type::kNames:
            for (const std::string& name : splitList(value)) {
                if (name.empty()) _bad(row.key, "an empty name in the list.");
            }
            break;
        case Type::kDirectory:
            _checkDirectory(row, value);
            break;
        case Type::kText:
        case Type::kFile:
            break;
    }
}

void CHostConfigFile::_checkDirectory(const Key& row, const std::string& value) const {
    const std::string path = _resolve(value);
    const char* problem = nullptr;
    if (!nbx::CStat::exists(path)) {
        problem = "does not exist";
    } else if (!nbx::CStat::isDirectory(path)) {
        problem = "is not a directory";
    }
    if (!problem) return;
    const std::string what =
        row.key == std::string(kDataDir) ? "The data directory" : "The directory";
    m_reader.fail(m_reader.locations().at(row.key),
                  what + " '" + path + "' of key '" + row.key + "' " + problem + ".");
}

void CHostConfigFile::_fill(CHostSettings& settings) {
    settings.file = m_file;
    settings.config = m_reader.config();
    settings.locations = m_reader.locations();
    // The data directory first: other defaults lie in it.
    m_dataDir = _resolve(_text(kDataDir));
    settings.dataDir = m_dataDir;
    // Every value checked, with its default where the file has none.
    nbx::CConfig values;
    for (const Key& row : CHostConfigKeys::table()) values.set(row.key, _text(row.key));
    settings.nodeId = values.getULong("host.node_id", 0);
    settings.listenAddress = values.getString("rconsole.listen_on", "");
    settings.consolePort = values.getUShort("rconsole.port", 0);
    settings.queryPort = values.getUShort("host.query_port", 0);
    settings.clear = values.getString(kEncryption, "") == "clear";
    settings.consoleUser = values.getString("host.console_user", "");
    settings.consolePassword = values.getString(kPassword, "");
    settings.plugins = splitList(values.getString("system.plugins", ""));
    settings.logToStderr = values.getString("system.log.targets", "") != "file";
    settings.logFile = _resolve(values.getString("system.log.target.file", ""));
    settings.logLevels = nbx::CException::severityMask(values.getString("system.log.levels", ""));
    const std::string pidFile = values.getString("host.pid_file", "");
    settings.pidFile = pidFile == "none" ? std::string() : _resolve(pidFile);
    settings.failover = values.getBool("host.failover", false);
    settings.ipv6 = values.getBool("ipv6.enable", false);
    settings.statementDirectory = _resolve(values.getString("host.statements", ""));
    settings.pluginDirectory = _resolve(values.getString("host.plugin_dir", ""));
}

std::string CHostConfigFile::_text(const std::string& key) const {
    std::string value;
    if (_written(key, value) && !blank(value)) return value;
    const Key* row = CHostConfigKeys::find(key);
    const std::string fallback = row && row->defaultValue ? row->defaultValue : "";
    const std::string prefix = CHostConfigKeys::kDataDirectoryPrefix;
    if (fallback.compare(0, prefix.size(), prefix) == 0) {
        return nbx::CStat::join(m_dataDir, fallback.substr(prefix.size()));
    }
    if (fallback == CHostConfigKeys::kInstalled) {
        const CHostLayout layout;
        return key == "host.plugin_dir" ? layout.pluginDirectory() : layout.statementDirectory();
    }
    return fallback;
}

bool CHostConfigFile::_written(const std::string& key, std::string& value) const {
    return m_reader.config()->get(key, value);
}

std::string CHostConfigFile::_resolve(const std::string& path) const {
    fs::path resolved(path);
    if (resolved.is_relative()) resolved = fs::path(m_folder) / resolved;
    std::string text = resolved.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

void CHostConfigFile::_bad(const std::string& key, const std::string& why) const {
    m_reader.fail(m_reader.locations().at(key),
                  "Bad value '" + m_reader.config()->get(key) + "' for key '" + key + "': " + why);
}

}  // namespace host
