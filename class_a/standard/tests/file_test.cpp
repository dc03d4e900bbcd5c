#include "standard/file_reader.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "standard/message_store.h"
#include "standard/stat.h"
#include "testing/eventually.h"
#include "testing/failure.h"
#include "testing/temp_folder.h"

using nbx::CDirEnt;
using nbx::CException;
using nbx::CFileReader;
using nbx::CMessage;
using nbx::CStat;
using nbx::msg;
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

// A fresh folder to read, list and move files in.
class FileTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir + "/" + name; }
    void write(const std::string& name, const std::string& content) const {
        std::ofstream(path(name), std::ios::binary) << content;
    }
    std::string read(const std::string& name) const { return nbx::testing::readFile(path(name)); }
    // Sorted "name" or "name/" (directory) of what findFiles returned.
    std::vector<std::string> find(const std::string& pattern, bool filesOnly = true) const {
        std::list<CDirEnt> entries;
        CStat::findFiles(dir, pattern, entries, filesOnly);
        entries.sort();
        std::vector<std::string> out;
        for (const CDirEnt& entry : entries) {
            out.push_back(entry.fileName() + (entry.isDirectory() ? "/" : ""));
        }
        return out;
    }

    nbx::testing::TempFolder folder;
    const std::string dir = folder.path();
};

}  // namespace

TEST_F(FileTest, SplitsCommandsAndCountsLines) {
    const struct {
        const char* name;
        std::string content;
        Commands expected;
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write("commands.txt", c.content);
        RecordingReader reader;
        reader.execute(dir, "commands.txt");
        EXPECT_EQ(reader.commands, c.expected);
    }
}

TEST_F(FileTest, JoinsDirectoryAndNameAndReportsTheSystemError) {
    EXPECT_EQ(CFileReader::joinPath("/var/spool//", "//a b.txt "), "/var/spool/a b.txt ");
    EXPECT_EQ(CFileReader::joinPath("/", "a.txt"), "/a.txt");
    RecordingReader reader;
    write("locale.txt", "x=1\n");
    reader.execute(dir + "/ \\", "\\ /locale.txt");
    EXPECT_EQ(reader.path(), dir + "/locale.txt");
    EXPECT_EQ(reader.commands, (Commands{{"x=1\n", 1}}));

    auto missing = failure([&] { reader.execute(dir + "/", "missing.txt"); });
    EXPECT_EQ(missing.text(),
              "Cannot open file '" + dir + "/missing.txt'. | No such file or directory");
    EXPECT_EQ(missing.code, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(missing.function, "CFileReader::execute");
    // A directory is not taken for an empty file, nor is a name of separators only.
    std::filesystem::create_directory(dir + "/sub");
    auto directory = failure([&] { reader.execute(dir, "sub"); });
    EXPECT_EQ(directory.message, "Cannot read file '" + dir + "/sub'.");
    EXPECT_EQ(directory.code, static_cast<std::uint32_t>(EISDIR));
    EXPECT_THROW(reader.execute(dir, "/"), CException);
    EXPECT_EQ(reader.commands.size(), 1u);
}

TEST_F(FileTest, MessageStoreTranslatesForTheLocale) {
    nbx::CMessageStore store;
    write("messages.txt",
          "# message locale file\n"
          "id=5\n"
          "en_US=Cannot open file '%1'.\n"
          "de_DE=Die Datei '%1' kann nicht geöffnet werden.\n"
          "\n"
          "id = 7\n"
          "  en_US = Access denied.\n"
          "de_DE=Zugriff verweigert.\r\n"
          "fr_FR=\n"
          "\n"
          "en_US=Invalid value '%1=%2'.\n"
          "de_DE=Ungültiger Wert '%1=%2'.");  // last record without final empty line
    store.execute(dir, "messages.txt");
    EXPECT_EQ(store.size(), 3u);
    CMessage numbered("Not in the file.");
    numbered.setNumber(12);
    const struct {
        const char* locale;
        CMessage message;
        std::string text;
        std::int32_t number;
    } cases[] = {
        {"de_DE", msg("Cannot open file '%1'.", "a.txt"),
         "Die Datei 'a.txt' kann nicht geöffnet werden.", 5},
        {"fr_FR", msg("Cannot open file '%1'.", "a.txt"), "Cannot open file 'a.txt'.", 5},
        {"de_DE", msg("Access denied."), "Zugriff verweigert.", 7},  // key and value trimmed
        {"fr_FR", msg("Access denied."), "Access denied.", 7},       // empty translation
        {"de_DE", msg("Invalid value '%1=%2'.", "a", 1), "Ungültiger Wert 'a=1'.", -1},
        {"de_DE", numbered, "Not in the file.", -1},  // an unknown message loses its number
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + ": " + c.message.format());
        store.setLocale(c.locale);
        CMessage message(c.message);
        store.translate(message);
        EXPECT_EQ(message.text(), c.text);
        EXPECT_EQ(message.number(), c.number);
    }
}

TEST_F(FileTest, MessageStoreRefusesARecordWithoutEnglishText) {
    // An empty English text counts as none; it would otherwise stand for every message.
    for (const char* last : {"de_DE=Zweite.", "en_US="}) {
        SCOPED_TRACE(last);
        nbx::CMessageStore store;
        write("bad.txt", std::string("id=1\nen_US=First.\n\n# comment\nid=2\n") + last + "\n\n");
        auto f = failure([&] { store.execute(dir, "bad.txt"); });
        EXPECT_EQ(f.text(),
                  "Invalid record at line 7 in message locale file. | Missing key 'en_US'.");
        EXPECT_EQ(f.function, "CMessageStore::_processRecord");
        EXPECT_EQ(store.size(), 1u);  // the records before it stay
    }
}

TEST_F(FileTest, FindFilesMatchesThePatternAndFollowsLinks) {
    for (const char* name : {"0000001-x", "0000002-x", "x", "0000001-xy", "a-x.bak", ".5-x", "y-x"})
        write(name, "data");
    ASSERT_EQ(::mkdir(path("0000003-x").c_str(), 0700), 0);
    // Links to a file, to a directory and to nothing.
    ASSERT_EQ(::symlink(path("x").c_str(), path("1-link").c_str()), 0);
    ASSERT_EQ(::symlink(path("0000003-x").c_str(), path("2-link").c_str()), 0);
    ASSERT_EQ(::symlink(path("missing").c_str(), path("3-link").c_str()), 0);

    using Names = std::vector<std::string>;
    EXPECT_EQ(find("*-x"), (Names{".5-x", "0000001-x", "0000002-x", "y-x"}));
    EXPECT_EQ(find("*-x", false), (Names{".5-x", "0000001-x", "0000002-x", "0000003-x/", "y-x"}));
    EXPECT_EQ(find("?-x"), (Names{"y-x"}));
    EXPECT_EQ(find("*-link"), (Names{"1-link"}));
    EXPECT_EQ(find("*-link", false), (Names{"1-link", "2-link/", "3-link"}));

    std::list<CDirEnt> out{CDirEnt("/kept", "kept", false)};  // appended to, with full paths
    CStat::findFiles(dir + "/", "?-x", out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out.front().fullPath(), "/kept");
    EXPECT_EQ(out.back().fullPath(), dir + "/y-x");
}

TEST_F(FileTest, FindFilesFailures) {
    write("plain", "data");
    ASSERT_EQ(::mkdir(path("closed").c_str(), 0), 0);
    const std::pair<std::string, std::string> cases[] = {
        {"missing", "Cannot stat '" + path("missing") + "'. | No such file or directory"},
        {"plain",
         "Cannot enumerate files in directory '" + path("plain") + "'. | Not a directory."},
        {"closed",
         "Cannot enumerate files in directory '" + path("closed") + "'. | Permission denied"},
    };
    for (const auto& [name, text] : cases) {
        if (name == "closed" && ::geteuid() == 0) continue;  // permissions do not bind root
        std::list<CDirEnt> out;
        auto f = failure([&] { CStat::findFiles(path(name), "*", out); });
        EXPECT_EQ(f.text() + " @ " + f.function, text + " @ CStat::findFiles");
        EXPECT_TRUE(out.empty());
    }
    ::chmod(path("closed").c_str(), 0700);
}

TEST_F(FileTest, MovesNeverReplaceUnlessAskedTo) {
    for (auto move : {&CStat::renameNoReplace, &CStat::renameByLink}) {
        write("from", "new");
        write("taken", "old");
        EXPECT_EQ(move(path("from"), path("taken")), EEXIST);
        EXPECT_EQ(read("taken"), "old");
        EXPECT_EQ(read("from"), "new");
        EXPECT_EQ(move(path("from"), path("free")), 0);
        EXPECT_FALSE(CStat::exists(path("from")));
        EXPECT_EQ(read("free"), "new");
        EXPECT_EQ(move(path("from"), path("other")), ENOENT);
        std::filesystem::remove(path("free"));
    }
    write("from", "new");
    EXPECT_EQ(CStat::rename(path("from"), path("taken")), 0);
    EXPECT_EQ(read("taken"), "new");
    EXPECT_FALSE(CStat::exists(path("from")));
}

TEST_F(FileTest, SmallHelpersReportTheSystemError) {
    write("five", "12345");
    std::uint64_t bytes = 0;
    EXPECT_EQ(CStat::size(path("five"), bytes), 0);
    EXPECT_EQ(bytes, 5u);
    EXPECT_EQ(CStat::size(path("missing"), bytes), ENOENT);
    ASSERT_EQ(::symlink(path("missing").c_str(), path("dangling").c_str()), 0);
    EXPECT_TRUE(CStat::exists(path("dangling")));  // the name is taken
    EXPECT_FALSE(CStat::exists(path("missing")));

    // Directories with their missing parents; one that is there already is fine.
    EXPECT_EQ(CStat::makeDirectory(path("a/b/c")), ENOENT);
    EXPECT_EQ(CStat::makeDirectory(path("a/b/c"), true), 0);
    EXPECT_EQ(CStat::makeDirectory(path("a/b")), 0);
    EXPECT_TRUE(CStat::isDirectory(path("a/b/c")));
    EXPECT_FALSE(CStat::isDirectory(path("five")));
    EXPECT_EQ(CStat::makeDirectory(path("five")), ENOTDIR);

    EXPECT_EQ(CStat::remove(path("five")), 0);
    EXPECT_FALSE(CStat::exists(path("five")));
    EXPECT_EQ(CStat::remove(path("five")), ENOENT);
    EXPECT_EQ(CStat::join("d/", "n"), "d/n");
}
