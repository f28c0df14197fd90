#include "platform/FileMove.h"

#include "TempDir.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using FileMoveTest = testsupport::TempDirTest;

TEST_F(FileMoveTest, ReplacesTheTarget)
{
    const auto source = m_dir.write("staged/new.bin", "new content");
    const auto target = m_dir.write("install/old.bin", "old content that was longer");
    int error = -1;
    EXPECT_TRUE(platform::MoveFileReplacing(source, target, &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(m_dir.read("install/old.bin"), "new content");
    EXPECT_FALSE(fs::exists(source));

    const auto fresh = m_dir.write("staged/fresh", "x");
    EXPECT_TRUE(platform::MoveFileReplacing(fresh, m_dir.path() / "install/fresh"));
    EXPECT_EQ(m_dir.read("install/fresh"), "x");
}

TEST_F(FileMoveTest, FailureLeavesBothFilesAlone)
{
    const auto target = m_dir.write("install/keep", "kept");
    int error = 0;
    EXPECT_FALSE(platform::MoveFileReplacing(m_dir.path() / "missing", target, &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(m_dir.read("install/keep"), "kept");

    const auto source = m_dir.write("staged/file", "staged");
    EXPECT_FALSE(platform::MoveFileReplacing(source, m_dir.path() / "no-such-folder/file", &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(m_dir.read("staged/file"), "staged");
}

// /dev/shm is a file system of its own on most machines: the copy path.
TEST_F(FileMoveTest, AcrossFileSystemsCopiesAndRemovesTheSource)
{
    testsupport::TempDir other;
    const fs::path shm = "/dev/shm";
    struct stat a {}, b {};
    if (::stat(shm.c_str(), &a) != 0 || ::stat(m_dir.path().c_str(), &b) != 0 || a.st_dev == b.st_dev ||
        ::access(shm.c_str(), W_OK) != 0)
        GTEST_SKIP() << "no second writable file system";
    const fs::path source = shm / ("kavrel-move-" + std::to_string(::getpid()));
    { std::ofstream(source, std::ios::binary) << std::string(200000, 'z'); }
    ::chmod(source.c_str(), 0751);
    const auto target = m_dir.write("install/big", "old");

    int error = -1;
    EXPECT_TRUE(platform::MoveFileReplacing(source, target, &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(m_dir.read("install/big"), std::string(200000, 'z'));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0751));
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), fs::directory_iterator{}), 1)
        << "a temporary file stayed beside the target";
    std::error_code ignored;
    fs::remove(source, ignored);
}

} // namespace
