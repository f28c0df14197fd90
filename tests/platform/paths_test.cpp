#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(Paths, ExecutablePathIsThisTestProgram)
{
    const std::filesystem::path exe = platform::ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_EQ(exe.filename(), "paths_test");
    EXPECT_TRUE(std::filesystem::exists(exe));
}

TEST(Paths, ProgramFolderIsTheExecutablesFolderWithTrailingSlash)
{
    const std::string folder = platform::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder, platform::ExecutablePath().parent_path().string() + "/");
}

} // namespace
