#pragma once
// Reads a configuration file of the daemon in the record syntax of the statement files (key=value
// lines, "#" comments, "\" continuation, "include <file>") and keeps every entry with the line
// that set it. A key must be a key of the host's table or a registered configuration name of
// either protocol family, spelled as registered, and must appear once in all the records of all
// the files read. Each file must be private to its owner, since it may hold passwords.
//
// Every failure throws one line naming the file and, where there is one, the line:
//   "nbxd.conf:12: Unrecognized key 'rconsole.prot'."

#include <map>
#include <memory>
#include <set>
#include <string>

#include "extended/config.h"
#include "extended/dhcp_config_names.h"
#include "oodb/db_record_file_reader.h"

namespace host {

class CHostConfigFileReader : public CDBRecordFileReader {
public:
    CHostConfigFileReader();

    // Reads `path` and what it includes; the file is named as given in every message.
    void load(const std::string& path);

    // Key -> value, case-sensitive.
    const std::shared_ptr<nbx::CConfig>& config() const { return m_config; }
    // Key -> "<file>:<line>".
    const std::map<std::string, std::string>& locations() const { return m_locations; }

    // Throws "<where>: <text>" (the host's one-line failure).
    [[noreturn]] void fail(const std::string& where, const std::string& text) const;

protected:
    void _onRecord(const Record& record) override;
    bool _isKey(const std::string& key) const override;
    [[noreturn]] void _throwInvalid(const std::string& file, unsigned int line,
                                    nbx::CMessage reason) const override;
    const char* _invalidRecordText() const override;
    nbx::CMessage _cannotOpen(const std::string& path) const override;
    nbx::CMessage _recursiveInclude(const std::string& path,
                                    const std::string& includer) const override;
    const char* _function() const override;

private:
    // The name of `file` in messages: the path given to load for that file, else as read.
    std::string _shown(const std::string& file) const;
    // Refuses a file that its group or others may read or write.
    void _checkPrivate(const std::string& file) const;

    CDHCPConfigNames m_names4;
    CDHCPConfigNames m_names6;
    std::string m_given;     // the path given to load
    std::string m_absolute;  // the same, absolute
    std::set<std::string> m_checked;
    std::shared_ptr<nbx::CConfig> m_config;
    std::map<std::string, std::string> m_locations;
};

}  // namespace host
