#include "updater/FileDigest.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

using FileDigestTest = testsupport::TempDirTest;

TEST_F(FileDigestTest, DigestsOfEmptySmallAndMultiBlockFiles)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::uint32_t size;
        const char* md5;
        const char* crc32;
    } cases[] = {
        {"empty", "", 0, "", "00000000"},
        {"small", "abc", 3, "900150983CD24FB0D6963F7D28E17F72", "352441C2"},
        {"large", std::string(1000000, 'a'), 1000000, "7707D6AE4E027C70EEA2A935C2296F21", "DC25BFBC"},
    };
    for (const Case& c : cases) {
        const auto path = m_dir.write(c.name, c.bytes);
        const updater::FileDigest digest = updater::digestFile(path);
        EXPECT_EQ(digest.size, c.size) << c.name;
        EXPECT_EQ(digest.md5, c.md5) << c.name;
        EXPECT_EQ(digest.crc32, c.crc32) << c.name;
        EXPECT_EQ(updater::fileMd5(path), c.md5) << c.name;
    }
}

TEST_F(FileDigestTest, UnreadableFileHasEmptyDigests)
{
    for (const std::filesystem::path& path : {m_dir.path() / "missing", m_dir.path()}) {
        const updater::FileDigest digest = updater::digestFile(path);
        EXPECT_EQ(digest.size, 0u);
        EXPECT_EQ(digest.md5, "");
        EXPECT_EQ(digest.crc32, "");
        EXPECT_EQ(updater::fileMd5(path), "");
    }
}

} // namespace
