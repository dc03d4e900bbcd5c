#pragma once
// Names of the numbered versions of one file in one directory: version n of base name "x" with
// 7 digits is "0000042-x".

#include <cstdint>
#include <string>
#include <vector>

namespace nbx {

class CVersionStat {
public:
    // The number that stands for "no version".
    static constexpr std::uint32_t kNoVersion = 0xFFFFFFFFu;

    CVersionStat(const std::string& directory, const std::string& baseName,
                 std::uint32_t digits = 7);
    virtual ~CVersionStat();

    // "%0*lu-" + base name; for kNoVersion "*-" + base name, the pattern of every version.
    std::string name(std::uint32_t version) const;
    // directory + "/" + name(version)
    std::string path(std::uint32_t version) const;
    // True when the name of that version is taken in the directory, by whatever entry.
    bool exists(std::uint32_t version) const;
    // The version that `fileName` names, when it is exactly what name() writes for it.
    bool parse(const std::string& fileName, std::uint32_t& version) const;
    // The versions present, ascending. A directory that does not exist holds none; one that
    // cannot be listed raises the failure of CStat::findFiles.
    std::vector<std::uint32_t> versions() const;
    // The highest version present + 1; 0 when none is present.
    std::uint32_t next() const;

    const std::string& directory() const { return m_directory; }
    const std::string& baseName() const { return m_baseName; }
    std::uint32_t digits() const { return m_digits; }

private:
    std::string m_directory;
    std::string m_baseName;
    std::uint32_t m_digits;
};

}  // namespace nbx
