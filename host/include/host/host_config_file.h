#pragma once
// The daemon's configuration file: read, checked and turned into CHostSettings, every default
// applied from CHostConfigKeys.
//
// Every failure throws nbx::CException whose text() is one line naming the file, the line and
// the key:
//   "nbxd.conf:12: Unrecognized key 'rconsole.prot'."
//   "nbxd.conf:3: Bad value 'abc' for key 'rconsole.port': not a number."
//   "nbxd.conf:4: The data directory '/nope' of key 'host.data_dir' does not exist."
//   "nbxd.conf: Missing key 'host.data_dir'."
//   "nbxd.conf: The file is readable by others; a configuration file holds passwords (chmod 600)."
//
// An empty value stands for the default, as in nbx::CConfig. Relative paths are taken from the
// configuration file's folder.

#include <string>

#include "host/host_config_keys.h"
#include "host/host_settings.h"

namespace host {

class CHostConfigFileReader;

class CHostConfigFile {
public:
    static CHostSettings read(const std::string& path);

private:
    CHostConfigFile(const CHostConfigFileReader& reader, const std::string& path);

    void _check(const CHostConfigKeys::Key& row) const;
    void _checkDirectory(const CHostConfigKeys::Key& row, const std::string& value) const;
    void _fill(CHostSettings& settings);

    // The file's value of `key` when it is not blank, else the table's default; "<data dir>/"
    // and "<installed>" resolved.
    std::string _text(const std::string& key) const;
    // The file's value of `key`, blank or not; false when the file lacks the key.
    bool _written(const std::string& key, std::string& value) const;
    bool _given(const std::string& key) const;
    // `path` taken from the configuration file's folder when relative, made absolute.
    std::string _resolve(const std::string& path) const;
    [[noreturn]] void _bad(const std::string& key, const std::string& why) const;

    const CHostConfigFileReader& m_reader;
    std::string m_file;
    std::string m_folder;   // the configuration file's folder, absolute
    std::string m_dataDir;  // resolved once checked
};

}  // namespace host
