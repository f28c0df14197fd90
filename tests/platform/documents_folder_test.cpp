#include "platform/DocumentsFolder.h"

#include "TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

class DocumentsFolderTest : public testsupport::TempDirTest {
protected:
    DocumentsFolderTest()
    {
        m_home = (m_dir.path() / "home").string();
        ::setenv("HOME", m_home.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    ~DocumentsFolderTest() override
    {
        if (m_savedHome)
            ::setenv("HOME", m_savedHome->c_str(), 1);
    }

    std::string m_home;
    std::optional<std::string> m_savedHome =
        std::getenv("HOME") ? std::optional<std::string>(std::getenv("HOME")) : std::nullopt;
};

TEST_F(DocumentsFolderTest, UserDirsEntries)
{
    struct Case {
        const char* name;
        std::string file; // content of ~/.config/user-dirs.dirs; empty: no file
        std::string expected;
    } cases[] = {
        {"no file", "", m_home},
        {"home relative", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", m_home + "/Documents"},
        {"translated name", "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                            "XDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\xE6\xA1\xA3\"\n",
         m_home + "/\xE6\x96\x87\xE6\xA1\xA3"},
        {"absolute", "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n", "/srv/docs"},
        {"home itself", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n", m_home},
        {"commented out", "#XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", m_home},
        {"last one counts", "XDG_DOCUMENTS_DIR=\"$HOME/A\"\r\nXDG_DOCUMENTS_DIR=\"$HOME/B\"\r\n", m_home + "/B"},
        {"relative value ignored", "XDG_DOCUMENTS_DIR=\"Documents\"\n", m_home},
        {"other key only", "XDG_DOCUMENTS_DIRS=\"$HOME/x\"\n", m_home},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(m_dir.path() / "home");
        std::filesystem::create_directories(m_dir.path() / "home");
        if (!c.file.empty())
            m_dir.write("home/.config/user-dirs.dirs", c.file);
        EXPECT_EQ(platform::DocumentsFolder(), c.expected) << c.name;
    }
}

TEST_F(DocumentsFolderTest, ConfigHomeFromTheEnvironment)
{
    m_dir.write("home/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Wrong\"\n");
    m_dir.write("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Right\"\n");
    ::setenv("XDG_CONFIG_HOME", (m_dir.path() / "config").c_str(), 1);
    EXPECT_EQ(platform::DocumentsFolder(), m_home + "/Right");
    ::unsetenv("XDG_CONFIG_HOME");
}

// The download folder comes from its own entry of the same file; neither entry stands in
// for the other.
TEST_F(DocumentsFolderTest, DownloadFolderReadsItsOwnEntry)
{
    struct Case {
        const char* name;
        std::string file;
        std::string documents;
        std::string downloads;
    };
    const Case cases[] = {
        {"both", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\nXDG_DOWNLOAD_DIR=\"$HOME/\xE4\xB8\x8B\xE8\xBD\xBD\"\n", m_home + "/Docs",
         m_home + "/\xE4\xB8\x8B\xE8\xBD\xBD"},
        {"downloads only", "XDG_DOWNLOAD_DIR=\"/srv/dl/\"\n", m_home, "/srv/dl"},
        {"documents only", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", m_home + "/Docs", m_home},
        {"no file", "", m_home, m_home},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(m_dir.path() / "home");
        std::filesystem::create_directories(m_dir.path() / "home");
        if (!c.file.empty())
            m_dir.write("home/.config/user-dirs.dirs", c.file);
        EXPECT_EQ(c.documents, platform::DocumentsFolder()) << c.name;
        EXPECT_EQ(c.downloads, platform::DownloadFolder()) << c.name;
    }
}

} // namespace
