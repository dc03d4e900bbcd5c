#include "standard/stat.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "standard/throw.h"

namespace nbx {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

int errorOf(int result) {
    return result == 0 ? 0 : errno;
}

}  // namespace

void CStat::findFiles(const std::string& directory, const std::string& pattern,
                      std::list<CDirEnt>& out, bool filesOnly) {
    struct stat status;
    if (::stat(directory.c_str(), &status) != 0) {
        NBX_THROW_STATIC_CODE(CException, "standard", "CStat::findFiles",
                              msg("Cannot stat '%1'.", directory), CMessage(), lastError());
    }
    if (!S_ISDIR(status.st_mode)) {
        NBX_THROW_STATIC(CException, "standard", "CStat::findFiles",
                         msg("Cannot enumerate files in directory '%1'.", directory),
                         msg("Not a directory."));
    }
    std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
    if (!dir) {
        NBX_THROW_STATIC_CODE(CException, "standard", "CStat::findFiles",
                              msg("Cannot enumerate files in directory '%1'.", directory),
                              CMessage(), lastError());
    }
    std::list<CDirEnt> found;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0) {
                NBX_THROW_STATIC_CODE(CException, "standard", "CStat::findFiles",
                                      msg("Cannot enumerate files in directory '%1'.", directory),
                                      CMessage(), lastError());
            }
            break;
        }
        const std::string name(entry->d_name);
        if (name == "." || name == "..") continue;
        if (::fnmatch(pattern.c_str(), name.c_str(), 0) != 0) continue;
        std::string path = join(directory, name);
        bool isDir = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat target;
            if (::stat(path.c_str(), &target) == 0) {
                isDir = S_ISDIR(target.st_mode);
            } else if (filesOnly) {
                continue;  // nothing that could be read as a file
            }
        }
        if (filesOnly && isDir) continue;
        found.emplace_back(std::move(path), name, isDir);
    }
    out.splice(out.end(), found);
}

std::string CStat::join(const std::string& directory, const std::string& name) {
    if (!directory.empty() && directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

bool CStat::exists(const std::string& path) {
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
}

bool CStat::isDirectory(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int CStat::size(const std::string& path, std::uint64_t& bytes) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return errno;
    bytes = static_cast<std::uint64_t>(status.st_size);
    return 0;
}

int CStat::makeDirectory(const std::string& path, bool parents) {
    if (parents) {
        // Each missing level in turn; the last one's result is the answer.
        for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            const std::string level = path.substr(0, slash);
            if (!isDirectory(level)) ::mkdir(level.c_str(), 0755);
        }
    }
    if (::mkdir(path.c_str(), 0755) == 0) return 0;
    int error = errno;
    if (error == EEXIST) {
        struct stat status;
        if (::stat(path.c_str(), &status) != 0) return errno;
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    }
    return error;
}

int CStat::remove(const std::string& path) {
    return errorOf(::unlink(path.c_str()));
}

int CStat::rename(const std::string& from, const std::string& to) {
    return errorOf(::rename(from.c_str(), to.c_str()));
}

int CStat::renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const int error = errno;
    // EINVAL: the file system has no such rename; a hard link refuses an existing name as well.
    if (error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) return renameByLink(from, to);
    return error;
}

int CStat::renameByLink(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        // Never leave the same data under two names: a reader would take it twice.
        ::unlink(to.c_str());
        return error;
    }
    return 0;
}

}  // namespace nbx
