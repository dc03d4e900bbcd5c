#include "standard/file_reader.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "standard/exception.h"
#include "testing/failure.h"

using nbx::CException;
using nbx::CFileReader;
using nbx::testing::failure;

namespace {

using Commands = std::vector<std::pair<std::string, unsigned int>>;

class RecordingReader : public CFileReader {
public:
    void onCommand(const std::string& command, unsigned int line) override {
        commands.emplace_back(command, line);
    }
    Commands commands;
};

class FileReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nbx-reader-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void write(const std::string& name, const std::string& content) {
        std::ofstream(dir + "/" + name, std::ios::binary) << content;
    }
    std::string dir;
    RecordingReader reader;
};

}  // namespace

TEST_F(FileReaderTest, SplitsCommandsAndCountsLines) {
    struct Case {
        const char* name;
        std::string content;
        Commands expected;
    };
    const std::vector<Case> cases = {
        {"comments are skipped, not ended on",
         "# heading\na=1\n  \t# indented comment\nb=2\n\nc=3\n",
         {{"a=1\nb=2\n", 5}, {"c=3\n", 6}}},
        {"a blank-only line ends a record", "a=1\n \t \nb=2\n", {{"a=1\n", 2}, {"b=2\n", 3}}},
        {"carriage returns and trailing blanks",
         "a=1\r\nb=2 \t\r\n\r\nc=3\r\n",
         {{"a=1\nb=2\n", 3}, {"c=3\n", 4}}},
        {"runs of empty lines, and no final line feed",
         "\n\na=1\n\n\n\nb=2",
         {{"a=1\n", 4}, {"b=2\n", 7}}},
        {"leading blanks and tabs go, inner ones stay", "  \tkey = a b\t\n", {{"key = a b\n", 1}}},
        {"a hash inside a line is text", "a=#1\n", {{"a=#1\n", 1}}},
        {"empty file", "", {}},
        {"only comments and blanks", "# one\n\n   \n# two\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write("commands.txt", c.content);
        RecordingReader fresh;
        fresh.execute(dir, "commands.txt");
        EXPECT_EQ(fresh.commands, c.expected);
    }
}

TEST_F(FileReaderTest, JoinsDirectoryAndName) {
    struct Case {
        std::string directory;
        std::string name;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/var/spool", "a.txt", "/var/spool/a.txt"},
        {"/var/spool \\/ ", "/ \\a.txt", "/var/spool/a.txt"},
        {"/var/spool//", "//a b.txt ", "/var/spool/a b.txt "},  // only leading ones of the name
        {"/", "a.txt", "/a.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory + " + " + c.name);
        EXPECT_EQ(CFileReader::joinPath(c.directory, c.name), c.expected);
    }

    write("locale.txt", "x=1\n");
    reader.execute(dir + "/ \\", "\\ /locale.txt");
    EXPECT_EQ(reader.path(), dir + "/locale.txt");
    EXPECT_EQ(reader.commands, (Commands{{"x=1\n", 1}}));
}

TEST_F(FileReaderTest, MissingOrUnreadableFileThrowsWithTheSystemError) {
    auto missing = failure([&] { reader.execute(dir + "/", "missing.txt"); });
    EXPECT_EQ(missing.text(),
              "Cannot open file '" + dir + "/missing.txt'. | No such file or directory");
    EXPECT_EQ(missing.code, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(missing.function, "CFileReader::execute");
    EXPECT_EQ(missing.module, "standard");

    // A directory is not taken for an empty file.
    std::filesystem::create_directory(dir + "/sub");
    auto directory = failure([&] { reader.execute(dir, "sub"); });
    EXPECT_EQ(directory.message, "Cannot read file '" + dir + "/sub'.");
    EXPECT_EQ(directory.code, static_cast<std::uint32_t>(EISDIR));
    EXPECT_EQ(directory.function, "CFileReader::execute");
    // A name of separators only names the directory itself.
    EXPECT_THROW(reader.execute(dir, "/"), CException);
    EXPECT_TRUE(reader.commands.empty());
}
