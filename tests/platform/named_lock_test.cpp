#include "platform/NamedLock.h"
#include "platform/Process.h"

#include "TempDir.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using State = platform::NamedLock::State;

class NamedLockTest : public testsupport::TempDirTest {
protected:
    NamedLockTest() { ::setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1); }
};

TEST_F(NamedLockTest, OneHolderAtATime)
{
    auto first = std::make_unique<platform::NamedLock>("C58429A0-7E77-45DA-9C7D-E8F6F8F4489C");
    EXPECT_EQ(first->state(), State::Acquired);
    EXPECT_TRUE(std::filesystem::exists(m_dir.path() / "C58429A0-7E77-45DA-9C7D-E8F6F8F4489C.lock"));
    platform::NamedLock second("C58429A0-7E77-45DA-9C7D-E8F6F8F4489C");
    EXPECT_EQ(second.state(), State::HeldElsewhere);
    platform::NamedLock other("another name");
    EXPECT_EQ(other.state(), State::Acquired);
    first.reset();
    EXPECT_EQ(platform::NamedLock("C58429A0-7E77-45DA-9C7D-E8F6F8F4489C").state(), State::Acquired);
}

TEST_F(NamedLockTest, ProgramsStartedByTheHolderDoNotInheritIt)
{
    auto lock = std::make_unique<platform::NamedLock>("inherit");
    ASSERT_EQ(lock->state(), State::Acquired);
    auto child = platform::Process::start("/bin/sleep", {"30"});
    ASSERT_TRUE(child);
    lock.reset();
    EXPECT_EQ(platform::NamedLock("inherit").state(), State::Acquired) << "the child kept the lock";
    ::kill(child->id(), SIGKILL);
    (void)child->wait();
}

TEST_F(NamedLockTest, FileLocation)
{
    EXPECT_EQ(platform::NamedLock::filePath("n"), m_dir.path().string() + "/n.lock");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::NamedLock::filePath("n"), "/tmp/n-" + std::to_string(::getuid()) + ".lock");
    ::setenv("XDG_RUNTIME_DIR", (m_dir.path() / "missing").c_str(), 1);
    EXPECT_EQ(platform::NamedLock("n").state(), State::Unavailable);
}

} // namespace
