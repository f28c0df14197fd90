// The transport and real web views on the X server share one cookie store: what the
// service sets in a login answer goes with the pages, what a page sets goes with the next
// request, and lasting cookies outlive the process while session cookies do not.
// The HTTP library before the X headers, whose macros (Success) clash with it.
#include <httplib.h>

#include "GtkTestSupport.h"

#include "client/service/CookieJar.h"
#include "client/service/MyHttpConnection.h"
#include "client/service/RequestText.h"
#include "platform/window/WebCookies.h"
#include "platform/window/WebView.h"

#include "DevServiceFixture.h"
#include "TempDir.h"

#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using platform::Cookie;

const bool kLoopbackWithoutProxy = [] {
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    return true;
}();

// A site of its own on loopback: its page sets one cookie in its answer and one from its
// script; a post sets the cookies its "c" parameters name. Every request's Cookie header
// is kept by path.
class RecordingSite {
public:
    RecordingSite()
    {
        const auto record = [this](const httplib::Request& req) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_seen.emplace_back(req.path, req.get_header_value("Cookie"));
        };
        m_server.Get("/ad.htm", [record](const httplib::Request& req, httplib::Response& res) {
            record(req);
            res.set_header("Set-Cookie", "adseen=1; Path=/");
            res.set_content("<html><body><script>document.cookie = 'byscript=2; path=/';</script>ad</body></html>",
                            "text/html");
        });
        // Site storage: "?set" keeps a value, any other visit shows it by asking for
        // /report/<value> before the page has loaded.
        m_server.Get("/storage.htm", [record](const httplib::Request& req, httplib::Response& res) {
            record(req);
            res.set_content("<html><body><script>if (location.search == '?set') localStorage.setItem('kv', 'kept');"
                            "else document.write('<img src=\"/report/' + localStorage.getItem('kv') + '\">');"
                            "</script></body></html>",
                            "text/html");
        });
        m_server.Get(".*", [record](const httplib::Request& req, httplib::Response& res) {
            record(req);
            res.set_content("<html><body>page</body></html>", "text/html");
        });
        m_server.Post(".*", [record](const httplib::Request& req, httplib::Response& res) {
            record(req);
            for (auto [it, end] = req.params.equal_range("c"); it != end; ++it)
                res.headers.emplace("Set-Cookie", it->second);
            res.set_content("{}", "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::yield();
    }
    ~RecordingSite()
    {
        m_server.stop();
        m_thread.join();
    }
    std::string address(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    // The Cookie header of the last request for path, "-" when none came.
    std::string cookieOf(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (auto it = m_seen.rbegin(); it != m_seen.rend(); ++it) {
            if (it->first == path)
                return it->second;
        }
        return "-";
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<std::pair<std::string, std::string>> m_seen;
};

bool holds(const std::vector<Cookie>& cookies, const std::string& name)
{
    return std::any_of(cookies.begin(), cookies.end(), [&](const Cookie& c) { return c.name == name; });
}

std::string valueOf(const std::vector<Cookie>& cookies, const std::string& name)
{
    for (const Cookie& c : cookies) {
        if (c.name == name)
            return c.value;
    }
    return {};
}

class SharedCookiesTest : public testsupport::GtkWindowTest {
protected:
    void SetUp() override
    {
        GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        m_top = CreateWindowEx(0, "", WS_POPUP, 0, 0, 500, 400, nullptr, 0,
                               [this](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                   if (m == platform::WebViewNotifyMessage() && lp == platform::WebViewLoadFinished)
                                       m_loaded = true;
                                   return DefWindowProc(h, m, wp, lp);
                               });
        ShowWindow(m_top, SW_SHOW);
    }

    // A new browser view that loads address; true once the page has loaded.
    bool load(const std::string& address)
    {
        m_loaded = false;
        if (m_view)
            DestroyWindow(m_view);
        m_view = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 0, 0, 400, 300, m_top, 1000,
                                [this](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                    if (m == WM_CREATE)
                                        return platform::AttachWebView(h) ? 0 : -1;
                                    return DefWindowProc(h, m, wp, lp);
                                });
        if (!m_view)
            return false;
        return platform::WebViewNavigate(m_view, address) && pumpUntil([&] { return m_loaded; }, 30000);
    }

    // As the program starts: the two stores joined, then the loop run until the views'
    // kept cookies are in (a post on this thread before that would wait for them in vain).
    bool share(const std::string& folder)
    {
        ShareCookiesWithWebViews(folder);
        return pumpUntil([] { return !CookieJar::Process().Holding(); });
    }

    // One post by the client's transport; the answer text is not needed.
    bool post(const std::string& address, const std::string& body)
    {
        CMyHttpConnection connection(m_dir.path().string() + "/");
        std::string answer;
        int status = 0;
        return connection.Post(address, body, answer, status) == CMyHttpConnection::kPostSucceeded;
    }

    testsupport::TempDir m_dir;
    HWND m_top = nullptr;
    HWND m_view = nullptr;
    bool m_loaded = false;
};

TEST_F(SharedCookiesTest, LoginCookieGoesWithPagesAndPageCookiesWithRequests)
{
    ASSERT_TRUE(share((m_dir.path() / "data/web/").string()));
    testsupport::DevServiceRunner service;
    ASSERT_TRUE(service.started());
    RecordingSite site;

    // The login answer's session cookie reaches the views' store...
    ASSERT_TRUE(post(service->postAddress(), BuildLoginRequest("zhangsan", "e10adc3949ba59abbe56e057f20f883e", "")));
    const std::string session = valueOf(CookieJar::Process().All(), "SID");
    ASSERT_EQ(32u, session.size());
    ASSERT_TRUE(pumpUntil([&] { return valueOf(platform::WebCookiesNow(), "SID") == session; }));

    // ...and the next study page carries it: the member page knows the member.
    const std::string page = service->pageBaseAddress() + "/memberCenter_testCenter.htm";
    ASSERT_TRUE(load(page));
    ASSERT_TRUE(pumpUntil([&] {
        for (const auto& r : service->requests()) {
            if (r.path == "/soft/memberCenter_testCenter.htm")
                return true;
        }
        return false;
    }));
    std::string pageCookie = "-";
    for (const auto& r : service->requests()) {
        if (r.path == "/soft/memberCenter_testCenter.htm")
            pageCookie = r.header("Cookie");
    }
    EXPECT_EQ("SID=" + session, pageCookie);

    // A page sets two cookies, in its answer and from its script: the transport's next
    // request (the keep-alive) sends them with the session cookie.
    ASSERT_TRUE(load(site.address("/ad.htm")));
    ASSERT_TRUE(pumpUntil([&] {
        const std::vector<Cookie> held = CookieJar::Process().All();
        return holds(held, "adseen") && holds(held, "byscript");
    }));
    ASSERT_TRUE(post(service->postAddress(), BuildConnectRequest(1001)));
    const std::string sent = service->requests().back().header("Cookie");
    for (const char* expected : {"SID=", "adseen=1", "byscript=2"})
        EXPECT_NE(sent.find(expected), std::string::npos) << sent;

    // A new login replaces the session cookie in the views too.
    ASSERT_TRUE(post(service->postAddress(), BuildLoginRequest("zhangsan", "e10adc3949ba59abbe56e057f20f883e", "")));
    const std::string renewed = valueOf(CookieJar::Process().All(), "SID");
    ASSERT_NE(session, renewed);
    EXPECT_TRUE(pumpUntil([&] { return valueOf(platform::WebCookiesNow(), "SID") == renewed; }));
}

// One run of the store in a folder: first a lasting and a session cookie arrive through the
// transport, then (in a new process) only the lasting one is there, for both sides.
TEST_F(SharedCookiesTest, RunInFolder)
{
    const char* folder = std::getenv("KAVREL_COOKIE_FOLDER");
    const char* phase = std::getenv("KAVREL_COOKIE_PHASE");
    const char* site = std::getenv("KAVREL_COOKIE_SITE");
    if (!folder || !phase || !site)
        GTEST_SKIP() << "run by LastingCookiesAndSiteStorageSurviveARestartSessionCookiesDoNot";
    if (std::string(phase) == "1") {
        ASSERT_TRUE(share(folder));
        ASSERT_TRUE(post(std::string(site) + "/set?c=keep%3D1%3B%20Max-Age%3D86400%3B%20Path%3D%2F"
                         "&c=gone%3D1%3B%20Path%3D%2F",
                         "{}"));
        ASSERT_TRUE(pumpUntil([&] {
            const std::vector<Cookie> views = platform::WebCookiesNow();
            return holds(views, "keep") && holds(views, "gone");
        }));
        ASSERT_TRUE(load(std::string(site) + "/storage.htm?set"));
        return;
    }
    if (std::string(phase) == "broken") {
        // A file that is no cookie store: transfers are held until the views' store has
        // answered, then go (without waiting out the bound).
        ShareCookiesWithWebViews(folder);
        EXPECT_TRUE(CookieJar::Process().Holding());
        ASSERT_TRUE(pumpUntil([] { return !CookieJar::Process().Holding(); }, 4000));
        ASSERT_TRUE(post(std::string(site) + "/after", "{}"));
        ASSERT_TRUE(load(std::string(site) + "/page.htm"));
        return;
    }
    // What earlier runs kept is in the jar when the start returns, without the loop run
    // and without the views' store asked: the first request, made at once on a thread of
    // its own as the worker's is, carries the lasting cookie.
    ShareCookiesWithWebViews(folder);
    EXPECT_FALSE(CookieJar::Process().Holding()) << "the start waits for the views' store";
    const auto names = [] {
        std::vector<std::string> held;
        for (const Cookie& c : CookieJar::Process().All())
            held.push_back(c.name);
        std::sort(held.begin(), held.end());
        return held;
    };
    const std::vector<std::string> expected = std::string(phase) == "2" ? std::vector<std::string>{"keep"}
                                                                        : std::vector<std::string>{"hand"};
    EXPECT_EQ(expected, names());
    std::atomic<int> early{0}; // 0 on its way, 1 sent, 2 failed
    std::thread first([&] { early = post(std::string(site) + "/after", "{}") ? 1 : 2; });
    const bool ended = pumpUntil([&] { return early != 0; }, 30000);
    first.join();
    ASSERT_TRUE(ended);
    ASSERT_EQ(1, early.load());
    // The views' store, once it answers, agrees: the jar is as it was.
    platform::WebCookiesNow();
    EXPECT_EQ(expected, names());
    ASSERT_TRUE(load(std::string(site) + "/page.htm"));
    if (std::string(phase) == "2") {
        ASSERT_TRUE(load(std::string(site) + "/storage.htm"));
    }
}

// Runs SharedCookiesTest.RunInFolder in a new process: 0 when it passed.
int runInFolder(const std::string& folder, const char* phase, const RecordingSite& site)
{
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string filter = "--gtest_filter=SharedCookiesTest.RunInFolder";
    setenv("KAVREL_COOKIE_FOLDER", folder.c_str(), 1);
    setenv("KAVREL_COOKIE_PHASE", phase, 1);
    setenv("KAVREL_COOKIE_SITE", site.address("").c_str(), 1);
    const char* argv[] = {self.c_str(), filter.c_str(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ);
    unsetenv("KAVREL_COOKIE_FOLDER");
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SharedCookies, LastingCookiesAndSiteStorageSurviveARestartSessionCookiesDoNot)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X display";
    testsupport::TempDir dir;
    RecordingSite site;
    const std::string folder = (dir.path() / "data/web/").string();
    const auto run = [&](const char* phase) { return runInFolder(folder, phase, site); };
    ASSERT_EQ(0, run("1"));
    EXPECT_TRUE(std::filesystem::exists(folder + "cookies.sqlite"));
    ASSERT_EQ(0, run("2"));
    EXPECT_EQ("keep=1", site.cookieOf("/after")) << "the transport after the restart";
    EXPECT_EQ("keep=1", site.cookieOf("/page.htm")) << "a page after the restart";
    EXPECT_NE("-", site.cookieOf("/report/kept")) << "site storage was lost in the restart";
    EXPECT_TRUE(std::filesystem::exists(folder + "localstorage")) << "site storage is not in the web-data folder";
}

// A cookie file as the views' store writes it, made by hand: the rows a start must skip
// (expired, an expiry that is no number) stay out of both stores, the rest
// goes with the first request and the first page. A file that is no store at all holds
// the first request only until the views' store has answered.
TEST(SharedCookies, TheKeptCookiesFileIsReadAtStartAndABrokenOneIsSurvived)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X display";
    RecordingSite site;
    const std::string later = std::to_string(std::time(nullptr) + 86400);
    const std::string rows = "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, name TEXT, value TEXT, host TEXT, "
                             "path TEXT, expiry INTEGER, lastAccessed INTEGER, isSecure INTEGER, isHttpOnly INTEGER, "
                             "sameSite INTEGER);"
                             "INSERT INTO moz_cookies (name, value, host, path, expiry, lastAccessed, isSecure, isHttpOnly, "
                             "sameSite) VALUES "
                             "('hand', '1', '127.0.0.1', '/', " + later + ", 0, 0, 1, 0),"
                             "('old', '3', '127.0.0.1', '/', 1000, 0, 0, 0, 0),"
                             "('odd', '5', '127.0.0.1', '/', 'soon', 0, 0, 0, 0);";
    struct Case {
        const char* phase;
        std::string sql; // empty: the file holds plain text
        const char* cookie; // the Cookie header of the first request (and page)
    } cases[] = {
        {"file", rows, "hand=1"},
        {"broken", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.phase);
        testsupport::TempDir dir;
        const std::string folder = (dir.path() / "data/web/").string();
        std::filesystem::create_directories(folder);
        if (c.sql.empty()) {
            std::ofstream(folder + "cookies.sqlite") << "this is no database\n";
        } else {
            sqlite3* db = nullptr;
            ASSERT_EQ(SQLITE_OK, sqlite3_open((folder + "cookies.sqlite").c_str(), &db));
            ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, c.sql.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
            sqlite3_close(db);
        }
        ASSERT_EQ(0, runInFolder(folder, c.phase, site));
        EXPECT_EQ(c.cookie, site.cookieOf("/after")) << "the first request";
        if (std::string(c.phase) == "file") {
            EXPECT_EQ(c.cookie, site.cookieOf("/page.htm")) << "the first page";
        }
    }
}

} // namespace
