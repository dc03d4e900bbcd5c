#pragma once
// An append-only working file that is cut into numbered versions.
//
// The writer appends to the working file; close() moves it to the next version's name (or
// deletes it when it is empty) and reopen() starts a new one. Readers take only version files,
// which are complete once they carry their version name. A version file is never replaced: a
// number that is already taken, by an earlier run or by another writer, is skipped.

#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>

#include "extended/version_stat.h"
#include "standard/general_ptr.h"

namespace nbx {

class CVersionedFileStream {
public:
    using CStreamPtr = CGeneralPtr<std::ofstream, CSTOwnerPolicy>;

    // `context` is the caller's and is only kept. The working file is directory + "/" +
    // `workingFileName`; the versions are named "%0*lu-" + `baseName` with 7 digits.
    CVersionedFileStream(void* context, const std::string& directory, const std::string& baseName,
                         const std::string& workingFileName);
    // Releases the stream; the working file stays for the next object to finish.
    virtual ~CVersionedFileStream();

    // Finishes the working file (close()) and opens a new one for appending. Throws
    // "Cannot open versioned file '%1'." when it cannot be opened, and "Cannot open a versioned
    // file." ("Another process appears to be conflicting with the version files.") when the
    // version it is to get exists already.
    void reopen();
    // Finishes the working file, also one left behind by an earlier object: a non-empty one
    // becomes the file of the current version (of the next free one when that name is taken),
    // an empty one is deleted. Returns the version that the next working file is to get.
    std::uint32_t close();

    // The stream of the working file, opened first (reopen()) when it is not open.
    std::ostream& stream();
    // Appends `text` and hands it to the system, so that a crash of this process loses none of
    // it. Throws "Failed to write versioned working file '%1'." when the stream has failed (the
    // error code is the system's); the file then holds nothing of `text`, and the next write
    // finishes it and goes on in a new working file.
    void write(const std::string& text);

    bool isOpen() const { return m_stream && m_stream->is_open(); }
    // The version of the open working file; after close() the one the next file is to get;
    // CVersionStat::kNoVersion before the first.
    std::uint32_t version() const { return m_version; }
    void* context() const { return m_context; }
    const std::string& workingFileName() const { return m_workingFileName; }
    std::string workingPath() const;
    const CVersionStat& versionStat() const { return m_versionStat; }

protected:
    // The first free version (CVersionStat::next()).
    virtual std::uint32_t _nextVersion();

private:
    void _open();

    void* m_context;  // not owned
    std::string m_workingFileName;
    CVersionStat m_versionStat;
    std::uint32_t m_version = CVersionStat::kNoVersion;
    CStreamPtr m_stream;
    std::uint64_t m_size = 0;  // bytes of the open working file that whole writes left
};

}  // namespace nbx
