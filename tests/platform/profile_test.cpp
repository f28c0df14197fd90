#include "platform/Profile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using testsupport::TempDir;

class Profile : public testsupport::TempDirTest {
protected:
    std::string path() const { return (m_dir.path() / "config.ini").string(); }
    std::string read(const char* section, const char* key, const char* def = "dflt", DWORD size = 40)
    {
        std::vector<char> buffer(size + 1, '#');
        const DWORD n = GetPrivateProfileStringA(section, key, def, buffer.data(), size, path().c_str());
        return std::string(buffer.data(), n);
    }
};

struct ReadCase {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    std::string expected;
};

class ProfileRead : public Profile, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ProfileRead, GivesExpectedValue)
{
    m_dir.write("config.ini", GetParam().file);
    EXPECT_EQ(read(GetParam().section, GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Profile, ProfileRead,
    ::testing::Values(
        ReadCase{"plain", "[info]\r\nuser=alice\r\n", "info", "user", "alice"},
        ReadCase{"section_and_key_without_case", "[INFO]\r\nUser=alice\r\n", "info", "uSER", "alice"},
        ReadCase{"lf_line_ends", "[info]\nuser=alice\nautologin=2\n", "info", "autologin", "2"},
        ReadCase{"cr_only_line_ends", "[info]\ruser=alice\rpassword=pw\r", "info", "password", "pw"},
        ReadCase{"no_final_line_end", "[info]\r\nuser=alice", "info", "user", "alice"},
        ReadCase{"blanks_trimmed", "  [ info ]  \r\n  user  =  alice smith  \r\n", "info", "user", "alice smith"},
        ReadCase{"quotes_removed", "[info]\r\nuser=\"  alice \"\r\n", "info", "user", "  alice "},
        ReadCase{"single_quotes_removed", "[info]\r\nuser='bob'\r\n", "info", "user", "bob"},
        ReadCase{"unmatched_quote_kept", "[info]\r\nuser=\"bob\r\n", "info", "user", "\"bob"},
        ReadCase{"value_with_equals", "[info]\r\nuser=a=b\r\n", "info", "user", "a=b"},
        ReadCase{"empty_value_is_present", "[info]\r\nuser=\r\n", "info", "user", ""},
        ReadCase{"key_in_other_section_not_found", "[other]\r\nuser=x\r\n[info]\r\n", "info", "user", "dflt"},
        ReadCase{"first_duplicate_wins", "[info]\r\nuser=one\r\nuser=two\r\n", "info", "user", "one"},
        ReadCase{"comment_is_not_a_key", "[info]\r\n;user=commented\r\n", "info", "user", "dflt"},
        ReadCase{"garbage_lines_skipped", "[info]\r\n@@@ garbage\r\n=novalue\r\nuser=ok\r\n", "info", "user", "ok"},
        ReadCase{"keys_before_any_section_ignored", "user=loose\r\n[info]\r\n", "info", "user", "dflt"},
        ReadCase{"header_without_bracket", "[info\r\nuser=x\r\n", "info", "user", "x"},
        ReadCase{"gbk_value", "[info]\r\nuser=\xd5\xc5\xc8\xfd\r\n", "info", "user", "\xd5\xc5\xc8\xfd"},
        ReadCase{"bom_before_first_section", "\xef\xbb\xbf[info]\r\nuser=bom\r\n", "info", "user", "bom"},
        ReadCase{"missing_section", "[other]\r\nk=v\r\n", "info", "user", "dflt"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Profile, MissingFileGivesDefault)
{
    EXPECT_EQ(read("info", "background", "_blue"), "_blue");
    EXPECT_EQ(read("info", "user", nullptr), "");
}

TEST_F(Profile, DefaultLosesTrailingBlanks)
{
    EXPECT_EQ(read("info", "user", "abc  "), "abc");
}

TEST_F(Profile, FortyByteBufferGivesAtMost39Bytes)
{
    const std::string stored(60, 'x');
    m_dir.write("config.ini", "[info]\r\nuser=" + stored + "\r\n");
    char buffer[40];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetPrivateProfileStringA("info", "user", "", buffer, sizeof buffer, path().c_str()), 39u);
    EXPECT_EQ(std::string(buffer), std::string(39, 'x'));
    EXPECT_EQ(read("info", "user", "", 40), std::string(39, 'x'));
    EXPECT_EQ(read("info", "user", "", 1), "");
    EXPECT_EQ(GetPrivateProfileStringA("info", "user", "", buffer, 0, path().c_str()), 0u);
    EXPECT_EQ(buffer[0], 'x'); // size 0 writes nothing
}

TEST_F(Profile, OverlongDefaultIsCutToo)
{
    EXPECT_EQ(read("info", "user", "0123456789", 5), "0123");
}

struct IntCase {
    const char* name;
    const char* stored; // nullptr: key missing
    int expected;
};

class ProfileInt : public Profile, public ::testing::WithParamInterface<IntCase> {};

TEST_P(ProfileInt, ReadsLeadingDigits)
{
    if (GetParam().stored != nullptr)
        m_dir.write("config.ini", std::string("[info]\r\nautologin=") + GetParam().stored + "\r\n");
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("info", "autologin", 7, path().c_str())), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Profile, ProfileInt,
                         ::testing::Values(IntCase{"missing", nullptr, 7}, IntCase{"empty", "", 7},
                                           IntCase{"plain", "3", 3}, IntCase{"leading_digits", "12abc", 12},
                                           IntCase{"no_digits", "abc", 0}, IntCase{"negative", "-4", -4},
                                           IntCase{"plus", "+5", 5}, IntCase{"quoted", "\"9\"", 9},
                                           IntCase{"decimal_point", "2.9", 2}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(Profile, WriteCreatesMissingFileWithCrLf)
{
    ASSERT_TRUE(WritePrivateProfileStringA("info", "user", "alice", path().c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("info", "autologin", "2", path().c_str()));
    EXPECT_EQ(m_dir.read("config.ini"), "[info]\r\nuser=alice\r\nautologin=2\r\n");
}

TEST_F(Profile, WriteNeverCreatesMissingFolder)
{
    const std::string inMissing = (m_dir.path() / "data" / "config.ini").string();
    EXPECT_FALSE(WritePrivateProfileStringA("info", "user", "alice", inMissing.c_str()));
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "data"));
}

TEST_F(Profile, WriteKeepsOtherSectionsKeysAndComments)
{
    m_dir.write("config.ini",
                "; settings\n[other]\nk=v\n\n[Info]\nUSER=old\n# note\npassword=pw\n\n[last]\nz=1\n");
    ASSERT_TRUE(WritePrivateProfileStringA("info", "user", "new", path().c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("info", "hasupdate", "1", path().c_str()));
    EXPECT_EQ(m_dir.read("config.ini"),
              "; settings\r\n[other]\r\nk=v\r\n\r\n[Info]\r\nUSER=new\r\n# note\r\npassword=pw\r\nhasupdate=1\r\n"
              "\r\n[last]\r\nz=1\r\n");
}

TEST_F(Profile, WriteWithCrOnlyLineEndsKeepsEveryKey)
{
    m_dir.write("config.ini", "[info]\ruser=a\rpassword=b\r");
    ASSERT_TRUE(WritePrivateProfileStringA("info", "autologin", "1", path().c_str()));
    EXPECT_EQ(m_dir.read("config.ini"), "[info]\r\nuser=a\r\npassword=b\r\nautologin=1\r\n");
}

TEST_F(Profile, WriteIntoFileWithoutSectionsKeepsItsLines)
{
    m_dir.write("config.ini", "garbage without section\r\nuser=loose\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("info", "user", "x", path().c_str()));
    EXPECT_EQ(m_dir.read("config.ini"), "garbage without section\r\nuser=loose\r\n[info]\r\nuser=x\r\n");
    EXPECT_EQ(read("info", "user"), "x");
}

TEST_F(Profile, OverlongValueIsStoredWholeAndReadCut)
{
    const std::string value(300, 'v');
    ASSERT_TRUE(WritePrivateProfileStringA("info", "user", value.c_str(), path().c_str()));
    EXPECT_EQ(read("info", "user", "", 1000), value);
    EXPECT_EQ(read("info", "user", "", 40), value.substr(0, 39));
}

TEST_F(Profile, NullValueDeletesKeyAndNullKeyDeletesSection)
{
    m_dir.write("config.ini", "[info]\r\nuser=a\r\npassword=b\r\n[other]\r\nk=v\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("info", "user", nullptr, path().c_str()));
    EXPECT_EQ(m_dir.read("config.ini"), "[info]\r\npassword=b\r\n[other]\r\nk=v\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("INFO", nullptr, nullptr, path().c_str()));
    EXPECT_EQ(m_dir.read("config.ini"), "[other]\r\nk=v\r\n");
}

TEST_F(Profile, WriteRefusesTextsTheFileCannotHold)
{
    m_dir.write("config.ini", "[info]\r\nuser=a\r\n");
    EXPECT_FALSE(WritePrivateProfileStringA("info", "user", "two\r\nlines", path().c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("info", "a=b", "x", path().c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("in]fo", "k", "x", path().c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "x", path().c_str()));
    EXPECT_EQ(m_dir.read("config.ini"), "[info]\r\nuser=a\r\n");
}

TEST_F(Profile, WriteReplacesFileAtomicallyAndLeavesNoTemporaryFile)
{
    m_dir.write("config.ini", "[info]\r\nuser=a\r\n");
    struct stat before {};
    ASSERT_EQ(::stat(path().c_str(), &before), 0);
    ::chmod(path().c_str(), 0600);
    ASSERT_TRUE(WritePrivateProfileStringA("info", "user", "b", path().c_str()));
    struct stat after {};
    ASSERT_EQ(::stat(path().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino); // a new file took the old one's place
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(Profile, NewFileGetsTheUsualPermissions)
{
    const mode_t previous = ::umask(022);
    const bool written = WritePrivateProfileStringA("info", "user", "a", path().c_str());
    ::umask(previous);
    ASSERT_TRUE(written);
    struct stat created {};
    ASSERT_EQ(::stat(path().c_str(), &created), 0);
    EXPECT_EQ(created.st_mode & 0777, 0644u);
}

TEST_F(Profile, ConcurrentWritesOfDifferentKeysLoseNone)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < 20; ++i) {
                const std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
                WritePrivateProfileStringA("info", key.c_str(), "1", path().c_str());
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 20; ++i) {
            const std::string key = "k" + std::to_string(t) + "_" + std::to_string(i);
            EXPECT_EQ(GetPrivateProfileIntA("info", key.c_str(), 0, path().c_str()), 1u) << key;
        }
}

TEST_F(Profile, NullSectionListsSectionsAndNullKeyListsKeys)
{
    m_dir.write("config.ini", "[info]\r\nuser=a\r\npassword=b\r\n[other]\r\n");
    char buffer[64];
    DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, path().c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("info\0other\0\0", 12));
    n = GetPrivateProfileStringA("info", nullptr, "", buffer, sizeof buffer, path().c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("user\0password\0\0", 15));
    n = GetPrivateProfileStringA("info", nullptr, "", buffer, 8, path().c_str());
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(std::string(buffer, 6), std::string("user\0\0", 6));
}

} // namespace
