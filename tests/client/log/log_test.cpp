#include "client/log/Log.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

// A clock the test moves by hand; the stamps are local time, so the zone is fixed.
class LogTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    Log::TimeSource clock()
    {
        return [this] { return m_now; };
    }
    std::string logPath() const { return (m_dir.path() / "detail.log").string(); }

    std::time_t m_now = 741484148; // Wed Jun 30 23:49:08 1993 UTC
};

TEST_F(LogTest, OneStampPerSecondBeforeTheMessage)
{
    Log log(LOG_FILE, 1, logPath().c_str(), false, clock());
    log.Print(1, "first %d\n", 1);
    log.Print(0, "second\n");
    m_now += 1;
    log.Print(1, "third");
    EXPECT_EQ(m_dir.read("detail.log"), "Wed Jun 30 23:49:08 1993\r\nfirst 1\nsecond\n"
                                        "Wed Jun 30 23:49:09 1993\r\nthird");
}

TEST_F(LogTest, MessageAboveThresholdIsDroppedWithoutStamp)
{
    Log log(LOG_FILE, 1, logPath().c_str(), false, clock());
    log.Print(2, "dropped\n");
    EXPECT_EQ(m_dir.read("detail.log"), "");
}

TEST_F(LogTest, MessageIsCutAt1022Characters)
{
    Log log(LOG_FILE, 1, logPath().c_str(), false, clock());
    log.Print(1, "%s", std::string(3000, 'm').c_str());
    EXPECT_EQ(m_dir.read("detail.log"), "Wed Jun 30 23:49:08 1993\r\n" + std::string(1022, 'm'));
}

TEST_F(LogTest, AppendOffTurnsExistingLogIntoBakAndStartsEmpty)
{
    m_dir.write("detail.log", "previous run");
    m_dir.write("detail.log.bak", "older run");
    Log log(LOG_FILE, 1, logPath().c_str(), false, clock());
    EXPECT_EQ(m_dir.read("detail.log.bak"), "previous run");
    EXPECT_EQ(m_dir.read("detail.log"), "");
    log.Print(1, "new");
    EXPECT_EQ(m_dir.read("detail.log"), "Wed Jun 30 23:49:08 1993\r\nnew");
}

TEST_F(LogTest, AppendOnKeepsExistingLogAndNoBak)
{
    m_dir.write("detail.log", "previous run\r\n");
    Log log(LOG_FILE, 1, logPath().c_str(), true, clock());
    log.Print(1, "more");
    EXPECT_EQ(m_dir.read("detail.log"), "previous run\r\nWed Jun 30 23:49:08 1993\r\nmore");
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "detail.log.bak"));
}

TEST_F(LogTest, SetFileWithFileChannelOnRotatesAndStartsEmpty)
{
    m_dir.write("detail.log", "from before");
    Log log(LOG_DEBUGGER, 1, nullptr, false, clock());
    log.SetChannels(LOG_FILE);
    EXPECT_FALSE(log.fileOutput()); // no name yet
    log.SetFile(logPath().c_str(), false);
    EXPECT_TRUE(log.fileOutput());
    EXPECT_EQ(m_dir.read("detail.log.bak"), "from before");
    EXPECT_EQ(m_dir.read("detail.log"), "");
}

TEST_F(LogTest, SetFileWithDebuggerChannelOnlyStoresTheName)
{
    Log log(LOG_DEBUGGER, 1, nullptr, false, clock());
    log.SetFile(logPath().c_str(), false);
    EXPECT_FALSE(std::filesystem::exists(logPath()));
    log.SetChannels(LOG_DEBUGGER | LOG_FILE);
    EXPECT_TRUE(std::filesystem::exists(logPath()));
}

TEST_F(LogTest, FileChannelWithoutNameReportsToDebuggerOutput)
{
    CaptureStderr();
    Log log(LOG_FILE, 1, nullptr, false, clock());
    EXPECT_EQ(GetCapturedStderr(), "Wed Jun 30 23:49:08 1993\r\nError opening log file\n");
    EXPECT_TRUE(log.debuggerOutput());
    EXPECT_FALSE(log.fileOutput());
}

TEST_F(LogTest, UnopenableFileReportsItsName)
{
    const std::string path = (m_dir.path() / "missing" / "detail.log").string();
    CaptureStderr();
    Log log(LOG_FILE, 1, path.c_str(), true, clock());
    EXPECT_EQ(GetCapturedStderr(), "Wed Jun 30 23:49:08 1993\r\nError opening log file " + path + "\n");
    EXPECT_FALSE(log.fileOutput());
}

TEST_F(LogTest, DebuggerAndConsoleGoToStandardError)
{
    Log log(LOG_DEBUGGER | LOG_CONSOLE, 1, nullptr, false, clock());
    CaptureStderr();
    log.Print(1, "hello\n");
    EXPECT_EQ(GetCapturedStderr(), "Wed Jun 30 23:49:08 1993\r\nhello\n");
    log.SetChannels(0);
    CaptureStderr();
    log.Print(1, "silent\n");
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(LogTest, ClearingFileChannelClosesFile)
{
    Log log(LOG_FILE, 1, logPath().c_str(), false, clock());
    log.Print(1, "a");
    log.SetChannels(0);
    log.Print(1, "b");
    EXPECT_EQ(m_dir.read("detail.log"), "Wed Jun 30 23:49:08 1993\r\na");
}

TEST(DetailLog, ProcessInstanceIsDebuggerOnly)
{
    Log& log = DetailLog();
    EXPECT_EQ(log.channels(), LOG_DEBUGGER);
    EXPECT_TRUE(log.debuggerOutput());
    EXPECT_FALSE(log.fileOutput());
}

} // namespace
