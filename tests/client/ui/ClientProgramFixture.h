// The real client program started from a copy of the program folder on the X server,
// against the dev service on loopback, driven by real keystrokes and clicks (XTest; text
// typed through xdotool, which also types Chinese), its windows found by their sizes.
#pragma once

#include "DevServiceFixture.h"
#include "DomainVmx.h"
#include "GtkTestSupport.h"
#include "TempDir.h"

#include "platform/Process.h"

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

namespace fs = std::filesystem;

inline const std::string kSettings = "[info]\r\nfirstlogin=1\r\nhasupdate=1\r\n";
// zhangsan remembered with his password for automatic login.
inline const std::string kRemembered = kSettings + "user=zhangsan\r\npassword=123456\r\nautologin=3\r\n";

// The centre of the first function tile ("window_kaodian", 24 152 113 100 in the 1008 x 640
// face, as skinrender --where finds it).
constexpr int kFirstTileX = 80;
constexpr int kFirstTileY = 202;

struct Placed {
    unsigned long xid = 0;
    int x = 0, y = 0;
};

class ClientProgramTest : public GtkWindowTest {
protected:
    void SetUp() override
    {
        GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(m_service.started());
        const fs::path program = KAVREL_PROGRAM_DIR;
        fs::copy_file(program / "Kavrel", m_dir.path() / "Kavrel");
        fs::copy(program / "skin", m_dir.path() / "skin", fs::copy_options::recursive);
        fs::create_directory(m_dir.path() / "data");
        pointAt(m_service->port());
        // The what's-new window of an installed update would follow the first login.
        m_dir.write("data/config.ini", kSettings);
        fs::create_directories(screenshotFolder());
    }
    void TearDown() override
    {
        stopClient();
        GtkWindowTest::TearDown();
    }

    void pointAt(int port)
    {
        const std::string base = "http://127.0.0.1:" + std::to_string(port);
        const unsigned parts = kXmlDeclaration | kWebAddress | kLineEnd;
        m_dir.write("domain.vmx", domainVmx(base, parts));
    }

    void startClient()
    {
        m_client = platform::Process::start((m_dir.path() / "Kavrel").string(), {});
        ASSERT_TRUE(m_client);
    }
    void startRememberedMember()
    {
        m_dir.write("data/config.ini", kRemembered);
        startClient();
    }
    void stopClient()
    {
        if (m_client) {
            kill(m_client->id(), SIGTERM);
            (void)m_client->wait();
            m_client.reset();
        }
        // Let the X server forget the client's windows before the next one comes.
        pumpUntil([this] { return !findWindow(1008, 640).xid; }, 5000);
    }

    // A shown window of that size (the client's windows have sizes of their own).
    static Placed findWindow(int width, int height)
    {
        const auto found = findShownWindow(width, height);
        return found ? Placed{found->id, found->x, found->y} : Placed{};
    }
    Placed waitForWindow(int width, int height, int timeoutMs = 20000)
    {
        Placed found;
        pumpUntil([&] { return (found = findWindow(width, height)).xid != 0; }, timeoutMs);
        return found;
    }
    // The login form, once it is drawn and takes input.
    Placed loginWindow()
    {
        const Placed found = waitForWindow(600, 372);
        pumpFor(1000);
        return found;
    }
    Placed mainWindow() { return waitForWindow(1008, 640); }
    Placed noticeWindow(int timeoutMs = 20000) { return waitForWindow(261, 194, timeoutMs); }

    void xdotool(const std::vector<std::string>& arguments)
    {
        auto tool = platform::Process::start("/usr/bin/xdotool", arguments);
        ASSERT_TRUE(tool) << "xdotool is not installed";
        EXPECT_EQ(std::optional<int>(0), tool->wait());
        pumpFor(150);
    }
    void click(const Placed& window, int x, int y)
    {
        clickAt(window.xid, x, y);
        pumpFor(250);
    }
    void typeText(const std::string& utf8) { xdotool({"type", "--delay", "40", utf8}); }
    void pressKey(const char* key) { xdotool({"key", key}); }

    void typeLogin(const std::string& user, const std::string& password)
    {
        const Placed login = loginWindow();
        ASSERT_NE(0ul, login.xid) << "no login window";
        click(login, 400, 113); // user name field
        typeText(user);
        click(login, 400, 161); // password field
        typeText(password);
    }

    // Apart from the headless run's pictures, which that run clears in the same CI job:
    // <build>/screenshots/<m_shots>/<m_shots>_<name>.png.
    fs::path screenshotFolder() const { return fs::path(KAVREL_BINARY_DIR) / "screenshots" / m_shots; }
    void screenshot(const std::string& name)
    {
        pumpFor(300);
        EXPECT_TRUE(saveScreen(screenshotFolder() / (m_shots + "_" + name + ".png")));
    }

    bool loggedInAs(int uid, int timeoutMs = 20000)
    {
        return pumpUntil([&] { return m_service->service().LoggedInUid() == std::optional<int>(uid); }, timeoutMs);
    }
    std::size_t requestsContaining(const std::string& text)
    {
        std::size_t n = 0;
        for (const auto& r : m_service->requests())
            n += (r.path + r.body).find(text) != std::string::npos;
        return n;
    }

    // The requests for exactly this path and query.
    std::vector<devservice::RecordedRequest> requestsFor(const std::string& path)
    {
        std::vector<devservice::RecordedRequest> found;
        for (const auto& r : m_service->requests()) {
            if (r.path == path)
                found.push_back(r);
        }
        return found;
    }

    std::string m_shots = "session";
    DevServiceRunner m_service;
    TempDir m_dir;
    std::optional<platform::Process> m_client;
};

} // namespace testsupport
