#pragma once
// One entry of a directory listing: what CStat::findFiles returns.

#include <string>
#include <utility>

namespace nbx {

class CDirEnt {
public:
    CDirEnt() = default;
    CDirEnt(std::string fullPath, std::string fileName, bool isDirectory)
        : m_fullPath(std::move(fullPath)),
          m_fileName(std::move(fileName)),
          m_isDirectory(isDirectory) {}

    const std::string& fullPath() const { return m_fullPath; }
    const std::string& fileName() const { return m_fileName; }
    bool isDirectory() const { return m_isDirectory; }

    // Byte-wise order of the full paths: zero-padded version names sort in closing order.
    friend bool operator<(const CDirEnt& a, const CDirEnt& b) {
        return a.m_fullPath < b.m_fullPath;
    }
    friend bool operator==(const CDirEnt& a, const CDirEnt& b) {
        return a.m_fullPath == b.m_fullPath && a.m_fileName == b.m_fileName &&
               a.m_isDirectory == b.m_isDirectory;
    }

private:
    std::string m_fullPath;
    std::string m_fileName;
    bool m_isDirectory = false;
};

}  // namespace nbx
