#include "extended/version_stat.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "testing/failure.h"
#include "testing/temp_folder.h"

using nbx::CVersionStat;

namespace {

class VersionStatTest : public ::testing::Test {
protected:
    void touch(const std::string& name) const { std::ofstream(m_dir + "/" + name) << "data"; }

    nbx::testing::TempFolder m_folder;
    const std::string m_dir = m_folder.path();
};

TEST_F(VersionStatTest, NamesHaveTheWidthAndTheBaseName) {
    struct Case {
        std::uint32_t digits;
        std::uint32_t version;
        const char* expected;
    };
    const Case cases[] = {
        {7, 42, "0000042-t.log"},
        {7, 12345678, "12345678-t.log"},  // wider than the width: no truncation
        {7, CVersionStat::kNoVersion, "*-t.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        CVersionStat stat(m_dir, "t.log", c.digits);
        EXPECT_EQ(stat.name(c.version), c.expected);
        EXPECT_EQ(stat.path(c.version), m_dir + "/" + c.expected);
    }
}

TEST_F(VersionStatTest, ParsesOnlyTheExactForm) {
    CVersionStat stat(m_dir, "x");
    std::uint32_t version = 0;
    EXPECT_TRUE(stat.parse("0000001-x", version));
    EXPECT_EQ(version, 1u);
    EXPECT_TRUE(stat.parse("4294967294-x", version));
    EXPECT_EQ(version, 4294967294u);
    // 4294967295 is the "no version" number.
    for (const char* name :
         {"4294967295-x", "99999999999-x", "00000001-x", "000000a-x", "+000001-x"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(stat.parse(name, version));
        EXPECT_EQ(version, 4294967294u);  // untouched
    }
}

TEST_F(VersionStatTest, NextFollowsTheHighestVersionPresent) {
    CVersionStat stat(m_dir, "x");
    EXPECT_EQ(stat.next(), 0u);

    // The working file and names of other widths or bases are no versions.
    for (const char* name : {"x", "12-x", "0000001-xy", "00000009-x", "0000008-y"}) touch(name);
    EXPECT_EQ(stat.next(), 0u);
    EXPECT_TRUE(stat.versions().empty());

    for (const char* name : {"0000003-x", "0000000-x"}) touch(name);
    EXPECT_EQ(stat.versions(), (std::vector<std::uint32_t>{0, 3}));
    EXPECT_EQ(stat.next(), 4u);

    // A taken name counts whatever it is, so that it is never handed out again.
    ASSERT_EQ(::mkdir((m_dir + "/0000006-x").c_str(), 0700), 0);
    EXPECT_EQ(stat.next(), 7u);
    EXPECT_TRUE(stat.exists(6));
    EXPECT_FALSE(stat.exists(5));
}

TEST_F(VersionStatTest, BaseNamesAreTakenLiterallyAndDirectoryStates) {
    touch("0000002-a[1]?.log");
    touch("0000005-a1x.log");  // would match the base name read as a glob
    EXPECT_EQ(CVersionStat(m_dir, "a[1]?.log").next(), 3u);

    // Nothing can be present in a directory that does not exist yet.
    EXPECT_EQ(CVersionStat(m_dir + "/missing", "x").next(), 0u);

    touch("plain");
    const auto f = nbx::testing::failure([&] { CVersionStat(m_dir + "/plain", "x").next(); });
    EXPECT_EQ(f.text(),
              "Cannot enumerate files in directory '" + m_dir + "/plain'. | Not a directory.");
    EXPECT_EQ(f.function, "CStat::findFiles");
}

}  // namespace
