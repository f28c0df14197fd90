// The desktop's proxy, end to end: GNOME's proxy settings (the key-file settings back end,
// so this process and the web view's network process read the same file) name a real
// tinyproxy on loopback, and nothing in the environment names a proxy. The service's
// login, the member picture and a study page in a web view must all go through it, each
// request seen by the service with tinyproxy's Via header and in tinyproxy's log.
#include "client/service/MyHttpConnection.h"
#include "client/service/RequestText.h"
#include "client/service/SessionRecord.h"
#include "client/update/HttpFileDownWnd.h"
#include "platform/MD5.h"
#include "platform/ProxyResolver.h"
#include "platform/window/WebView.h"

#include "DevServiceFixture.h"
#include "GtkTestSupport.h"
#include "LoopbackSocket.h"
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "WindowTestSupport.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The desktop of this process: its settings file, and tinyproxy listening where they say.
class ProxyDesktop : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_dir = std::make_unique<testsupport::TempDir>();
        const int probe = socket(AF_INET, SOCK_STREAM, 0);
        m_port = testsupport::bindLoopback(probe);
        close(probe);
        ASSERT_GT(m_port, 0);

        m_dir->write("config/glib-2.0/settings/keyfile",
                     "[system/proxy]\nmode='manual'\nignore-hosts=['ignored.example']\n\n"
                     "[system/proxy/http]\nhost='127.0.0.1'\nport="
                         + std::to_string(m_port) + "\n");
        // Set before anything asks GIO, which reads them once.
        setenv("XDG_CONFIG_HOME", (m_dir->path() / "config").c_str(), 1);
        setenv("GSETTINGS_BACKEND", "keyfile", 1);
        setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                                 "no_proxy", "NO_PROXY"})
            unsetenv(name);

        m_dir->write("tinyproxy.conf", "Port " + std::to_string(m_port) + "\nListen 127.0.0.1\nTimeout 30\n"
                                           "LogFile \"" + logPath() + "\"\nLogLevel Connect\nMaxClients 20\n"
                                           "Allow 127.0.0.1\n");
        const std::string program = "/usr/bin/tinyproxy";
        const std::string config = (m_dir->path() / "tinyproxy.conf").string();
        const char* argv[] = {program.c_str(), "-d", "-c", config.c_str(), nullptr};
        ASSERT_EQ(posix_spawn(&m_proxy, program.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0)
            << "tinyproxy is not installed";
        ASSERT_TRUE(waitListening()) << "tinyproxy did not start: " << log();
    }

    void TearDown() override
    {
        if (m_proxy > 0) {
            kill(m_proxy, SIGTERM);
            waitpid(m_proxy, nullptr, 0);
        }
        m_dir.reset();
    }

    int port() const { return m_port; }
    std::string log() const { return testsupport::TempDir::readFile(logPath()); }

private:
    std::string logPath() const { return (m_dir->path() / "tinyproxy.log").string(); }

    bool waitListening() const
    {
        for (int i = 0; i < 1000; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(m_port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool up = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            close(fd);
            if (up)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::unique_ptr<testsupport::TempDir> m_dir;
    int m_port = 0;
    pid_t m_proxy = -1;
};

ProxyDesktop* const kDesktop = static_cast<ProxyDesktop*>(::testing::AddGlobalTestEnvironment(new ProxyDesktop));

// The request the service received for path went through tinyproxy.
void expectProxied(devservice::DevService& service, const std::string& path)
{
    const auto requests = service.requests();
    const auto found = std::find_if(requests.begin(), requests.end(),
                                    [&](const devservice::RecordedRequest& r) { return r.path == path; });
    ASSERT_NE(found, requests.end()) << path << " never reached the service";
    EXPECT_NE(found->header("Via").find("tinyproxy"), std::string::npos) << path << ": " << found->header("Via");
    EXPECT_NE(kDesktop->log().find(service.siteBase() + path), std::string::npos) << path << "\n" << kDesktop->log();
}

TEST(DesktopProxy, ResolverGivesTheDesktopsProxy)
{
    const std::string proxy = "http://127.0.0.1:" + std::to_string(kDesktop->port());
    EXPECT_EQ(platform::DesktopProxyFor("http://127.0.0.1:9/service/post"), proxy);
    EXPECT_EQ(platform::DesktopProxyFor("http://study.example/soft/a.htm"), proxy);
    EXPECT_EQ(platform::DesktopProxyFor("http://ignored.example/"), std::string());
}

TEST(DesktopProxy, LoginGoesThroughTheDesktopsProxy)
{
    testsupport::DevServiceRunner service;
    ASSERT_TRUE(service.started());
    testsupport::TempDir dir;
    CMyHttpConnection connection(dir.folder());
    std::string answer;
    int status = 0;
    const std::string login = BuildLoginRequest("zhangsan", velmar::md5("123456"), "hw");
    ASSERT_EQ(connection.Post(service->postAddress(), login, answer, status), CMyHttpConnection::kPostSucceeded)
        << dir.read("BugReport.log");
    SessionRecord record;
    const std::optional<LoginAnswer> read = ReadLoginAnswer(answer, record, "2026-01-02 03:04:05");
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->loginSuccess);
    expectProxied(*service, "/service/post");
}

class DesktopProxyPicture : public testsupport::HeadlessWindowTest {};

TEST_F(DesktopProxyPicture, MemberPictureGoesThroughTheDesktopsProxy)
{
    testsupport::DevServiceRunner service;
    ASSERT_TRUE(service.started());
    testsupport::TempDir dir;
    const std::string target = (dir.path() / "vip_login_pic.png").string();
    CHttpFileDownWnd window;
    ASSERT_TRUE(window.Create(makeWindow()));
    bool done = false;
    const std::string address = service->service().AvatarAddress(1001);
    window.Download(address, target, [&] { done = true; });
    ASSERT_TRUE(testsupport::serveUntil([&] { return done; }));
    ASSERT_TRUE(testsupport::serveUntil([&] { return !window.IsDownloading(address); }));
    EXPECT_EQ(testsupport::TempDir::readFile(target).substr(0, 4), "\x89PNG");
    expectProxied(*service, "/soft/avatar/1001.png");
}

class DesktopProxyPage : public testsupport::GtkWindowTest {};

// The client's web view asks the same resolver in its network process.
TEST_F(DesktopProxyPage, StudyPageGoesThroughTheDesktopsProxy)
{
    testsupport::DevServiceRunner service;
    ASSERT_TRUE(service.started());
    bool loaded = false;
    const UINT notify = platform::WebViewNotifyMessage();
    HWND parent = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, 0,
                                 [&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                     if (m == notify && lp == platform::WebViewLoadFinished)
                                         loaded = true;
                                     return DefWindowProc(h, m, wp, lp);
                                 });
    ASSERT_NE(parent, nullptr);
    HWND view = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 0, 0, 400, 300, parent, 1000,
                               [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                   if (m == WM_CREATE)
                                       return platform::AttachWebView(h) ? 0 : -1;
                                   return DefWindowProc(h, m, wp, lp);
                               });
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(platform::WebViewNavigate(view, service->pageBaseAddress() + "/zhenti.htm"));
    ASSERT_TRUE(pumpUntil([&] { return loaded; }, 30000));
    expectProxied(*service, "/soft/zhenti.htm");
    DestroyWindow(parent);
}

} // namespace
