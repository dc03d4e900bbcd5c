#include "extended/versioned_file_stream.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include "testing/eventually.h"
#include "testing/failure.h"
#include "testing/temp_folder.h"

using nbx::CVersionedFileStream;
using nbx::testing::Failure;
using nbx::testing::failure;

namespace {

const char* const kName = "transactions.4.log";  // base and working name, as the spool has them

// A stream whose search for a free version can be made to lose a race with another writer.
class RacingStream : public CVersionedFileStream {
public:
    using CVersionedFileStream::CVersionedFileStream;
    std::function<void(std::uint32_t)> beforeUse;  // runs with the number found

protected:
    std::uint32_t _nextVersion() override {
        const std::uint32_t version = CVersionedFileStream::_nextVersion();
        if (beforeUse) beforeUse(version);
        return version;
    }
};

class VersionedFileStreamTest : public ::testing::Test {
protected:
    std::unique_ptr<RacingStream> makeStream(const std::string& directory = std::string()) {
        return std::make_unique<RacingStream>(&m_dir, directory.empty() ? m_dir : directory, kName,
                                              kName);
    }
    static std::string versionName(unsigned version) {
        char number[16];
        std::snprintf(number, sizeof number, "%07u-", version);
        return number + std::string(kName);
    }
    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    void writeFile(const std::string& name, const std::string& content) const {
        std::ofstream(path(name)) << content;
    }
    // Every file of the directory with its content.
    using Files = std::map<std::string, std::string>;
    Files files() const {
        Files out;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
            out[entry.path().filename().string()] = nbx::testing::readFile(entry.path().string());
        }
        return out;
    }

    nbx::testing::TempFolder m_folder;
    std::string m_dir = m_folder.path();  // also the streams' context
};

TEST_F(VersionedFileStreamTest, RotationsWithDataProduceConsecutiveVersionsEmptyOnesNone) {
    auto stream = makeStream();
    stream->write("one\n");
    EXPECT_EQ(files(), (Files{{kName, "one\n"}}));  // written through, before any rotation
    stream->reopen();
    stream->reopen();  // an empty working file is deleted and keeps its number
    EXPECT_EQ(files(), (Files{{versionName(0), "one\n"}, {kName, ""}}));
    stream->write("two\n");
    stream->reopen();
    stream->stream() << "three\n";
    EXPECT_EQ(stream->close(), 3u);
    EXPECT_FALSE(stream->isOpen());
    stream->reopen();
    EXPECT_EQ(stream->close(), 3u);  // the working file opened last was empty
    EXPECT_EQ(stream->close(), 3u);  // nothing open, nothing left: nothing happens
    EXPECT_EQ(
        files(),
        (Files{{versionName(0), "one\n"}, {versionName(1), "two\n"}, {versionName(2), "three\n"}}));
}

TEST_F(VersionedFileStreamTest, ANewStreamFinishesALeftOverWorkingFileFirst) {
    for (const std::string leftOver : {"half a rec", ""}) {
        SCOPED_TRACE(leftOver);
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directory(m_dir);
        writeFile(versionName(0), "kept");
        if (leftOver.empty()) {
            writeFile(kName, "");
        } else {
            makeStream()->write(leftOver);  // a stream destroyed open leaves its file
        }
        EXPECT_EQ(files()[kName], leftOver);
        auto stream = makeStream();
        stream->write("new\n");  // never appended to the left-over, whose end may be torn
        stream->close();
        Files expected{{versionName(0), "kept"}};
        if (!leftOver.empty()) expected[versionName(1)] = leftOver;
        expected[versionName(leftOver.empty() ? 1 : 2)] = "new\n";
        EXPECT_EQ(files(), expected);
    }
}

TEST_F(VersionedFileStreamTest, CloseNeverReplacesAVersionWrittenByAnotherWriter) {
    auto stream = makeStream();
    stream->write("mine");
    writeFile(versionName(0), "theirs");
    // The first free number is taken too between the search and the rename.
    stream->beforeUse = [this](std::uint32_t v) { writeFile(versionName(v), "raced"); };
    const Failure e = failure([&] { stream->close(); });
    EXPECT_EQ(e.text(), "Failed to rename versioned working file from '" + path(kName) + "' to '" +
                            path(versionName(1)) + "'. | File exists");
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(EEXIST));
    EXPECT_EQ(e.module, "extended");
    EXPECT_EQ(e.function, "CVersionedFileStream::close");
    EXPECT_EQ(files(),
              (Files{{versionName(0), "theirs"}, {versionName(1), "raced"}, {kName, "mine"}}));

    // The data stays in the working file and goes out with the next rotation, which answers the
    // number after the one it took.
    stream->beforeUse = nullptr;
    EXPECT_EQ(stream->close(), 3u);
    EXPECT_EQ(
        files(),
        (Files{{versionName(0), "theirs"}, {versionName(1), "raced"}, {versionName(2), "mine"}}));
}

TEST_F(VersionedFileStreamTest, ReopenRefusesAVersionThatAppearsBeforeItIsUsed) {
    writeFile(versionName(0), "zero");
    auto stream = makeStream();
    stream->beforeUse = [this](std::uint32_t v) { writeFile(versionName(v), "other writer"); };
    const Failure e = failure([&] { stream->reopen(); });
    EXPECT_EQ(e.text(),
              "Cannot open a versioned file. | Another process appears to be conflicting with the "
              "version files.");
    EXPECT_EQ(e.module, "extended");
    EXPECT_EQ(e.function, "CVersionedFileStream::reopen");
    EXPECT_FALSE(stream->isOpen());
    EXPECT_EQ(files(), (Files{{versionName(0), "zero"}, {versionName(1), "other writer"}}));
}

TEST_F(VersionedFileStreamTest, OpeningFailures) {
    const std::string missing = path("missing");
    auto stream = makeStream(missing);
    const Failure e = failure([&] { stream->stream(); });
    EXPECT_EQ(e.text(), "Cannot open versioned file '" + missing + "/" + kName +
                            "'. | No such file or directory");
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(e.module, "extended");
    EXPECT_FALSE(stream->isOpen());
}

TEST_F(VersionedFileStreamTest, AVanishedWorkingFileCannotBeFinished) {
    auto stream = makeStream();
    stream->write("lost");
    std::filesystem::remove(path(kName));
    const Failure e = failure([&] { stream->reopen(); });
    EXPECT_EQ(e.text(), "Failed to read versioned working file '" + path(kName) +
                            "'. | No such file or directory");
    EXPECT_EQ(e.function, "CVersionedFileStream::close");
    // The stream is closed all the same and starts afresh.
    stream->write("next");
    stream->close();
    EXPECT_EQ(files(), (Files{{versionName(0), "next"}}));
}

TEST_F(VersionedFileStreamTest, AFailedWriteLeavesNothingOfItAndTheNextWriteGoesOn) {
    auto stream = makeStream();
    stream->write("0123456789");
    // A file size limit makes the next write fail part-way with EFBIG instead of raising
    // SIGXFSZ, as a full disk would.
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    void (*previous)(int) = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Failure e = failure([&] { stream->write("too much for the limit"); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    EXPECT_EQ(e.text(),
              "Failed to write versioned working file '" + path(kName) + "'. | File too large");
    EXPECT_EQ(e.function, "CVersionedFileStream::write");
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(EFBIG));
    stream->write("abc");
    stream->close();
    EXPECT_EQ(files(), (Files{{versionName(0), "0123456789"}, {versionName(1), "abc"}}));
}

}  // namespace
