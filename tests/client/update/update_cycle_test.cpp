// The whole update cycle with the real programs on the X server: a newer program folder
// published with vmUpdate -g and served by nginx on loopback, the installed client
// started (its check stages the update and says so), started again (it hands over
// before any window; the updater applies and restarts it with -finup; it says so and,
// after a login against the dev service, shows the what's-new window once),
// and the installed folder equal to the published one with the member's settings kept.
//
// KAVREL_TEST_SCREENSHOTS=<folder> keeps a picture of the screen at each notice.
#include "DevServiceFixture.h"
#include "GtkTestSupport.h"
#include "NginxServer.h"
#include "ProgramFolderCopy.h"
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "UpdaterChildProcess.h"

#include "platform/window/DesktopShell.h"

#include <X11/keysym.h>

#include <csignal>
#include <filesystem>
#include <optional>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::UpdaterChildProcess;

constexpr int kNoticeWidth = 261, kNoticeHeight = 194;     // the notice window
constexpr int kWhatsNewWidth = 400, kWhatsNewHeight = 264; // the what's-new window

using ScreenWindow = testsupport::ShownWindow;

std::optional<ScreenWindow> shownWindow(int width, int height)
{
    return testsupport::findShownWindow(width, height);
}

// The running processes of an executable: pid and command line (arguments NUL-separated).
std::vector<std::pair<pid_t, std::string>> processesOf(const fs::path& executable)
{
    std::vector<std::pair<pid_t, std::string>> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code linkError;
        if (fs::read_symlink(entry.path() / "exe", linkError) != executable)
            continue;
        found.emplace_back(std::stoi(name), TempDir::readFile(entry.path() / "cmdline"));
    }
    return found;
}

class UpdateCycleTest : public testsupport::GtkWindowTest {
protected:
    void TearDown() override
    {
        const fs::path client = m_dir.path() / "Kavrel/Kavrel";
        for (const auto& [pid, commandLine] : processesOf(client))
            ::kill(pid, SIGTERM);
        // The next windowed test must not find this client on the X server.
        EXPECT_TRUE(testsupport::waitUntil([&] { return processesOf(client).empty(); }));
        EXPECT_TRUE(pumpUntil([] { return platform::FindRunningInstance() == 0; }, 20000));
        testsupport::GtkWindowTest::TearDown();
    }

    void screenshot(const std::string& name)
    {
        const char* folder = std::getenv("KAVREL_TEST_SCREENSHOTS");
        if (!folder)
            return;
        testsupport::saveScreen(fs::path(folder) / name);
    }

    // Serves our own loop while waiting for the other processes.
    bool waitFor(const std::function<bool()>& condition) { return pumpUntil(condition, 60000); }

    static std::string domainFile(int port, const std::string& tail)
    {
        const std::string host = "http://127.0.0.1:" + std::to_string(port);
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<VelmarRoot>\n  <url>\n    <web>" + host + "/</web>\n"
               "    <domain>" + host + "</domain>\n    <posturl>/service/post</posturl>\n"
               "    <domain_soft>" + host + "/soft</domain_soft>\n  </url>\n</VelmarRoot>\n" + tail;
    }

    TempDir m_dir;
};

enum class Publisher { Nginx, DevService };

void PrintTo(Publisher publisher, std::ostream* out)
{
    *out << (publisher == Publisher::Nginx ? "nginx" : "dev service");
}

class UpdateCycleFrom : public UpdateCycleTest, public ::testing::WithParamInterface<Publisher> {};

TEST_P(UpdateCycleFrom, CheckHandOverApplyRestartWhatsNew)
{
    if (IsSkipped())
        return;
    if (GetParam() == Publisher::Nginx && !fs::exists(testsupport::kNginx))
        GTEST_SKIP() << "no " << testsupport::kNginx;
    const std::string shot = GetParam() == Publisher::Nginx ? "update-nginx" : "update-devservice";
    const fs::path top = m_dir.path();
    const fs::path published = top / "www/SOFTWARES/VEL_SOFT_V2013/update";
    // The study service for the login; in the second case it publishes the update too.
    testsupport::DevServiceRunner service(GetParam() == Publisher::DevService ? published.string() : std::string());
    ASSERT_TRUE(service.started());
    const auto at = [&](const std::string& relative) { return (top / relative).string(); };

    // The new release: the built program folder as the build made it (no member's files
    // a run left there) with a note more and a domain file written anew; the installation
    // one release behind.
    ASSERT_TRUE(testsupport::copyProgramFolder(KAVREL_PROGRAM_DIR, top / "release"));
    fs::remove_all(top / "release/data");
    // Published unsigned here (signing has tests of its own): no key from a signed
    // development run of the build folder may come along.
    fs::remove(top / "release/vmupdate.pub");
    m_dir.write("release/domain.vmx", domainFile(service->port(), "<!-- 3.0.0.26 -->\n"));
    m_dir.write("release/notes/3.0.0.26.txt", "1. printing\n2. chat rooms\n");
    fs::copy(top / "release", top / "Kavrel", fs::copy_options::recursive);
    fs::remove_all(top / "Kavrel/notes");
    m_dir.write("Kavrel/domain.vmx", domainFile(service->port(), ""));
    m_dir.write("Kavrel/data/config.ini", "[info]\r\nfirstlogin=1\r\nhasupdate=1\r\n");
    fs::create_directories(top / "home");
    fs::create_directories(top / "run");

    std::map<std::string, std::string> environment{{"HOME", at("home")},
                                                   {"XDG_CONFIG_HOME", at("home/.config")},
                                                   {"XDG_RUNTIME_DIR", at("run")},
                                                   {"KAVREL_UPDATER_PAUSE_MS", "0"},
                                                   {"NO_AT_BRIDGE", "1"}};
    for (const char* name : {"DISPLAY", "XAUTHORITY"})
        if (const char* value = std::getenv(name))
            environment[name] = value;

    // Publish.
    fs::create_directories(published.parent_path());
    {
        UpdaterChildProcess generate(at("Kavrel/vmUpdate"), {"-g", published.string(),
                                                             "vmupdate.xml", "3.0.0.26", at("release")},
                                     environment, at("generate.txt"));
        ASSERT_EQ(generate.wait(), 0);
    }
    std::optional<testsupport::NginxServer> nginx;
    int downloadPort = service->port();
    if (GetParam() == Publisher::Nginx) {
        nginx.emplace(top / "nginx", top / "www");
        ASSERT_TRUE(nginx->ready()) << TempDir::readFile(top / "nginx/error.log");
        downloadPort = nginx->port();
    }
    environment["KAVREL_DOWNLOAD_HOST"] = "127.0.0.1:" + std::to_string(downloadPort);

    // First start: the check stages the update and the member is told.
    const fs::path staged = top / "home/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml";
    {
        UpdaterChildProcess client(at("Kavrel/Kavrel"), {}, environment, at("first.txt"));
        ASSERT_TRUE(waitFor([&] { return fs::exists(staged); })) << TempDir::readFile(at("first.txt"));
        ASSERT_TRUE(waitFor([] { return shownWindow(kNoticeWidth, kNoticeHeight).has_value(); }));
        screenshot(shot + "-1-staged-notice.png");
        ::kill(client.pid(), SIGTERM);
        client.wait();
    }
    if (nginx) {
        EXPECT_NE(nginx->accessLog().find("GET /SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml HTTP/1.1\" 200"),
                  std::string::npos);
    }
    ASSERT_TRUE(waitFor([] { return !shownWindow(kNoticeWidth, kNoticeHeight); }));

    // The member chose to remember the name and password meanwhile.
    m_dir.write("Kavrel/data/config.ini", "[info]\r\nfirstlogin=1\r\nhasupdate=1\r\nuser=zhangsan\r\npassword=123456\r\n"
                                          "autologin=2\r\n");

    // Second start: handed over before any window; the updater restarts the client.
    pid_t second = 0;
    {
        UpdaterChildProcess client(at("Kavrel/Kavrel"), {}, environment, at("second.txt"));
        second = client.pid();
        EXPECT_EQ(client.wait(), 0);
    }
    const std::string restartLine = at("Kavrel/Kavrel") + std::string("\0-finup\0", 8);
    pid_t restarted = 0;
    ASSERT_TRUE(waitFor([&] {
        for (const auto& [pid, commandLine] : processesOf(top / "Kavrel/Kavrel"))
            if (commandLine == restartLine)
                restarted = pid;
        return restarted != 0;
    })) << TempDir::readFile(at("second.txt"));
    EXPECT_NE(restarted, second);
    EXPECT_FALSE(fs::exists(staged.parent_path()));

    // The restarted client announces the update while its login window waits (no other
    // notice can come before the login) and, after the login, shows what is new.
    ASSERT_TRUE(waitFor([] { return shownWindow(kNoticeWidth, kNoticeHeight).has_value(); }));
    screenshot(shot + "-2-updated-notice.png");
    EXPECT_NE(m_dir.read("Kavrel/data/config.ini").find("hasupdate=0\r\n"), std::string::npos);
    Display* display = gdk_x11_get_default_xdisplay();
    const KeyCode enter = XKeysymToKeycode(display, XK_Return);
    XTestFakeKeyEvent(display, enter, True, CurrentTime);
    XTestFakeKeyEvent(display, enter, False, CurrentTime);
    XFlush(display);
    std::optional<ScreenWindow> whatsNew;
    ASSERT_TRUE(waitFor([&] { return (whatsNew = shownWindow(kWhatsNewWidth, kWhatsNewHeight)).has_value(); }));
    screenshot(shot + "-3-whats-new.png");
    EXPECT_NE(m_dir.read("Kavrel/data/config.ini").find("hasupdate=0\r\n"), std::string::npos);

    // "我知道了" closes it, and it is not owed any more.
    XTestFakeMotionEvent(display, -1, whatsNew->x + kWhatsNewWidth - 20 - 55, whatsNew->y + kWhatsNewHeight - 18 - 17,
                         CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
    ASSERT_TRUE(waitFor([] { return !shownWindow(kWhatsNewWidth, kWhatsNewHeight); }));
    EXPECT_TRUE(waitFor([&] { return m_dir.read("Kavrel/data/config.ini").find("hasupdate=1\r\n") != std::string::npos; }));

    // The member's picture has arrived through the download window.
    EXPECT_TRUE(waitFor([&] { return fs::exists(top / "Kavrel/skin/vip_login_pic.png"); }));
    EXPECT_FALSE(fs::exists(top / "Kavrel/skin/vip_login_pic.png.~vm"));

    // The installation is the release, byte for byte, with the member's own files kept.
    std::map<std::string, std::string> installed = testsupport::filesBelow(top / "Kavrel");
    const std::string settings = installed["data/config.ini"];
    EXPECT_NE(settings.find("user=zhangsan\r\n"), std::string::npos) << settings;
    for (const char* own : {"data/config.ini", "detail.log", "BugReport.log", "skin/vip_login_pic.png"})
        installed.erase(own);
    // So is the web views' data folder (cookies, site storage), whatever WebKit keeps there.
    std::erase_if(installed, [](const auto& file) { return file.first.rfind("data/web/", 0) == 0; });
    const std::map<std::string, std::string> released = testsupport::filesBelow(top / "release");
    std::string differing;
    for (const auto& [path, bytes] : installed)
        if (!released.count(path) || released.at(path) != bytes)
            differing += " " + path;
    for (const auto& [path, bytes] : released)
        if (!installed.count(path))
            differing += " -" + path;
    EXPECT_EQ(differing, "") << "the installation differs from the release";
    EXPECT_EQ(fs::status(top / "Kavrel/Kavrel").permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
}

INSTANTIATE_TEST_SUITE_P(Published, UpdateCycleFrom, ::testing::Values(Publisher::Nginx, Publisher::DevService),
                         [](const ::testing::TestParamInfo<Publisher>& row) {
                             return row.param == Publisher::Nginx ? "Nginx" : "DevService";
                         });

} // namespace
