// The atomic file writer: a write that fails at any point, or is abandoned, leaves the old
// file byte for byte and no temporary file; the profile writer and the cross-device file
// move, which use it, keep that promise when the system itself refuses the bytes.
#include "platform/AtomicFile.h"
#include "platform/FileMove.h"
#include "platform/Profile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kOld = "[info]\r\nuser=old\r\n";
const std::string kNew = "[info]\r\nuser=new member with a longer name\r\n[net]\r\nhost=127.0.0.1\r\n";

// Lets `budget` bytes through, then fails as a full disk does; optionally the flush fails,
// and every other call is interrupted or cut short first, as signals and pipes do.
class FailingSink : public platform::FileSink {
public:
    std::size_t budget = SIZE_MAX;
    bool failSync = false;
    bool interruptions = false;

    ssize_t write(int fd, const char* bytes, std::size_t length) override
    {
        if (interruptions && (m_calls++ % 2) == 0) {
            errno = EINTR;
            return -1;
        }
        if (budget == 0) {
            errno = ENOSPC;
            return -1;
        }
        std::size_t now = std::min(length, budget);
        if (interruptions)
            now = std::min<std::size_t>(now, 3);
        ssize_t written = platform::FileSink::write(fd, bytes, now);
        if (written > 0 && budget != SIZE_MAX)
            budget -= static_cast<std::size_t>(written);
        return written;
    }
    int sync(int fd) override
    {
        if (failSync) {
            errno = EIO;
            return -1;
        }
        return platform::FileSink::sync(fd);
    }

private:
    unsigned m_calls = 0;
};

class AtomicFileTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        m_target = m_dir.write("data/config.ini", kOld);
        ::chmod(m_target.c_str(), 0640);
        ASSERT_EQ(::stat(m_target.c_str(), &m_before), 0);
    }

    // The old file is there, unchanged, and nothing else is in its folder.
    void expectOldFileAlone() const
    {
        EXPECT_EQ(testsupport::TempDir::readFile(m_target), kOld);
        struct stat after {};
        ASSERT_EQ(::stat(m_target.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, m_before.st_ino) << "the file was replaced";
        EXPECT_EQ(after.st_mode, m_before.st_mode);
        EXPECT_EQ(std::distance(fs::directory_iterator(m_target.parent_path()), fs::directory_iterator{}), 1)
            << "a temporary file stayed behind";
    }

    fs::path m_target;
    struct stat m_before {};
};

struct FailureCase {
    const char* name;
    std::size_t budget; // bytes the disk takes before it is full
    bool failSync;
    int error;
};

class AtomicFileFailure : public AtomicFileTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(AtomicFileFailure, LeavesOldFileByteIdenticalAndNoTemporaryFile)
{
    FailingSink sink;
    sink.budget = GetParam().budget;
    sink.failSync = GetParam().failSync;
    int error = 0;
    EXPECT_FALSE(platform::ReplaceFileContent(m_target, kNew, &error, sink));
    EXPECT_EQ(error, GetParam().error);
    expectOldFileAlone();
}

INSTANTIATE_TEST_SUITE_P(
    AtomicFile, AtomicFileFailure,
    ::testing::Values(FailureCase{"disk_full_at_once", 0, false, ENOSPC},
                      FailureCase{"disk_full_after_one_byte", 1, false, ENOSPC},
                      FailureCase{"disk_full_halfway", kNew.size() / 2, false, ENOSPC},
                      FailureCase{"disk_full_before_last_byte", kNew.size() - 1, false, ENOSPC},
                      FailureCase{"flush_fails_after_every_byte", SIZE_MAX, true, EIO}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(AtomicFileTest, AbandonedWriterLeavesOldFileAndNoTemporaryFile)
{
    {
        platform::AtomicFileWriter writer(m_target);
        ASSERT_TRUE(writer.open());
        ASSERT_TRUE(writer.write(kNew.substr(0, 10)));
        // Leaves scope without commit, as an early return or an exception would.
    }
    expectOldFileAlone();
}

// A writer killed between creating and renaming its temporary leaves it behind; the next
// write to the same target clears it, but never a live writer's or another file's.
TEST_F(AtomicFileTest, NextWriteRemovesTemporariesOfKilledWritersOnly)
{
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ASSERT_GT(dead, 0);
    ::waitpid(dead, nullptr, 0);
    const std::string name = m_target.filename().string();
    const fs::path killed = m_dir.write("data/" + name + ".~" + std::to_string(dead) + ".0", "half");
    const fs::path live = m_dir.write("data/" + name + ".~" + std::to_string(::getppid()) + ".7", "half");
    const fs::path unrelated = m_dir.write("data/" + name + ".~notes", "half");

    ASSERT_TRUE(platform::ReplaceFileContent(m_target, kNew));
    EXPECT_EQ(testsupport::TempDir::readFile(m_target), kNew);
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(unrelated));
}

TEST_F(AtomicFileTest, InterruptedAndShortWritesAreContinuedToTheWholeContent)
{
    FailingSink sink;
    sink.interruptions = true;
    int error = -1;
    ASSERT_TRUE(platform::ReplaceFileContent(m_target, kNew, &error, sink));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(testsupport::TempDir::readFile(m_target), kNew);
    struct stat after {};
    ASSERT_EQ(::stat(m_target.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, m_before.st_ino) << "a new file takes the old one's place";
    EXPECT_EQ(after.st_mode & 07777, 0640u) << "the file keeps its permissions";
    EXPECT_EQ(std::distance(fs::directory_iterator(m_target.parent_path()), fs::directory_iterator{}), 1);
}

TEST_F(AtomicFileTest, MissingFolderFailsWithoutCreatingIt)
{
    const fs::path target = m_dir.path() / "absent" / "config.ini";
    int error = 0;
    EXPECT_FALSE(platform::ReplaceFileContent(target, kNew, &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(fs::exists(target.parent_path()));
}

// Runs `write` in a child process whose files may not grow beyond `limit` bytes, as a full
// disk or quota would refuse them; answers 0 when it succeeded, 1 when it failed, -1 when
// the child did not end normally.
int writeUnderSizeLimit(rlim_t limit, const std::function<bool()>& write)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN); // the write answers EFBIG instead of killing
        rlimit small{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &small);
        ::_exit(write() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(AtomicFileTest, ProfileWriteRefusedBySystemLeavesOldFile)
{
    const std::string path = m_target.string();
    const std::string longValue(4096, 'x');
    EXPECT_EQ(1, writeUnderSizeLimit(64, [&] {
        return WritePrivateProfileStringA("info", "user", longValue.c_str(), path.c_str());
    }));
    expectOldFileAlone();
}

TEST_F(AtomicFileTest, CrossDeviceMoveRefusedBySystemLeavesOldFileAndSource)
{
    const fs::path shm = "/dev/shm";
    struct stat a {}, b {};
    if (::stat(shm.c_str(), &a) != 0 || ::stat(m_dir.path().c_str(), &b) != 0 || a.st_dev == b.st_dev
        || ::access(shm.c_str(), W_OK) != 0)
        GTEST_SKIP() << "no second writable file system";
    const fs::path source = shm / ("kavrel-atomic-" + std::to_string(::getpid()));
    const std::string content(100000, 'z');
    { std::ofstream(source, std::ios::binary) << content; }
    // The limit lets the source be read but not a copy of it be written.
    EXPECT_EQ(1, writeUnderSizeLimit(4096, [&] { return platform::MoveFileReplacing(source, m_target); }));
    expectOldFileAlone();
    EXPECT_EQ(testsupport::TempDir::readFile(source), content);
    fs::remove(source);
}

} // namespace
