#include "client/log/BugReport.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <thread>

namespace {

using testsupport::TempDirTest;

class BugReport : public TempDirTest {};

TEST_F(BugReport, StatusReportEndsWithEmptyLineInCrLf)
{
    WriteBugReport(m_dir.folder(), StatusReport("2024-05-01 08:09:10", 503));
    EXPECT_EQ(m_dir.read("BugReport.log"), "Error Time:2024-05-01 08:09:10\r\nError Code:503\r\n\r\n");
}

TEST_F(BugReport, ReportsAppendWithoutSeparators)
{
    WriteBugReport(m_dir.folder(), TransportErrorReport("2024-05-01 08:09:10", 12029, "cannot connect"));
    WriteBugReport(m_dir.folder(),
                   OtherErrorReport("2024-05-01 08:09:13", "Error in Function CMyHttpConnection::Post"));
    EXPECT_EQ(m_dir.read("BugReport.log"),
              "Error Time:2024-05-01 08:09:10\r\nError Code:12029\r\nError Msg:cannot connect\r\n"
              "Error Time:2024-05-01 08:09:13\r\nError Msg:Error in Function CMyHttpConnection::Post\r\n");
}

TEST_F(BugReport, ExistingFileIsAppendedToNeverTruncated)
{
    m_dir.write("BugReport.log", "old\r\n");
    WriteBugReport(m_dir.folder(), "new");
    EXPECT_EQ(m_dir.read("BugReport.log"), "old\r\nnew\r\n");
}

TEST_F(BugReport, MissingFolderLosesReportSilently)
{
    WriteBugReport(m_dir.folder() + "absent/", "lost");
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "absent"));
}

TEST(BugReportForms, TransportMessageIsCutTo1024Characters)
{
    const std::string report = TransportErrorReport("T", 12002, std::string(2000, 'x'));
    EXPECT_EQ(report, "Error Time:T\nError Code:12002\nError Msg:" + std::string(1024, 'x'));
}

// The same moment written in several time zones (POSIX zone texts, so no zone database is
// needed): the report shows the wall clock of the zone the client runs in, summer time too.
TEST(BugReportForms, TimeIsLocalTimeInReportForm)
{
    struct Case {
        const char* zone;
        std::time_t at;
        const char* expected;
    };
    const Case cases[] = {
        {"UTC0", 0, "1970-01-01 00:00:00"},
        {"CST-8", 0, "1970-01-01 08:00:00"},
        {"CST-8", 1700000000, "2023-11-15 06:13:20"},
        {"CST-8", 1700006399, "2023-11-15 07:59:59"},
        {"EST5EDT,M3.2.0,M11.1.0", 1700000000, "2023-11-14 17:13:20"}, // winter: UTC-5
        {"EST5EDT,M3.2.0,M11.1.0", 1688212800, "2023-07-01 08:00:00"}, // summer: UTC-4
    };
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    for (const Case& c : cases) {
        setenv("TZ", c.zone, 1);
        tzset();
        EXPECT_EQ(BugReportTime(c.at), c.expected) << c.zone << " " << c.at;
    }
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_TRUE(std::regex_match(BugReportTime(std::time(nullptr)),
                                 std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})")));
}

TEST_F(BugReport, ConcurrentReportsNeverInterleave)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this] {
            for (int i = 0; i < 50; ++i)
                WriteBugReport(m_dir.folder(), StatusReport("2024-05-01 08:09:10", 500));
        });
    for (auto& thread : threads)
        thread.join();
    std::string expected;
    for (int i = 0; i < 200; ++i)
        expected += "Error Time:2024-05-01 08:09:10\r\nError Code:500\r\n\r\n";
    EXPECT_EQ(m_dir.read("BugReport.log"), expected);
}

} // namespace
