#include "standard/file_reader.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "standard/exception.h"
#include "testing/failure.h"
#include "testing/temp_folder.h"

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
    void write(const std::string& name, const std::string& content) {
        std::ofstream(dir + "/" + name, std::ios::binary) << content;
    }
    nbx::testing::TempFolder folder;
    const std::string dir = folder.path();
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
        {"comments are skipped, not ended on; blanks-only lines end a record",
         "# heading\na=1\n  \t# indented\nb=2\n \t \nc=3\n",
         {{"a=1\nb=2\n", 5}, {"c=3\n", 6}}},
        {"carriage returns, trailing blanks, runs of empty lines, no final line feed",
         "a=1\r\nb=2 \t\r\n\r\n\n\nc=3",
         {{"a=1\nb=2\n", 3}, {"c=3\n", 6}}},
        {"leading blanks go, inner ones and a hash inside a line stay",
         "  \tkey = a #b\t\n",
         {{"key = a #b\n", 1}}},
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
    EXPECT_EQ(CFileReader::joinPath("/var/spool//", "//a b.txt "), "/var/spool/a b.txt ");
    EXPECT_EQ(CFileReader::joinPath("/", "a.txt"), "/a.txt");
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

    // A directory is not taken for an empty file.
    std::filesystem::create_directory(dir + "/sub");
    auto directory = failure([&] { reader.execute(dir, "sub"); });
    EXPECT_EQ(directory.message, "Cannot read file '" + dir + "/sub'.");
    EXPECT_EQ(directory.code, static_cast<std::uint32_t>(EISDIR));
    // A name of separators only names the directory itself.
    EXPECT_THROW(reader.execute(dir, "/"), CException);
    EXPECT_TRUE(reader.commands.empty());
}
