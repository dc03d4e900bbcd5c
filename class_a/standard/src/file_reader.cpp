#include "standard/file_reader.h"

#include <fstream>

#include "standard/throw.h"

namespace nbx {

std::string CFileReader::joinPath(const std::string& directory, const std::string& name) {
    static const char* const kStrip = "\\ /";
    std::size_t end = directory.find_last_not_of(kStrip);
    std::string head = end == std::string::npos ? std::string() : directory.substr(0, end + 1);
    std::size_t begin = name.find_first_not_of(kStrip);
    std::string tail = begin == std::string::npos ? std::string() : name.substr(begin);
    return head + "/" + tail;
}

void CFileReader::execute(const std::string& directory, const std::string& name) {
    m_path = joinPath(directory, name);
    std::ifstream stream(m_path);
    if (!stream.is_open()) {
        NBX_THROW_CODE(CException, "standard", "CFileReader::execute",
                       msg("Cannot open file '%1'.", m_path), CMessage(), lastError());
    }
    unsigned int count = 0;
    std::string command;
    while (stream.good()) {
        count += readCommand(stream, command);
        // A directory opens like a file and fails on the first read; a failing disk fails
        // later. Either must not pass for a complete (perhaps empty) file.
        if (stream.bad()) {
            const std::uint32_t code = lastError();
            NBX_THROW_CODE(CException, "standard", "CFileReader::execute",
                           msg("Cannot read file '%1'.", m_path), CMessage(), code);
        }
        if (!command.empty()) onCommand(command, count);
    }
}

unsigned int CFileReader::readCommand(std::istream& stream, std::string& command) {
    command.clear();
    unsigned int consumed = 0;
    std::string line;
    while (std::getline(stream, line)) {
        ++consumed;
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) first = line.size();
        line.erase(0, first);
        if (!line.empty() && line[0] == '#') continue;
        std::size_t last = line.find_last_not_of(" \r\n\t");
        line.erase(last == std::string::npos ? 0 : last + 1);
        if (line.empty()) break;
        command += line;
        command += '\n';
    }
    return consumed;
}

}  // namespace nbx
