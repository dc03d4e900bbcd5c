#include "extended/version_stat.h"

#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <list>

#include "standard/stat.h"

namespace nbx {

CVersionStat::CVersionStat(const std::string& directory, const std::string& baseName,
                           std::uint32_t digits)
    : m_directory(directory), m_baseName(baseName), m_digits(digits) {}

CVersionStat::~CVersionStat() = default;

std::string CVersionStat::name(std::uint32_t version) const {
    if (version == kNoVersion) return "*-" + m_baseName;
    // Bounded so that the buffer always holds the number.
    const int width = static_cast<int>(std::min<std::uint32_t>(m_digits, 64));
    char number[80];
    ::snprintf(number, sizeof number, "%0*lu-", width, static_cast<unsigned long>(version));
    return number + m_baseName;
}

std::string CVersionStat::path(std::uint32_t version) const {
    return CStat::join(m_directory, name(version));
}

bool CVersionStat::exists(std::uint32_t version) const {
    return CStat::exists(path(version));
}

bool CVersionStat::parse(const std::string& fileName, std::uint32_t& version) const {
    const std::size_t dash = fileName.find('-');
    if (dash == 0 || dash == std::string::npos || dash > 64) return false;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < dash; ++i) {
        const char c = fileName[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value >= kNoVersion) return false;
    }
    // Only the exact form: "12-x" or "00000012-x" were not written by a stream of this width.
    if (name(static_cast<std::uint32_t>(value)) != fileName) return false;
    version = static_cast<std::uint32_t>(value);
    return true;
}

std::vector<std::uint32_t> CVersionStat::versions() const {
    std::vector<std::uint32_t> out;
    struct stat status;
    if (::stat(m_directory.c_str(), &status) != 0 && errno == ENOENT) return out;
    // Every kind of entry counts: a name that is taken must never be handed out again. parse()
    // does the matching, so that a base name holding "*", "?" or "[" is taken literally.
    std::list<CDirEnt> entries;
    CStat::findFiles(m_directory, "*", entries, false);
    for (const CDirEnt& entry : entries) {
        std::uint32_t version = 0;
        if (parse(entry.fileName(), version)) out.push_back(version);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::uint32_t CVersionStat::next() const {
    const std::vector<std::uint32_t> present = versions();
    return present.empty() ? 0 : present.back() + 1;
}

}  // namespace nbx
