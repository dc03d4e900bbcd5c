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

using nbx::CException;
using nbx::CFileReader;

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
    Commands read(const std::string& content) {
        write("commands.txt", content);
        RecordingReader reader;
        reader.execute(dir, "commands.txt");
        return reader.commands;
    }
    std::string dir;
};

}  // namespace

TEST_F(FileReaderTest, SplitsCommandsAndCountsLines) {
    struct Case {
        const char* name;
        std::string content;
        Commands expected;
    };
    const std::vector<Case> cases = {
        {"two records", "a=1\nb=2\n\nc=3\n", {{"a=1\nb=2\n", 3}, {"c=3\n", 4}}},
        {"comments are skipped, not ended on",
         "# heading\na=1\n  \t# indented comment\nb=2\n\n",
         {{"a=1\nb=2\n", 5}}},
        {"a blank-only line ends a record", "a=1\n \t \nb=2\n", {{"a=1\n", 2}, {"b=2\n", 3}}},
        {"carriage returns and trailing blanks",
         "a=1\r\nb=2 \t\r\n\r\nc=3\r\n",
         {{"a=1\nb=2\n", 3}, {"c=3\n", 4}}},
        {"last record without final empty line or line feed",
         "a=1\n\nb=2",
         {{"a=1\n", 2}, {"b=2\n", 3}}},
        {"runs of empty lines", "\n\na=1\n\n\n\nb=2\n", {{"a=1\n", 4}, {"b=2\n", 7}}},
        {"leading blanks and tabs go, inner ones stay", "  \tkey = a b\t\n", {{"key = a b\n", 1}}},
        {"a hash inside a line is text", "a=#1\n", {{"a=#1\n", 1}}},
        {"empty file", "", {}},
        {"only comments and blanks", "# one\n\n   \n# two\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read(c.content), c.expected);
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
        {"/var/spool/", "a.txt", "/var/spool/a.txt"},
        {"/var/spool \\/ ", "a.txt", "/var/spool/a.txt"},
        {"/var/spool", "/ \\a.txt", "/var/spool/a.txt"},
        {"/var/spool//", "//a b.txt ", "/var/spool/a b.txt "},  // only leading ones of the name
        {"/", "a.txt", "/a.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory + " + " + c.name);
        EXPECT_EQ(CFileReader::joinPath(c.directory, c.name), c.expected);
    }

    write("locale.txt", "x=1\n");
    RecordingReader reader;
    reader.execute(dir + "/ \\", "\\ /locale.txt");
    EXPECT_EQ(reader.path(), dir + "/locale.txt");
    EXPECT_EQ(reader.commands, (Commands{{"x=1\n", 1}}));
}

TEST_F(FileReaderTest, MissingFileThrowsWithTheSystemError) {
    RecordingReader reader;
    try {
        reader.execute(dir + "/", "missing.txt");
        FAIL() << "no throw";
    } catch (CException& e) {
        EXPECT_EQ(e.message().text(), "Cannot open file '" + dir + "/missing.txt'.");
        EXPECT_EQ(e.errorCode(), static_cast<std::uint32_t>(ENOENT));
        EXPECT_EQ(e.reasonText(), "No such file or directory");
        EXPECT_EQ(e.function(), "CFileReader::execute");
        EXPECT_EQ(e.module(), "standard");
    }
    EXPECT_TRUE(reader.commands.empty());
}

TEST_F(FileReaderTest, UnreadableFileIsNotTakenForAnEmptyOne) {
    std::filesystem::create_directory(dir + "/sub");
    RecordingReader reader;
    try {
        reader.execute(dir, "sub");
        FAIL() << "a directory read as an empty file";
    } catch (CException& e) {
        EXPECT_EQ(e.message().text(), "Cannot read file '" + dir + "/sub'.");
        EXPECT_EQ(e.errorCode(), static_cast<std::uint32_t>(EISDIR));
        EXPECT_EQ(e.function(), "CFileReader::execute");
    }
    // A name of separators only names the directory itself.
    EXPECT_THROW(reader.execute(dir, "/"), CException);
    EXPECT_TRUE(reader.commands.empty());
}
