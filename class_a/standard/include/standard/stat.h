#pragma once
// File-system queries and moves used by the spool and the versioned streams.
//
// The small helpers return 0 when they succeeded and the system error code (errno) otherwise, so
// that a caller can put the code into its own exception without racing errno.

#include <cstdint>
#include <list>
#include <string>

#include "standard/dir_ent.h"

namespace nbx {

class CStat {
public:
    // Appends to `out` the entries of `directory` whose names match the glob `pattern` ("*" any
    // run of characters, a leading "." included; "?" one character), in directory order; "." and
    // ".." never. With `filesOnly` directories are left out, and so are entries whose type cannot
    // be read (a dangling link, a file that vanished meanwhile). Throws, site "CStat::findFiles":
    //   "Cannot stat '%1'."                               the directory's status cannot be read
    //   "Cannot enumerate files in directory '%1'."       reason "Not a directory." for anything
    //                                                     but a directory, the system's text
    //                                                     when it cannot be opened or read
    static void findFiles(const std::string& directory, const std::string& pattern,
                          std::list<CDirEnt>& out, bool filesOnly = true);

    // `directory` + "/" + `name` (no second "/" when the directory already ends with one).
    static std::string join(const std::string& directory, const std::string& name);

    // True when the name is taken, by whatever kind of entry (a dangling link included).
    static bool exists(const std::string& path);
    // True for a directory or a link to one.
    static bool isDirectory(const std::string& path);
    // Size in bytes of the file at `path`.
    static int size(const std::string& path, std::uint64_t& bytes);
    // Makes the directory (with its missing parents when `parents`); 0 when `path` is a
    // directory afterwards, also one that was there before. ENOTDIR when something else is in
    // the way.
    static int makeDirectory(const std::string& path, bool parents = false);
    // Deletes a file.
    static int remove(const std::string& path);
    // Moves `from` to `to`, replacing what `to` names.
    static int rename(const std::string& from, const std::string& to);
    // Moves `from` to `to` only when `to` does not exist (EEXIST otherwise), atomically: a file
    // that another writer puts under `to` at the same moment is never replaced.
    static int renameNoReplace(const std::string& from, const std::string& to);
    // The same through link() and unlink(), for file systems that cannot rename without
    // replacing; renameNoReplace falls back to it.
    static int renameByLink(const std::string& from, const std::string& to);
};

}  // namespace nbx
