#pragma once
// Reads a text file as a sequence of commands (records) separated by empty lines.
//
// Leading blanks and tabs of a line are dropped; a line that then begins with "#" is a comment;
// trailing blanks, tabs, carriage returns and line feeds are dropped; an empty line ends the
// command; every other line is appended to the command with one line feed.

#include <istream>
#include <string>

namespace nbx {

class CFileReader {
public:
    virtual ~CFileReader() = default;

    // Joins directory and name with one "/" (trailing "\", " " and "/" of the directory and
    // leading ones of the name removed), opens the file and calls onCommand once per non-empty
    // command in file order. Throws "Cannot open file '%1'." when the file cannot be opened and
    // "Cannot read file '%1'." when reading it fails (a directory, an I/O error).
    virtual void execute(const std::string& directory, const std::string& name);

    // One command; `line` counts the lines read from the start of the file up to and including
    // the line that ended it.
    virtual void onCommand(const std::string& command, unsigned int line) = 0;

    // Reads one command; returns the number of lines consumed (comments and the ending empty
    // line included).
    virtual unsigned int readCommand(std::istream& stream, std::string& command);

    // The path of the file being (or last) read.
    const std::string& path() const { return m_path; }

    static std::string joinPath(const std::string& directory, const std::string& name);

private:
    std::string m_path;
};

}  // namespace nbx
