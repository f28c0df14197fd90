// The real client program on the X server: a first start records itself and shows its
// main window; a second start hands over to the first and ends with code 0. Where no X
// server is reachable it says so in one line and ends with code 1.
#include "GtkTestSupport.h"
#include "TempDir.h"

#include "platform/Process.h"
#include "platform/window/DesktopShell.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class KavrelProgramTest : public testsupport::GtkWindowTest {
protected:
    void SetUp() override
    {
        testsupport::GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        // A private copy of the program folder, so the settings written are this test's.
        const fs::path program = KAVREL_PROGRAM_DIR;
        fs::copy_file(program / "Kavrel", m_dir.path() / "Kavrel");
        fs::copy(program / "skin", m_dir.path() / "skin", fs::copy_options::recursive);
        fs::copy_file(program / "domain.vmx", m_dir.path() / "domain.vmx");
        fs::create_directory(m_dir.path() / "data");
    }
    void TearDown() override
    {
        if (m_first) {
            kill(m_first->id(), SIGTERM);
            (void)m_first->wait();
        }
        testsupport::GtkWindowTest::TearDown();
    }

    std::string client() const { return (m_dir.path() / "Kavrel").string(); }

    testsupport::TempDir m_dir;
    std::optional<platform::Process> m_first;
};

TEST_F(KavrelProgramTest, FirstStartMarksItselfAndSecondStartEndsWithZero)
{
    ASSERT_EQ(0ul, platform::FindRunningInstance()) << "another client is on this X server";

    m_first = platform::Process::start(client(), {});
    ASSERT_TRUE(m_first);
    ASSERT_TRUE(pumpUntil([] { return platform::FindRunningInstance() != 0; }, 30000))
        << "the client never marked its main window";
    // The first start is recorded, and nothing else is written.
    EXPECT_EQ("[info]\r\nfirstlogin=1\r\n", m_dir.read("data/config.ini"));

    std::optional<platform::Process> second = platform::Process::start(client(), {"-finup"});
    ASSERT_TRUE(second);
    EXPECT_EQ(std::optional<int>(0), second->wait());
    // The first client still runs, with its settings untouched by the second start.
    EXPECT_EQ(0, waitpid(m_first->id(), nullptr, WNOHANG));
    EXPECT_NE(0ul, platform::FindRunningInstance());
    EXPECT_EQ("[info]\r\nfirstlogin=1\r\n", m_dir.read("data/config.ini"));
}

TEST_F(KavrelProgramTest, LaterStartLeavesTheFirstStartMarkerAlone)
{
    m_dir.write("data/config.ini", "[info]\r\nfirstlogin=1\r\nuser=zhangsan\r\n");
    m_first = platform::Process::start(client(), {});
    ASSERT_TRUE(m_first);
    ASSERT_TRUE(pumpUntil([] { return platform::FindRunningInstance() != 0; }, 30000));
    EXPECT_EQ("[info]\r\nfirstlogin=1\r\nuser=zhangsan\r\n", m_dir.read("data/config.ini"));
}

// Started in a Wayland session without an X server (or with none at all), the client must
// not quietly run on another back end or end as if all went well.
TEST(KavrelWithoutXServer, SaysSoInOneLineAndEndsWithOne)
{
    testsupport::TempDir dir;
    const fs::path errors = dir.path() / "stderr.txt";
    const std::string program = (fs::path(KAVREL_PROGRAM_DIR) / "Kavrel").string();
    const pid_t child = fork();
    if (child == 0) {
        unsetenv("DISPLAY");
        unsetenv("GDK_BACKEND");
        setenv("WAYLAND_DISPLAY", "kavrel-test-no-such-compositor", 1);
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 2);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(1, WEXITSTATUS(status));
    EXPECT_EQ("Kavrel: no X server could be reached (DISPLAY=unset); the client needs X11 or XWayland\n",
              dir.read("stderr.txt"));
}

} // namespace

namespace {

// The colour scheme stored by an earlier run comes back at start, before the login window;
// "_blue" in any letter case is the skin as drawn and leaves the settings alone.
TEST_F(KavrelProgramTest, StoredColourSchemeIsAppliedAtStart)
{
    struct Case {
        const char* stored;
        bool orange;
        const char* storedAfter;
    };
    for (Case c : {Case{"_Orange", true, "_Orange"}, Case{"_oRANGE", true, "_Orange"}, Case{"_BLUE", false, "_BLUE"}}) {
        SCOPED_TRACE(c.stored);
        m_dir.write("data/config.ini", std::string("[info]\r\nfirstlogin=1\r\nbackground=") + c.stored + "\r\n");
        m_first = platform::Process::start(client(), {});
        ASSERT_TRUE(m_first);
        unsigned long xid = 0;
        ASSERT_TRUE(pumpUntil([&] { return (xid = platform::FindRunningInstance()) != 0; }, 30000));
        // A point of the title band, above where the login window opens; asked each time,
        // as the window is placed when it is first mapped.
        Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
        auto band = [&] {
            int x = 0, y = 0;
            ::Window child = 0;
            XTranslateCoordinates(dpy, xid, DefaultRootWindow(dpy), 500, 20, &x, &y, &child);
            const std::uint32_t rgb = screenPixel(x, y);
            const int red = rgb >> 16 & 0xFF, blue = rgb & 0xFF;
            return c.orange ? red > blue + 60 : blue > red + 60;
        };
        EXPECT_TRUE(pumpUntil(band, 30000));
        EXPECT_EQ(std::string("[info]\r\nfirstlogin=1\r\nbackground=") + c.storedAfter + "\r\n",
                  m_dir.read("data/config.ini"));
        kill(m_first->id(), SIGTERM);
        (void)m_first->wait();
        m_first.reset();
        EXPECT_TRUE(pumpUntil([] { return platform::FindRunningInstance() == 0; }, 10000));
    }
}

} // namespace
