#include "standard/stat.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "standard/exception.h"
#include "testing/eventually.h"
#include "testing/failure.h"
#include "testing/temp_folder.h"

using nbx::CDirEnt;
using nbx::CStat;

namespace {

class StatTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    void writeFile(const std::string& name, const std::string& content) const {
        std::ofstream(path(name)) << content;
    }
    std::string readFile(const std::string& name) const {
        return nbx::testing::readFile(path(name));
    }
    // Sorted "name" or "name/" (directory) of what findFiles returned.
    std::vector<std::string> find(const std::string& pattern, bool filesOnly = true) const {
        std::list<CDirEnt> entries;
        CStat::findFiles(m_dir, pattern, entries, filesOnly);
        entries.sort();
        std::vector<std::string> out;
        for (const CDirEnt& entry : entries) {
            out.push_back(entry.fileName() + (entry.isDirectory() ? "/" : ""));
        }
        return out;
    }
    // What findFiles raises for `directory`; it adds nothing to the list.
    static nbx::testing::Failure findFailure(const std::string& directory) {
        std::list<CDirEnt> out;
        auto f = nbx::testing::failure([&] { CStat::findFiles(directory, "*", out); });
        EXPECT_TRUE(f.thrown) << directory;
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(f.function, "CStat::findFiles");
        EXPECT_EQ(f.module, "standard");
        return f;
    }

    nbx::testing::TempFolder m_folder;
    const std::string m_dir = m_folder.path();
};

TEST_F(StatTest, FindFilesMatchesThePatternAndFollowsLinks) {
    for (const char* name : {"0000001-x", "0000002-x", "x", "0000001-xy", "a-x.bak", ".5-x", "y-x"})
        writeFile(name, "data");
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
    CStat::findFiles(m_dir + "/", "?-x", out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out.front().fullPath(), "/kept");
    EXPECT_EQ(out.back().fullPath(), m_dir + "/y-x");
}

TEST_F(StatTest, FindFilesFailures) {
    auto missing = findFailure(path("missing"));
    EXPECT_EQ(missing.text(), "Cannot stat '" + path("missing") + "'. | No such file or directory");
    EXPECT_EQ(missing.code, static_cast<std::uint32_t>(ENOENT));

    writeFile("plain", "data");
    EXPECT_EQ(findFailure(path("plain")).text(),
              "Cannot enumerate files in directory '" + path("plain") + "'. | Not a directory.");

    if (::geteuid() == 0) return;  // permissions do not bind root
    ASSERT_EQ(::mkdir(path("closed").c_str(), 0), 0);
    auto closed = findFailure(path("closed"));
    ::chmod(path("closed").c_str(), 0700);
    EXPECT_EQ(closed.text(),
              "Cannot enumerate files in directory '" + path("closed") + "'. | Permission denied");
}

TEST_F(StatTest, MovesNeverReplaceUnlessAskedTo) {
    using Move = int (*)(const std::string&, const std::string&);
    const std::pair<const char*, Move> moves[] = {{"renameNoReplace", &CStat::renameNoReplace},
                                                  {"renameByLink", &CStat::renameByLink}};
    for (const auto& [label, move] : moves) {
        SCOPED_TRACE(label);
        writeFile("from", "new");
        writeFile("taken", "old");
        EXPECT_EQ(move(path("from"), path("taken")), EEXIST);
        EXPECT_EQ(readFile("taken"), "old");
        EXPECT_EQ(readFile("from"), "new");

        EXPECT_EQ(move(path("from"), path("free")), 0);
        EXPECT_FALSE(CStat::exists(path("from")));
        EXPECT_EQ(readFile("free"), "new");

        EXPECT_EQ(move(path("from"), path("other")), ENOENT);
        std::filesystem::remove(path("free"));
    }
    writeFile("from", "new");
    EXPECT_EQ(CStat::rename(path("from"), path("taken")), 0);
    EXPECT_EQ(readFile("taken"), "new");
    EXPECT_FALSE(CStat::exists(path("from")));
}

TEST_F(StatTest, SmallHelpersReportTheSystemError) {
    writeFile("five", "12345");
    std::uint64_t bytes = 0;
    EXPECT_EQ(CStat::size(path("five"), bytes), 0);
    EXPECT_EQ(bytes, 5u);
    EXPECT_EQ(CStat::size(path("missing"), bytes), ENOENT);

    EXPECT_FALSE(CStat::isDirectory(path("five")));
    ASSERT_EQ(::symlink(path("missing").c_str(), path("dangling").c_str()), 0);
    EXPECT_TRUE(CStat::exists(path("dangling")));  // the name is taken
    EXPECT_FALSE(CStat::exists(path("missing")));

    EXPECT_EQ(CStat::remove(path("five")), 0);
    EXPECT_FALSE(CStat::exists(path("five")));
    EXPECT_EQ(CStat::remove(path("five")), ENOENT);

    EXPECT_EQ(CStat::join("d/", "n"), "d/n");
}

}  // namespace
