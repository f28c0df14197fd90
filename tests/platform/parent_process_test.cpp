#include "platform/ParentProcess.h"
#include "platform/Process.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(ParentProcess, OpensOnlyTheRealParent)
{
    const pid_t parent = platform::ParentProcess::currentParentId();
    if (parent > 1) {
        auto opened = platform::ParentProcess::open(parent);
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->id(), parent);
        EXPECT_EQ(opened->executablePath(),
                  std::filesystem::read_symlink("/proc/" + std::to_string(parent) + "/exe").string());
    }
    EXPECT_FALSE(platform::ParentProcess::open(1)) << "init is never waited on";
    EXPECT_FALSE(platform::ParentProcess::open(0));
    EXPECT_FALSE(platform::ParentProcess::open(::getpid()));

    auto child = platform::Process::start("/bin/sleep", {"30"});
    ASSERT_TRUE(child);
    EXPECT_FALSE(platform::ParentProcess::open(child->id())) << "a live process that is not our parent";
    ::kill(child->id(), SIGKILL);
    (void)child->wait();
}

} // namespace
