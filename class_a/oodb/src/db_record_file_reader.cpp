#include "oodb/db_record_file_reader.h"

#include <errno.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <list>

#include "standard/dir_ent.h"
#include "standard/file_reader.h"
#include "standard/stat.h"
#include "standard/throw.h"

namespace fs = std::filesystem;

namespace {

std::string trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "include <file>": true with the file name. "include=..." and "include = ..." are keys.
bool includeDirective(const std::string& line, std::string& file) {
    static const std::string kWord = "include";
    if (line.compare(0, kWord.size(), kWord) != 0) return false;
    if (line.size() == kWord.size() || (line[kWord.size()] != ' ' && line[kWord.size()] != '\t')) {
        return false;
    }
    file = trim(line.substr(kWord.size()));
    return !file.empty() && file[0] != '=';
}

}  // namespace

// One file, read through the framework's record reader with the line number of every line kept.
class CDBRecordFileReader::CFile : public nbx::CFileReader {
public:
    explicit CFile(CDBRecordFileReader& owner) : m_owner(owner) {}

    void onCommand(const std::string& command, unsigned int) override {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < command.size()) {
            std::size_t end = command.find('\n', start);
            if (end == std::string::npos) end = command.size();
            lines.push_back(command.substr(start, end - start));
            start = end + 1;
        }
        m_owner._parse(path(), lines, m_numbers);
    }

    // The framework reader's rules (blanks and tabs before a line and "#" comments dropped,
    // trailing white space cut, an empty line ends the record), keeping each line's number.
    unsigned int readCommand(std::istream& stream, std::string& command) override {
        command.clear();
        m_numbers.clear();
        unsigned int consumed = 0;
        std::string line;
        while (std::getline(stream, line)) {
            ++consumed;
            ++m_line;
            std::size_t first = line.find_first_not_of(" \t");
            line.erase(0, first == std::string::npos ? line.size() : first);
            if (!line.empty() && line[0] == '#') continue;
            const std::size_t last = line.find_last_not_of(" \r\n\t");
            line.erase(last == std::string::npos ? 0 : last + 1);
            if (line.empty()) break;
            command += line;
            command += '\n';
            m_numbers.push_back(m_line);
        }
        return consumed;
    }

private:
    CDBRecordFileReader& m_owner;
    unsigned int m_line = 0;
    std::vector<unsigned int> m_numbers;
};

unsigned int CDBRecordFileReader::Record::lineOf(const std::string& key) const {
    for (const Entry& entry : entries) {
        if (entry.key == key) return entry.line;
    }
    return line;
}

CDBRecordFileReader::CDBRecordFileReader(std::set<std::string> keys) : m_keys(std::move(keys)) {}

CDBRecordFileReader::~CDBRecordFileReader() {}

void CDBRecordFileReader::read(const std::string& path) {
    m_stack.clear();
    _readFile(path, std::string());
}

void CDBRecordFileReader::readDirectory(const std::string& directory, const std::string& pattern) {
    std::list<nbx::CDirEnt> entries;
    nbx::CStat::findFiles(directory, pattern, entries);
    entries.sort();
    for (const nbx::CDirEnt& entry : entries) read(entry.fullPath());
}

nbx::CMessage CDBRecordFileReader::_cannotOpen(const std::string& path) const {
    return nbx::msg("Cannot open spec file '%1'.", path);
}

nbx::CMessage CDBRecordFileReader::_recursiveInclude(const std::string& path,
                                                     const std::string& includer) const {
    return nbx::msg("Include directive for file %1 in spec file %2 is recursive.", path, includer);
}

void CDBRecordFileReader::_readFile(const std::string& path, const std::string& includer) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    std::uint32_t code = 0;
    if (error) {
        code = static_cast<std::uint32_t>(error.value());
    } else if (fs::is_directory(absolute, error)) {
        code = EISDIR;
    } else if (!std::ifstream(absolute).is_open()) {
        code = nbx::lastError();
    }
    if (code != 0) {
        NBX_THROW_CODE(nbx::CException, "oodb", _function(), _cannotOpen(path), nbx::CMessage(),
                       code);
    }
    const std::string canonical = fs::weakly_canonical(absolute, error).string();
    if (std::find(m_stack.begin(), m_stack.end(), canonical) != m_stack.end()) {
        NBX_THROW(nbx::CException, "oodb", _function(), _recursiveInclude(path, includer),
                  nbx::CMessage());
    }
    if (!m_done.insert(canonical).second) return;

    m_stack.push_back(canonical);
    try {
        CFile file(*this);
        file.execute(absolute.parent_path().string(), absolute.filename().string());
    } catch (...) {
        m_stack.pop_back();
        throw;
    }
    m_stack.pop_back();
}

void CDBRecordFileReader::_parse(const std::string& file, const std::vector<std::string>& lines,
                                 const std::vector<unsigned int>& numbers) {
    // Continuation lines first: a line ending in "\" takes the next one.
    std::vector<std::pair<std::string, unsigned int>> joined;
    bool continuing = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string text = lines[i];
        const bool continues = !text.empty() && text.back() == '\\';
        if (continues) text = trim(text.substr(0, text.size() - 1));
        if (continuing) {
            std::string& last = joined.back().first;
            if (!last.empty() && !text.empty()) last += ' ';
            last += text;
        } else {
            joined.emplace_back(text, i < numbers.size() ? numbers[i] : 0);
        }
        continuing = continues;
    }

    m_file = file;
    std::vector<std::pair<std::string, unsigned int>> includes;
    Record record;
    record.file = file;
    record.line = joined.empty() ? 0 : joined.front().second;
    for (const auto& line : joined) {
        std::string include;
        if (includeDirective(line.first, include)) {
            includes.emplace_back(include, line.second);
            continue;
        }
        const std::size_t equals = line.first.find('=');
        const std::string key = trim(line.first.substr(0, equals));
        if (equals == std::string::npos || key.empty()) {
            _invalid(line.second, nbx::msg("Expected 'key=value' in '%1'.", line.first));
        }
        if (!_isKey(key)) _invalid(line.second, nbx::msg("Unrecognized key '%1'.", key));
        if (record.values.has(key)) _invalid(line.second, nbx::msg("Duplicate key '%1'.", key));
        const std::string value = trim(line.first.substr(equals + 1));
        record.entries.push_back({key, value, line.second});
        record.values.insert(key, value);
    }
    if (!includes.empty() && !record.entries.empty()) {
        _invalid(includes.front().second,
                 nbx::msg("An include directive stands in a record of its own."));
    }
    for (const auto& include : includes) {
        const fs::path name(include.first);
        const fs::path target = name.is_absolute() ? name : fs::path(file).parent_path() / name;
        _readFile(target.string(), file);
    }
    m_file = file;  // the included files were read in between
    if (!record.entries.empty()) _onRecord(record);
}

bool CDBRecordFileReader::_isKey(const std::string& key) const {
    return m_keys.count(key) != 0;
}

void CDBRecordFileReader::_invalid(unsigned int line, nbx::CMessage reason) const {
    _throwInvalid(m_file, line, reason);
    // Reached only through an override that forgot to throw.
    CDBRecordFileReader::_throwInvalid(m_file, line, std::move(reason));
}

void CDBRecordFileReader::_throwInvalid(const std::string&, unsigned int line,
                                        nbx::CMessage reason) const {
    NBX_THROW(nbx::CException, "oodb", _function(), nbx::msg(_invalidRecordText(), line),
              std::move(reason));
}

void CDBRecordFileReader::_requireKeys(const Record& record,
                                       const std::vector<const char*>& keys) const {
    for (const char* key : keys) {
        if (!record.values.has(key)) {
            _invalid(record.line, nbx::CMessage(std::string("Missing key '") + key + "'."));
        }
    }
}
