#include "extended/versioned_file_stream.h"

#include <errno.h>
#include <unistd.h>

#include "standard/stat.h"
#include "standard/throw.h"

namespace nbx {

namespace {
constexpr std::uint32_t kDigits = 7;
}  // namespace

CVersionedFileStream::CVersionedFileStream(void* context, const std::string& directory,
                                           const std::string& baseName,
                                           const std::string& workingFileName)
    : m_context(context),
      m_workingFileName(workingFileName),
      m_versionStat(directory, baseName, kDigits) {}

CVersionedFileStream::~CVersionedFileStream() = default;

std::string CVersionedFileStream::workingPath() const {
    return CStat::join(m_versionStat.directory(), m_workingFileName);
}

std::uint32_t CVersionedFileStream::_nextVersion() {
    return m_versionStat.next();
}

std::uint32_t CVersionedFileStream::close() {
    const std::string working = workingPath();
    if (m_stream) {
        m_stream->flush();
        m_stream->close();
        m_stream.reset();
    } else if (!CStat::exists(working) || CStat::isDirectory(working)) {
        return m_version;
    }
    // else: a working file left by an earlier object; it is finished like our own.

    std::uint64_t bytes = 0;
    if (const int error = CStat::size(working, bytes)) {
        NBX_THROW_CODE(CException, "extended", "CVersionedFileStream::close",
                       msg("Failed to read versioned working file '%1'.", working), CMessage(),
                       error);
    }
    if (bytes == 0) {
        // No empty version file: the number stays for the next working file.
        if (const int error = CStat::remove(working)) {
            NBX_THROW_CODE(CException, "extended", "CVersionedFileStream::close",
                           msg("Failed to remove empty versioned working file '%1'.", working),
                           CMessage(), error);
        }
        return m_version;
    }

    // Moves never replace: a version that another writer put there first stays as it is.
    if (m_version != CVersionStat::kNoVersion &&
        CStat::renameNoReplace(working, m_versionStat.path(m_version)) == 0) {
        return ++m_version;
    }
    const std::uint32_t version = _nextVersion();
    const std::string target = m_versionStat.path(version);
    const int error =
        version == CVersionStat::kNoVersion ? EOVERFLOW : CStat::renameNoReplace(working, target);
    if (error != 0) {
        NBX_THROW_CODE(
            CException, "extended", "CVersionedFileStream::close",
            msg("Failed to rename versioned working file from '%1' to '%2'.", working, target),
            CMessage(), error);
    }
    // The next file follows the one just written, not the one that was taken.
    m_version = version + 1;
    return m_version;
}

void CVersionedFileStream::reopen() {
    const std::uint32_t version = close();
    // GCC 12 cannot tell that the temporary shares its count block with the member, so it
    // takes the release of one for a use after free in the other.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
    m_stream = CStreamPtr(new std::ofstream);
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic pop
#endif
    if (version != CVersionStat::kNoVersion && !m_versionStat.exists(version)) {
        _open();
        m_version = version;
        return;
    }
    const std::uint32_t next = _nextVersion();
    if (m_versionStat.exists(next)) {
        m_stream.reset();
        NBX_THROW(CException, "extended", "CVersionedFileStream::reopen",
                  msg("Cannot open a versioned file."),
                  msg("Another process appears to be conflicting with the version files."));
    }
    _open();
    m_version = next;
}

void CVersionedFileStream::_open() {
    errno = 0;
    m_stream->open(workingPath(), std::ios::out | std::ios::app);
    if (!m_stream->is_open()) {
        const std::uint32_t error = lastError();
        m_stream.reset();
        NBX_THROW_CODE(CException, "extended", "CVersionedFileStream::reopen",
                       msg("Cannot open versioned file '%1'.", workingPath()), CMessage(), error);
    }
    // Appending goes on after what an earlier object left there.
    m_size = 0;
    CStat::size(workingPath(), m_size);
}

std::ostream& CVersionedFileStream::stream() {
    if (!isOpen()) reopen();
    return *m_stream;
}

void CVersionedFileStream::write(const std::string& text) {
    std::ostream& out = stream();
    errno = 0;
    out << text;
    out.flush();
    if (out) {
        m_size += text.size();
        return;
    }
    const std::uint32_t error = lastError();
    // A write that failed part-way (a full disk) must not leave half a record behind: the file
    // is cut back to what the earlier writes left, and the next write starts on a new stream.
    m_stream->close();
    m_stream.reset();
    const bool cut = ::truncate(workingPath().c_str(), static_cast<off_t>(m_size)) == 0;
    NBX_THROW_CODE(CException, "extended", "CVersionedFileStream::write",
                   msg("Failed to write versioned working file '%1'.", workingPath()),
                   cut ? CMessage() : msg("The part written could not be removed."), error);
}

}  // namespace nbx
