#include "client/service/CookieJar.h"
#include "client/service/Curl.h"
#include "client/service/MyHttpConnection.h"
#include "client/service/RequestText.h"

#include "DevServiceFixture.h"
#include "TempDir.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::Cookie;
using platform::CookieChange;

const bool kLoopbackWithoutProxy = [] {
    setenv("no_proxy", "127.0.0.1,localhost,.localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost,.localhost", 1);
    return true;
}();

// A web server that sets the cookie its "c" parameter names and remembers the Cookie
// header of every request, by host and path.
class CookieServer {
public:
    CookieServer()
    {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_seen.push_back(req.get_header_value("Host") + req.path + " " + req.get_header_value("Cookie"));
            }
            if (req.has_param("c"))
                res.set_header("Set-Cookie", req.get_param_value("c"));
            res.set_content("ok", "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::yield();
    }
    ~CookieServer()
    {
        m_server.stop();
        m_thread.join();
    }

    // "http://host:port"
    std::string at(const std::string& host) const { return "http://" + host + ":" + std::to_string(m_port); }

    // The Cookie header of the last request.
    std::string lastCookie()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const std::string& line = m_seen.back();
        return line.substr(line.find(' ') + 1);
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<std::string> m_seen;
};

// One GET as the client's transfers make it: the process's store attached, then told.
bool get(const std::string& url)
{
    CurlHandle handle = NewCurlHandle();
    SetCommonOptions(handle.get(), url, "http", 10000, 16384);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION,
                     +[](char*, size_t size, size_t count, void*) { return size * count; });
    const CURLcode result = curl_easy_perform(handle.get());
    CookieJar::Process().AfterTransfer();
    return result == CURLE_OK;
}

std::string encoded(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == '/')
            out += static_cast<char>(c);
        else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// The process's store, emptied first: the cases of one run of this program share it.
class CookieJarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<CookieChange> all;
        for (const Cookie& cookie : CookieJar::Process().All())
            all.push_back({cookie, true});
        CookieJar::Process().ApplyFromWeb(all);
        ASSERT_TRUE(CookieJar::Process().All().empty());
    }
    void TearDown() override { CookieJar::Process().SetListener({}); }
};

// Where a cookie set by one address is sent, as a browser decides it.
TEST_F(CookieJarTest, CookiesAreSentWhereTheirDomainPathExpiryAndSizeAllow)
{
    CookieServer server;
    const std::string big(4100, 'x');
    struct Case {
        const char* what;
        std::string setBy;     // host and path of the answer that sets it
        std::string setCookie; // its Set-Cookie value
        std::string askedBy;   // host and path of the next request
        bool sent;
        std::string expected;  // the next request's Cookie header when sent
    };
    const Case cases[] = {
        {"path prefix", "www.kv.localhost/soft/a", "p1=1; Path=/soft", "www.kv.localhost/soft/page.htm", true, "p1=1"},
        {"path elsewhere", "www.kv.localhost/soft/a", "p2=1; Path=/soft", "www.kv.localhost/service/post", false, ""},
        {"path is no text prefix", "www.kv.localhost/soft/a", "p3=1; Path=/soft", "www.kv.localhost/softer", false, ""},
        {"default path is the folder", "www.kv.localhost/soft/a/set", "p4=1", "www.kv.localhost/soft/a/other", true, "p4=1"},
        {"default path not above", "www.kv.localhost/soft/a/set", "p5=1", "www.kv.localhost/soft/other", false, ""},
        {"domain cookie to a sibling", "www.kv.localhost/", "d1=1; Domain=kv.localhost", "other.kv.localhost/", true, "d1=1"},
        {"domain cookie to the domain", "www.kv.localhost/", "d2=1; Domain=.kv.localhost", "kv.localhost/", true, "d2=1"},
        {"domain cookie not to a look-alike", "www.kv.localhost/", "d3=1; Domain=kv.localhost", "xkv.localhost/", false, ""},
        {"host-only not to a sibling", "www.kv.localhost/", "h1=1", "other.kv.localhost/", false, ""},
        {"foreign domain refused", "www.kv.localhost/", "f1=1; Domain=other.localhost", "other.localhost/", false, ""},
        {"ip host-only", "127.0.0.1/", "i1=1", "127.0.0.1/x", true, "i1=1"},
        {"ip cookie not to a name", "127.0.0.1/", "i2=1", "localhost/x", false, ""},
        {"expired on arrival", "exp.localhost/", "e1=1; Expires=Wed, 01 Jan 2014 00:00:00 GMT", "exp.localhost/", false, ""},
        {"max-age zero", "age.localhost/", "e2=1; Max-Age=0", "age.localhost/", false, ""},
        {"lasting cookie", "last.localhost/", "l1=1; Max-Age=86400", "last.localhost/", true, "l1=1"},
        {"secure not over http", "sec.localhost/", "s1=1; Secure", "sec.localhost/", false, ""},
        {"httponly still sent", "ho.localhost/", "o1=1; HttpOnly", "ho.localhost/", true, "o1=1"},
        {"oversized refused", "big.localhost/", "b1=" + big, "big.localhost/", false, ""},
    };
    for (const Case& c : cases) {
        const std::size_t slash = c.setBy.find('/');
        const std::string setUrl = server.at(c.setBy.substr(0, slash)) + c.setBy.substr(slash) + "?c=" + encoded(c.setCookie);
        ASSERT_TRUE(get(setUrl)) << c.what;
        const std::size_t askSlash = c.askedBy.find('/');
        ASSERT_TRUE(get(server.at(c.askedBy.substr(0, askSlash)) + c.askedBy.substr(askSlash))) << c.what;
        const std::string cookie = server.lastCookie();
        const std::string name = c.setCookie.substr(0, c.setCookie.find('='));
        if (c.sent)
            EXPECT_NE(cookie.find(c.expected), std::string::npos) << c.what << ": " << cookie;
        else
            EXPECT_EQ(cookie.find(name + "="), std::string::npos) << c.what << ": " << cookie;
    }
}

// A later answer replaces a cookie of the same slot; an expired one removes it.
TEST_F(CookieJarTest, LaterAnswersReplaceAndRemoveCookies)
{
    CookieServer server;
    const std::string site = server.at("127.0.0.1");
    ASSERT_TRUE(get(site + "/?c=SID%3Dold"));
    ASSERT_TRUE(get(site + "/?c=SID%3Dnew"));
    ASSERT_TRUE(get(site + "/"));
    EXPECT_EQ("SID=new", server.lastCookie());
    ASSERT_TRUE(get(site + "/?c=" + encoded("SID=gone; Expires=Wed, 01 Jan 2014 00:00:00 GMT")));
    ASSERT_TRUE(get(site + "/"));
    EXPECT_EQ("", server.lastCookie());
}

TEST(CookieJarLines, NetscapeLinesRoundTrip)
{
    struct Case {
        const char* line;
        Cookie cookie;
    };
    const Case cases[] = {
        {"127.0.0.1\tFALSE\t/\tFALSE\t0\tSID\tabc", {"127.0.0.1", "/", "SID", "abc", false, false, 0}},
        {"#HttpOnly_.kv.localhost\tTRUE\t/soft\tTRUE\t2000000000\tk\tv=1", {".kv.localhost", "/soft", "k", "v=1", true, true, 2000000000}},
        {"host\tFALSE\t/\tFALSE\t0\tempty\t", {"host", "/", "empty", "", false, false, 0}},
    };
    for (const Case& c : cases) {
        Cookie parsed;
        ASSERT_TRUE(CookieJar::ParseNetscapeLine(c.line, parsed)) << c.line;
        EXPECT_EQ(c.cookie, parsed) << c.line;
        EXPECT_EQ(c.line, CookieJar::NetscapeLine(c.cookie));
    }
    Cookie untouched;
    for (const char* bad : {"", "# a comment\tFALSE\t/\tFALSE\t0\ta\tb", "host\tFALSE\t/\tFALSE\tsoon\ta\tb", "a\tb\tc"})
        EXPECT_FALSE(CookieJar::ParseNetscapeLine(bad, untouched)) << bad;
}

// What a page set reaches the transport, and what the transport got reaches the views,
// each once and never echoed back.
TEST_F(CookieJarTest, ChangesCrossBetweenTheSidesOnceEach)
{
    CookieServer server;
    CookieJar& jar = CookieJar::Process();
    std::vector<CookieChange> reported;
    jar.SetListener([&](std::vector<CookieChange> changes) {
        reported.insert(reported.end(), changes.begin(), changes.end());
    });

    const Cookie pageCookie{"127.0.0.1", "/", "ad", "seen", false, false, 0};
    jar.ApplyFromWeb({{pageCookie, false}});
    ASSERT_TRUE(get(server.at("127.0.0.1") + "/next"));
    EXPECT_EQ("ad=seen", server.lastCookie());
    EXPECT_TRUE(reported.empty()) << "the page's own cookie came back to the views";

    ASSERT_TRUE(get(server.at("127.0.0.1") + "/login?c=" + encoded("SID=s1; Path=/; HttpOnly")));
    ASSERT_EQ(1u, reported.size());
    EXPECT_EQ((Cookie{"127.0.0.1", "/", "SID", "s1", false, true, 0}), reported[0].cookie);
    EXPECT_FALSE(reported[0].removed);
    ASSERT_TRUE(get(server.at("127.0.0.1") + "/again"));
    EXPECT_EQ(1u, reported.size()) << "an unchanged store was reported again";

    // The page drops its cookie: the transport stops sending it.
    jar.ApplyFromWeb({{pageCookie, true}});
    ASSERT_TRUE(get(server.at("127.0.0.1") + "/after"));
    EXPECT_EQ("SID=s1", server.lastCookie());
    EXPECT_EQ(1u, reported.size());

    // The service expires its session: the views are told to drop it.
    ASSERT_TRUE(get(server.at("127.0.0.1") + "/?c=" + encoded("SID=; Max-Age=0; Path=/")));
    ASSERT_EQ(2u, reported.size());
    EXPECT_TRUE(reported[1].removed);
    EXPECT_EQ("SID", reported[1].cookie.name);
    jar.SetListener({});
}

// The wire of the client's own requests: the login answer's session cookie goes with the
// keep-alive that follows, a new login replaces it, and logout leaves it in the store.
TEST_F(CookieJarTest, LoginSessionCookieGoesWithTheFollowingRequests)
{
    testsupport::TempDir dir;
    testsupport::DevServiceRunner service;
    ASSERT_TRUE(service.started());
    CMyHttpConnection connection(dir.path().string() + "/");
    std::string answer;
    int status = 0;
    const auto post = [&](const std::string& body) {
        return connection.Post(service->postAddress(), body, answer, status) == CMyHttpConnection::kPostSucceeded;
    };
    const auto lastCookie = [&] { return service->requests().back().header("Cookie"); };
    const std::string login = BuildLoginRequest("zhangsan", "e10adc3949ba59abbe56e057f20f883e", "");

    ASSERT_TRUE(post(login));
    EXPECT_EQ("", lastCookie());
    std::vector<Cookie> held = CookieJar::Process().All();
    ASSERT_EQ(1u, held.size());
    const Cookie first = held[0];
    EXPECT_EQ("SID", first.name);
    EXPECT_EQ("127.0.0.1", first.domain);
    EXPECT_TRUE(first.httpOnly);
    EXPECT_EQ(0, first.expires) << "a session cookie became a lasting one";

    ASSERT_TRUE(post(BuildConnectRequest(1001)));
    EXPECT_EQ("SID=" + first.value, lastCookie());

    ASSERT_TRUE(post(login));
    EXPECT_EQ("SID=" + first.value, lastCookie());
    held = CookieJar::Process().All();
    ASSERT_EQ(1u, held.size());
    EXPECT_NE(first.value, held[0].value) << "the new login kept the old session";
    ASSERT_TRUE(post(BuildLogoutRequest(1001, "zhangsan")));
    EXPECT_EQ("SID=" + held[0].value, lastCookie());
    EXPECT_EQ(held, CookieJar::Process().All()) << "logout changed the store";
}

// Transfers on several threads and the views' side all use the store at once.
TEST_F(CookieJarTest, ThreadsShareTheStoreSafely)
{
    CookieServer server;
    CookieJar& jar = CookieJar::Process();
    std::atomic<int> reportedChanges{0};
    jar.SetListener([&](std::vector<CookieChange> changes) { reportedChanges += static_cast<int>(changes.size()); });
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                if (!get(server.at("127.0.0.1") + "/t?c=t" + std::to_string(t) + "%3D" + std::to_string(i)))
                    ++failures;
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 30; ++i) {
            jar.ApplyFromWeb({{Cookie{"127.0.0.1", "/", "page", std::to_string(i), false, false, 0}, false}});
            (void)jar.All();
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, failures.load());
    ASSERT_TRUE(get(server.at("127.0.0.1") + "/last"));
    const std::string cookie = server.lastCookie();
    for (const char* expected : {"t0=9", "t1=9", "t2=9", "page=29"})
        EXPECT_NE(cookie.find(expected), std::string::npos) << cookie;
    // Each transfer's new value was reported; the page's values never were.
    EXPECT_GE(reportedChanges.load(), 3);
    EXPECT_LE(reportedChanges.load(), 30);
    jar.SetListener({});
}

// A transfer attached to a jar of its own, as SetCommonOptions attaches the process's.
bool getThrough(CookieJar& jar, const std::string& url, const std::function<bool()>& stop = {})
{
    CurlHandle handle = NewCurlHandle();
    curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION,
                     +[](char*, size_t size, size_t count, void*) { return size * count; });
    jar.Attach(handle.get(), stop);
    return curl_easy_perform(handle.get()) == CURLE_OK;
}

using Clock = std::chrono::steady_clock;

// At start the views' kept cookies come in later, on the user-interface thread: the first
// transfer waits for them and carries them.
TEST(CookieJarHold, HeldTransferGoesOnceTheViewsCookiesAreInAndCarriesThem)
{
    CookieServer server;
    CookieJar jar;
    jar.HoldUntilWebCookies(std::chrono::minutes(1));
    ASSERT_TRUE(jar.Holding());
    std::atomic<bool> started{false};
    std::atomic<bool> sent{false};
    std::thread transfer([&] {
        started = true;
        sent = getThrough(jar, server.at("127.0.0.1") + "/first");
    });
    while (!started)
        std::this_thread::yield();
    jar.ApplyFromWeb({{Cookie{"127.0.0.1", "/", "keep", "1", false, false, 2000000000}, false}});
    const auto released = Clock::now();
    jar.WebCookiesIn();
    transfer.join();
    EXPECT_LT(Clock::now() - released, std::chrono::seconds(20)) << "the transfer waited out the bound";
    ASSERT_TRUE(sent);
    EXPECT_EQ("keep=1", server.lastCookie());
    EXPECT_FALSE(jar.Holding());
}

// A store that never answers: the first transfer goes after the bound, says so, and no
// later transfer waits again; a transfer told to stop does not wait out the bound.
TEST(CookieJarHold, UnansweredHoldEndsAtItsBoundAndAStopEndsTheWait)
{
    CookieServer server;
    {
        CookieJar jar;
        const auto bound = std::chrono::milliseconds(50);
        const auto before = Clock::now(); // the bound counts from the hold
        jar.HoldUntilWebCookies(bound);
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(getThrough(jar, server.at("127.0.0.1") + "/late"));
        const auto waited = Clock::now() - before;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_GE(waited, bound);
        EXPECT_NE(said.find("cookie store did not answer within 50 ms"), std::string::npos) << said;
        EXPECT_FALSE(jar.Holding());
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(getThrough(jar, server.at("127.0.0.1") + "/later"));
        EXPECT_EQ("", ::testing::internal::GetCapturedStderr()) << "the hold came back";
    }
    {
        CookieJar jar;
        jar.HoldUntilWebCookies(std::chrono::minutes(1));
        std::atomic<bool> stop{false};
        std::atomic<bool> attached{false};
        std::thread transfer([&] {
            CurlHandle handle = NewCurlHandle();
            jar.Attach(handle.get(), [&] { return stop.load(); });
            attached = true;
        });
        stop = true;
        const auto stopped = Clock::now();
        transfer.join();
        EXPECT_TRUE(attached);
        EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(20));
        EXPECT_TRUE(jar.Holding()) << "a stopped transfer ended the hold for the others";
    }
}

} // namespace
