#include "client/settings/Settings.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

class SettingsFile : public testsupport::TempDirTest {
protected:
    void SetUp() override { std::filesystem::create_directories(m_dir.path() / "data"); }
    Settings settings() const { return Settings(Settings::PathIn(m_dir.folder())); }
};

TEST_F(SettingsFile, PathIsDataConfigIniInProgramFolder)
{
    EXPECT_EQ(Settings::PathIn("/opt/kavrel/"), "/opt/kavrel/data/config.ini");
}

TEST_F(SettingsFile, MissingFileGivesEveryDefault)
{
    const Settings s = settings();
    EXPECT_EQ(s.user(), "");
    EXPECT_EQ(s.password(), "");
    EXPECT_EQ(s.background(), "_blue");
    EXPECT_EQ(s.autologin(), 0);
    EXPECT_EQ(s.firstlogin(), 0);
    EXPECT_EQ(s.hasupdate(), 0);
}

TEST_F(SettingsFile, WrittenValuesReadBackFromSectionInfo)
{
    const Settings s = settings();
    s.setUser("\xd5\xc5\xc8\xfd"); // 张三 in GBK
    s.setPassword("pa'ss");
    s.setAutologin(3);
    s.setFirstlogin(1);
    s.setBackground("_Orange");
    s.setHasupdate(1);
    EXPECT_EQ(s.user(), "\xd5\xc5\xc8\xfd");
    EXPECT_EQ(s.password(), "pa'ss");
    EXPECT_EQ(s.autologin(), 3);
    EXPECT_EQ(s.firstlogin(), 1);
    EXPECT_EQ(s.background(), "_Orange");
    EXPECT_EQ(s.hasupdate(), 1);
    EXPECT_EQ(m_dir.read("data/config.ini"),
              "[info]\r\nuser=\xd5\xc5\xc8\xfd\r\npassword=pa'ss\r\nautologin=3\r\nfirstlogin=1\r\n"
              "background=_Orange\r\nhasupdate=1\r\n");
}

TEST_F(SettingsFile, BlueSchemeIsStoredAsEmptyTextNotDefault)
{
    const Settings s = settings();
    s.setBackground("");
    EXPECT_EQ(s.background(), "");
}

TEST_F(SettingsFile, StoredTextLongerThan39BytesIsCut)
{
    m_dir.write("data/config.ini", "[info]\r\nuser=" + std::string(50, 'u') + "\r\n");
    EXPECT_EQ(settings().user(), std::string(39, 'u'));
}

TEST_F(SettingsFile, NothingIsCachedBetweenReads)
{
    const Settings s = settings();
    s.setAutologin(2);
    m_dir.write("data/config.ini", "[info]\r\nautologin=1\r\n");
    EXPECT_EQ(s.autologin(), 1);
}

TEST(SettingsWithoutFolder, WritesFailQuietlyAndFolderIsNeverCreated)
{
    testsupport::TempDir dir;
    const Settings s(Settings::PathIn(dir.folder()));
    s.setFirstlogin(1);
    EXPECT_EQ(s.firstlogin(), 0); // every start then counts as the first
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data"));
}

} // namespace
