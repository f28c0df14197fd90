// The real client program on the X server against the dev service on loopback, driven by
// real keystrokes and clicks (XTest; text typed through xdotool, which also types Chinese):
// typed login of every demo member, a wrong password, automatic login from the settings,
// an external-account login through the demo page, logout, and a service that is down.
// Screenshots of each state go to <build>/screenshots/session/.
#include "ClientProgramFixture.h"
#include "DesktopPrograms.h"
#include "LoopbackSocket.h"

#include <csignal>
#include <filesystem>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::kRemembered;
using testsupport::kFirstTileX;
using testsupport::kFirstTileY;
using testsupport::Placed;
using SessionProgramTest = testsupport::ClientProgramTest;

TEST_F(SessionProgramTest, EveryDemoMemberLogsInByTyping)
{
    struct Member {
        const char* user;
        const char* password;
        int uid;
    };
    const Member members[] = {{"zhangsan", "123456", 1001}, {"李四", "学习2013", 1002}, {"wangwu", "it's-me", 1003}};
    for (const Member& m : members) {
        SCOPED_TRACE(m.user);
        m_service->reset();
        startClient();
        typeLogin(m.user, m.password);
        if (m.uid == 1001)
            screenshot("login_window");
        pressKey("Return");
        EXPECT_TRUE(loggedInAs(m.uid));
        // The login window closed by itself; the main window shows the member.
        EXPECT_TRUE(pumpUntil([] { return findWindow(600, 372).xid == 0; }, 10000));
        EXPECT_NE(0ul, noticeWindow().xid); // the welcome notice
        screenshot(std::string("logged_in_") + std::to_string(m.uid));
        stopClient();
    }
}

TEST_F(SessionProgramTest, WrongPasswordKeepsTheFormAndShowsTheRefusal)
{
    startClient();
    typeLogin("zhangsan", "654321");
    pressKey("Return");
    ASSERT_TRUE(pumpUntil([&] { return requestsContaining("\"login\"") == 1; }, 10000));
    EXPECT_NE(0ul, noticeWindow().xid);
    screenshot("notice_refused");
    EXPECT_NE(0ul, findWindow(600, 372).xid);
    EXPECT_FALSE(m_service->service().LoggedInUid());
}

TEST_F(SessionProgramTest, RememberedMemberLogsInAutomaticallyAndLogsOutByTheButton)
{
    startRememberedMember();
    ASSERT_TRUE(loggedInAs(1001));
    const Placed frame = mainWindow();
    ASSERT_NE(0ul, frame.xid);
    EXPECT_TRUE(pumpUntil([] { return findWindow(600, 372).xid == 0; }, 10000));
    // The top advertisement of the first answer is shown once the browser has started.
    EXPECT_TRUE(pumpUntil([&] { return !requestsFor("/soft/ad_top.htm").empty(); }, 10000));
    // The welcome notice comes and goes by itself before the click.
    noticeWindow(10000);
    pumpUntil([] { return findWindow(261, 194).xid == 0; }, 10000);
    click(frame, 808, 32); // the log-out button of the member panel
    EXPECT_TRUE(pumpUntil([&] { return requestsContaining("\"logout\"") == 1; }, 10000));
    EXPECT_FALSE(m_service->service().LoggedInUid());
    screenshot("logged_out");
    EXPECT_EQ(kRemembered, m_dir.read("data/config.ini"));
}

// The wire of an external-account login: the page opened as the service gave it, the
// page's confirmation setting the session cookie, and "get_login_info" posted to the plain
// post address with that cookie and nothing else to name the member.
TEST_F(SessionProgramTest, ExternalAccountLoginThroughTheDemoPage)
{
    startClient();
    const Placed login = loginWindow();
    ASSERT_NE(0ul, login.xid);
    click(login, 524, 326); // the QQ icon
    ASSERT_TRUE(pumpUntil([&] { return requestsFor("/soft/social_login.htm?site=qq").size() == 1; }));
    pumpFor(1500);
    screenshot("external_login_page");
    // In the page: the first member's button, reached from the keyboard.
    const Placed frame = mainWindow();
    click(frame, 500, 560);
    pressKey("Tab");
    pressKey("Return");
    EXPECT_TRUE(loggedInAs(1001));
    ASSERT_EQ(1u, requestsFor("/soft/social_login.htm?site=qq&member=1001").size());

    const char* const loginInfo = "{\n   \"cmd\" : \"load\",\n   \"cmdType\" : \"\",\n   \"content\" : {\n"
                                  "      \"currentpage\" : 0,\n      \"datasource\" : \"get_login_info\",\n"
                                  "      \"pagesize\" : 0\n   }\n}\n";
    std::vector<devservice::RecordedRequest> infos;
    for (const auto& r : requestsFor("/service/post")) {
        if (r.body == loginInfo)
            infos.push_back(r);
    }
    ASSERT_EQ(1u, infos.size());
    EXPECT_EQ("POST", infos[0].method);
    EXPECT_EQ(0u, requestsContaining("login_token"));
    const std::string cookie = infos[0].header("Cookie");
    ASSERT_EQ(0u, cookie.rfind("SID=", 0)) << cookie;
    const auto member = m_service->service().MemberOfSession(cookie.substr(4));
    ASSERT_TRUE(member) << cookie;
    EXPECT_EQ(1001, member->uid);

    // The study pages the member opens now know the member by the same cookie.
    for (const auto& r : requestsFor("/soft/memberCenter_testCenter.htm"))
        EXPECT_EQ(cookie, r.header("Cookie"));
    screenshot("external_login_done");
}

// The login answer's session cookie goes with the member picture's download and with the
// study page a tile opens (the keep-alive's is in session_worker_test, on its clock).
TEST_F(SessionProgramTest, LoginSessionCookieGoesWithThePictureAndTheStudyPages)
{
    startRememberedMember();
    ASSERT_TRUE(loggedInAs(1001));
    // The download window fetches the member picture right after the login answer.
    ASSERT_TRUE(pumpUntil([&] { return !requestsFor("/soft/avatar/1001.png").empty(); }, 20000));
    const std::string session = requestsFor("/soft/avatar/1001.png").front().header("Cookie");
    ASSERT_EQ(0u, session.rfind("SID=", 0)) << session;
    const auto member = m_service->service().MemberOfSession(session.substr(4));
    ASSERT_TRUE(member);
    EXPECT_EQ(1001, member->uid);

    // A function tile opens a study page in the page area: it carries the cookie too.
    const Placed frame = mainWindow();
    ASSERT_NE(0ul, noticeWindow().xid); // the client has the login answer
    EXPECT_TRUE(pumpUntil([] { return findWindow(600, 372).xid == 0; }, 10000));
    noticeWindow(10000);
    pumpUntil([] { return findWindow(261, 194).xid == 0; }, 10000);
    const std::size_t before = m_service->requests().size();
    click(frame, kFirstTileX, kFirstTileY);
    ASSERT_TRUE(pumpUntil([&] {
        const auto all = m_service->requests();
        for (std::size_t i = before; i < all.size(); ++i) {
            if (all[i].path.rfind("/soft/testSites_sitesList.htm?randomtime=", 0) == 0)
                return true;
        }
        return false;
    }, 20000)) << "the tile's page was not asked for";
    const auto all = m_service->requests();
    for (std::size_t i = before; i < all.size(); ++i) {
        if (all[i].method == "GET" && all[i].path.rfind("/soft/", 0) == 0) {
            EXPECT_EQ(session, all[i].header("Cookie")) << all[i].path;
        }
    }
}

TEST_F(SessionProgramTest, ServiceDownWritesTheReportAndShowsTheNotice)
{
    // A port held but never listened on.
    const int held = socket(AF_INET, SOCK_STREAM, 0);
    const int port = testsupport::bindLoopback(held);
    ASSERT_NE(0, port);
    pointAt(port);
    startClient();
    EXPECT_NE(0ul, noticeWindow().xid);
    EXPECT_NE(std::string::npos, m_dir.read("BugReport.log").find("Error Code:12029\r\n"));
    screenshot("service_down");
    close(held);
}

// Closing while the service holds every request: the windows go at once and the process
// ends by itself, the "logout" it could not deliver given up with a report.
TEST_F(SessionProgramTest, ClosingWhileTheServiceHangsEndsTheProcess)
{
    startRememberedMember();
    ASSERT_TRUE(loggedInAs(1001));
    const Placed frame = mainWindow();
    ASSERT_NE(0ul, frame.xid);
    // The service may answer an automatic login before the form is up: the welcome notice
    // says the client has the answer.
    ASSERT_NE(0ul, noticeWindow().xid);
    EXPECT_TRUE(pumpUntil([] { return findWindow(600, 372).xid == 0; }, 10000));
    m_service->addFault({"/service/", 0, 600000, -1, false, 0});

    click(frame, 981, 21); // the close button
    EXPECT_TRUE(pumpUntil([] { return findWindow(1008, 640).xid == 0; }, 10000));
    int status = 0;
    const bool ended = pumpUntil([&] { return waitpid(m_client->id(), &status, WNOHANG) == m_client->id(); }, 10000);
    EXPECT_TRUE(ended) << "the client is still running while the service hangs";
    if (ended)
        m_client.reset();
    EXPECT_EQ(1u, requestsContaining("\"logout\""));
    EXPECT_NE(std::string::npos,
              m_dir.read("BugReport.log").find("Error Code:12017\r\nError Msg:The operation was canceled"));
    m_service->reset(); // lets the held requests go
}

// A member without a mouse, under a real window manager (it gives the keyboard to the
// active window): log in, open a page from a tile, open the settings drop-down, change the
// colour, log out. Keys only; no pointer event is made.
TEST_F(SessionProgramTest, KeyboardOnlyWalkWithoutAPointer)
{
    testsupport::DesktopPrograms desktop;
    ASSERT_TRUE(desktop.startWindowManager());
    ASSERT_TRUE(pumpUntil(testsupport::DesktopPrograms::windowManagerRunning));
    startClient();
    const Placed login = loginWindow();
    ASSERT_NE(0ul, login.xid) << "no login window";
    // The form opens with the name box focused; Tab walks its own ring to the password.
    typeText("zhangsan");
    pressKey("Tab");
    typeText("123456");
    pressKey("Return");
    ASSERT_TRUE(loggedInAs(1001));
    EXPECT_TRUE(pumpUntil([] { return findWindow(600, 372).xid == 0; }, 10000));
    const Placed frame = mainWindow();
    ASSERT_NE(0ul, frame.xid);
    pumpFor(500);

    // Reading order of the logged-in face: mail, log-out, help, settings, minimise,
    // maximise, close, home, quick help, then the tiles row by row.
    for (int i = 0; i < 10; ++i)
        pressKey("Tab");
    pressKey("Right"); // the second tile, and back: the arrows move among the tiles
    pressKey("Left");
    screenshot("keyboard_tile_focused");
    const std::size_t before = m_service->requests().size();
    pressKey("Return");
    ASSERT_TRUE(pumpUntil([&] {
        const auto all = m_service->requests();
        for (std::size_t i = before; i < all.size(); ++i) {
            if (all[i].path.rfind("/soft/testSites_sitesList.htm?randomtime=", 0) == 0)
                return true;
        }
        return false;
    }, 20000)) << "the first tile's page was not asked for";
    pumpFor(1000);

    // The page covers the tiles: Tab starts again at the top of the face. The settings
    // button is the fourth; Enter drops its list down, Down goes through its items.
    for (int i = 0; i < 4; ++i)
        pressKey("Tab");
    pressKey("Return");
    pumpFor(500);
    pressKey("Down");
    pressKey("Down");
    screenshot("keyboard_dropdown");
    pressKey("Return"); // the colour chooser
    const Placed chooser = waitForWindow(360, 236, 10000);
    ASSERT_NE(0ul, chooser.xid) << "no colour chooser";
    pumpFor(500);
    // Close, blue, orange: Space picks the focused colour, Enter closes the chooser.
    for (int i = 0; i < 3; ++i)
        pressKey("Tab");
    pressKey("space");
    EXPECT_TRUE(pumpUntil([&] { return m_dir.read("data/config.ini").find("background=_Orange\r\n") != std::string::npos; }, 5000));
    pumpFor(300);
    EXPECT_TRUE(testsupport::saveScreen((screenshotFolder() / "session_keyboard_colour_ring.png").string(), chooser.x,
                                        chooser.y, 360, 236));
    // The chooser's swatch under its focus ring, and the main window's band gone orange.
    const std::uint32_t band = screenPixel(frame.x + 500, frame.y + 20);
    EXPECT_GT(band >> 16 & 0xFF, (band & 0xFF) + 60) << std::hex << band;
    pressKey("Return");
    EXPECT_TRUE(pumpUntil([] { return findWindow(360, 236).xid == 0; }, 10000));
    pumpFor(500);

    // From the settings button, back past help to the log-out button.
    pressKey("shift+Tab");
    pressKey("shift+Tab");
    pressKey("Return");
    EXPECT_TRUE(pumpUntil([&] { return requestsContaining("\"logout\"") == 1; }, 10000));
    EXPECT_FALSE(m_service->service().LoggedInUid());
    screenshot("keyboard_logged_out");
}

} // namespace
