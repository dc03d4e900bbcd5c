#include "host_config_file_reader.h"

#include <sys/stat.h>

#include <filesystem>

#include "host/host_config_keys.h"
#include "standard/throw.h"

namespace fs = std::filesystem;

namespace host {

namespace {
constexpr const char* kModule = "host";
}

CHostConfigFileReader::CHostConfigFileReader()
    : CDBRecordFileReader({}),
      m_names4(4),
      m_names6(6),
      m_config(std::make_shared<nbx::CConfig>()) {}

void CHostConfigFileReader::load(const std::string& path) {
    m_given = path;
    std::error_code error;
    m_absolute = fs::absolute(path, error).string();
    if (error) m_absolute = path;
    _checkPrivate(m_absolute);
    m_checked.insert(m_absolute);
    try {
        read(path);
    } catch (nbx::CException& e) {
        if (e.module() == kModule) throw;
        // The shared reader's own failures (an include that cannot be read, an include cycle)
        // name the included file but not the one being loaded.
        fail(m_given, e.text());
    }
}

nbx::CMessage CHostConfigFileReader::_cannotOpen(const std::string& path) const {
    return nbx::msg("Cannot open configuration file '%1'.", path);
}

nbx::CMessage CHostConfigFileReader::_recursiveInclude(const std::string& path,
                                                       const std::string& includer) const {
    return nbx::msg("Include directive for file %1 in configuration file %2 is recursive.", path,
                    includer);
}

void CHostConfigFileReader::fail(const std::string& where, const std::string& text) const {
    NBX_THROW(nbx::CException, kModule, _function(), nbx::msg("%1: %2", where, text),
              nbx::CMessage());
}

void CHostConfigFileReader::_onRecord(const Record& record) {
    if (m_checked.insert(record.file).second) _checkPrivate(record.file);
    const std::string file = _shown(record.file);
    for (const Entry& entry : record.entries) {
        const std::string where = file + ":" + std::to_string(entry.line);
        auto first = m_locations.find(entry.key);
        if (first != m_locations.end()) {
            fail(where, "Duplicate key '" + entry.key + "'; it is set at " + first->second + ".");
        }
        m_config->insert(entry.key, entry.value);
        m_locations.emplace(entry.key, where);
    }
}

bool CHostConfigFileReader::_isKey(const std::string& key) const {
    if (CHostConfigKeys::find(key)) return true;
    // The names tables compare without regard to case, but the plug-in reads its snapshot
    // case-sensitively: a key spelled otherwise would be accepted here and never read.
    for (const nbx::CConfigNames* names : {&m_names4, &m_names6}) {
        try {
            names->validate(key);
        } catch (nbx::CException&) {
            continue;
        }
        if (names->names().entries().find(key)->first == key) return true;
    }
    return false;
}

void CHostConfigFileReader::_throwInvalid(const std::string& file, unsigned int line,
                                          nbx::CMessage reason) const {
    fail(_shown(file) + ":" + std::to_string(line), reason.text());
}

const char* CHostConfigFileReader::_invalidRecordText() const {
    return "Invalid record at line %1 in configuration file.";
}

const char* CHostConfigFileReader::_function() const {
    return "CHostConfigFile::read";
}

std::string CHostConfigFileReader::_shown(const std::string& file) const {
    return file == m_absolute ? m_given : file;
}

void CHostConfigFileReader::_checkPrivate(const std::string& file) const {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        fail(_shown(file),
             "Cannot read the file: " + nbx::CException::errorText(nbx::lastError()) + ".");
    }
    if (!S_ISREG(status.st_mode)) fail(_shown(file), "Not a regular file.");
    if (status.st_mode & 077) {
        fail(_shown(file),
             "The file is readable by others; a configuration file holds passwords (chmod 600).");
    }
}

}  // namespace host
