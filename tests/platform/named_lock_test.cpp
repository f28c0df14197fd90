#include "platform/NamedLock.h"
#include "platform/Process.h"

#include "TempDir.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>
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
    const char* temporary = std::getenv("TMPDIR");
    const std::string kept = temporary ? temporary : "";
    ::unsetenv("TMPDIR");
    EXPECT_EQ(platform::NamedLock::filePath("n"), "/tmp/kavrel-" + std::to_string(::getuid()) + "/n.lock");
    if (!kept.empty())
        ::setenv("TMPDIR", kept.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (m_dir.path() / "missing").c_str(), 1);
    EXPECT_EQ(platform::NamedLock("n").state(), State::Unavailable);
}

// Without a runtime folder the lock lives in a per-user folder under TMPDIR, which any
// user can create names in.
class NamedLockFallbackTest : public testsupport::TempDirTest {
protected:
    NamedLockFallbackTest()
    {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::setenv("TMPDIR", m_dir.path().c_str(), 1);
    }
    ~NamedLockFallbackTest() override { ::unsetenv("TMPDIR"); }
    std::filesystem::path folder() const { return m_dir.path() / ("kavrel-" + std::to_string(::getuid())); }
};

TEST_F(NamedLockFallbackTest, PrivateFolderIsMadeAndAPlantedOneRefused)
{
    namespace fs = std::filesystem;
    EXPECT_EQ(platform::NamedLock::filePath("L"), folder().string() + "/L.lock");
    {
        platform::NamedLock lock("L");
        EXPECT_EQ(lock.state(), State::Acquired);
        EXPECT_EQ(fs::status(folder()).permissions(), fs::perms::owner_all);
        EXPECT_EQ(platform::NamedLock("L").state(), State::HeldElsewhere);
    }

    struct Case {
        const char* name;
        std::function<void()> plant;
    } cases[] = {
        {"open to everyone", [&] { fs::create_directory(folder()); fs::permissions(folder(), fs::perms::all); }},
        {"a link to a folder of ours",
         [&] {
             fs::create_directory(m_dir.path() / "elsewhere");
             fs::permissions(m_dir.path() / "elsewhere", fs::perms::owner_all);
             fs::create_directory_symlink(m_dir.path() / "elsewhere", folder());
         }},
        {"a plain file", [&] { m_dir.write(folder().filename().string(), ""); }},
    };
    for (const Case& c : cases) {
        fs::remove_all(folder());
        fs::remove_all(m_dir.path() / "elsewhere");
        c.plant();
        EXPECT_EQ(platform::NamedLock("L").state(), State::Unavailable) << c.name;
        EXPECT_FALSE(fs::exists(m_dir.path() / "elsewhere/L.lock")) << c.name;
    }
    if (::geteuid() == 0) {
        // Someone else's folder, mode 0700 and all: only root can make one here.
        fs::remove_all(folder());
        fs::create_directory(folder());
        fs::permissions(folder(), fs::perms::owner_all);
        ASSERT_EQ(::chown(folder().c_str(), 65534, 65534), 0);
        EXPECT_EQ(platform::NamedLock("L").state(), State::Unavailable) << "someone else's";
    }
}

} // namespace
