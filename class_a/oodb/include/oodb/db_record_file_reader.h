#pragma once
// Common reader of the database layer's record files (statement files, table group files).
//
// Syntax, as in the host's configuration files: records of "key=value" lines separated by empty
// lines; a line whose first non-blank character is "#" is a comment; blanks around keys and
// values are dropped; a line ending in "\" continues on the next one (joined with one blank).
// A record that consists of lines "include <file>" reads those files at that point; a relative
// name is taken from the including file's directory. A file that was read once is not read
// again, so files may include a common file; a file that includes itself, directly or through
// others, is refused.

#include <set>
#include <string>
#include <vector>

#include "standard/message.h"
#include "standard/string_map.h"

class CDBRecordFileReader {
public:
    struct Entry {
        std::string key;
        std::string value;
        unsigned int line = 0;
    };
    // One record of a file: its entries in file order and the same as a map.
    struct Record {
        std::string file;
        unsigned int line = 0;  // the record's first line
        std::vector<Entry> entries;
        nbx::CStringMap values;
        // Line of the key's entry, or the record's first line.
        unsigned int lineOf(const std::string& key) const;
    };

    CDBRecordFileReader(const CDBRecordFileReader&) = delete;
    CDBRecordFileReader& operator=(const CDBRecordFileReader&) = delete;
    virtual ~CDBRecordFileReader();

    // Reads the file and, in place, every file it includes. Throws _cannotOpen for a file that
    // cannot be read, _recursiveInclude for an include cycle, and the derived reader's texts for
    // bad records.
    void read(const std::string& path);
    // Reads every file of `directory` whose name matches `pattern` ("*.inc"), in name order.
    void readDirectory(const std::string& directory, const std::string& pattern);

protected:
    // `keys` are the keys that records may hold.
    explicit CDBRecordFileReader(std::set<std::string> keys);

    virtual void _onRecord(const Record& record) = 0;
    // Whether records may hold `key`: by default, one of the keys given at construction. A reader
    // whose keys come from elsewhere (a names table) decides itself.
    virtual bool _isKey(const std::string& key) const;
    // The derived reader's "Invalid record at line %1 in ..." text and the function name of its
    // throw sites.
    virtual const char* _invalidRecordText() const = 0;
    virtual const char* _function() const = 0;

    // Throws for a bad record at `line` of the file being read, through _throwInvalid.
    [[noreturn]] void _invalid(unsigned int line, nbx::CMessage reason) const;
    // By default the invalid-record text for `line` with `reason`; a reader whose errors must
    // name the file overrides it.
    [[noreturn]] virtual void _throwInvalid(const std::string& file, unsigned int line,
                                            nbx::CMessage reason) const;
    // The failures of reading the files themselves: by default "Cannot open spec file '%1'." and
    // "Include directive for file %1 in spec file %2 is recursive."; a reader of other files
    // names them its own way.
    virtual nbx::CMessage _cannotOpen(const std::string& path) const;
    virtual nbx::CMessage _recursiveInclude(const std::string& path,
                                            const std::string& includer) const;
    // Throws "Missing key '<key>'." for the first of `keys` that the record lacks.
    void _requireKeys(const Record& record, const std::vector<const char*>& keys) const;

private:
    class CFile;
    friend class CFile;

    void _readFile(const std::string& path, const std::string& includer);
    void _parse(const std::string& file, const std::vector<std::string>& lines,
                const std::vector<unsigned int>& numbers);

    std::set<std::string> m_keys;
    std::vector<std::string> m_stack;  // canonical paths of the files being read
    std::set<std::string> m_done;      // canonical paths of the files read
    std::string m_file;                // the file whose record is being checked
};
