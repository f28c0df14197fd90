// The main window with a real request worker: the feed timers on the headless clock send
// their requests and stop at logout, "logout" is sent only for a logged-in member, and a
// request to a service that is down ends in the failure notice, a logout and a report.
#include "SessionFixture.h"

#include "DevServiceFixture.h"
#include "LoopbackSocket.h"
#include "UpdateTestSupport.h"
#include "client/service/AnswerRouter.h"
#include "client/service/CookieJar.h"
#include "client/service/RequestText.h"
#include "platform/window/WebView.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testsupport::SessionTest;

constexpr CRequestWorker::RetryDelays kNoWaits{0ms, 0ms, 0ms, 0ms, 0ms, 0ms};

class SessionWorkerTest : public SessionTest {
protected:
    // A worker whose transport answers every request with "{}" and records its body.
    void useRecordingWorker()
    {
        CRequestWorker::Options options;
        options.reportFolder = m_dir.folder();
        options.retryDelays = kNoWaits;
        options.transport = [this](const std::string& address, const std::string& body, std::string& answer,
                                   int& status) {
            std::lock_guard<std::mutex> lock(m_lock);
            if (address == kMarkerAddress) {
                m_markersSent = std::stoi(body);
            } else {
                m_bodies.push_back(body);
                m_addresses.push_back(address);
            }
            answer = "{\"success\": true}";
            status = 200;
            return 1;
        };
        m_worker = std::make_unique<CRequestWorker>(options);
    }

    std::vector<std::string> bodies()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_bodies;
    }
    // Pumps the window system until pred holds (at most 10 s); the worker runs meanwhile.
    bool pumpUntil(const std::function<bool()>& pred) { return testsupport::serveUntil(pred, 10s); }
    std::size_t countOf(const std::string& body)
    {
        std::size_t n = 0;
        for (const std::string& b : bodies())
            n += b == body;
        return n;
    }

    // Returns once every job queued so far has been sent: the worker sends in queue order,
    // so a marker queued behind them arrives last.
    void drainWorker()
    {
        const int marker = ++m_markersQueued;
        m_worker->Enqueue(kMarkerAddress, std::to_string(marker), nullptr, nullptr, RK_NONE);
        ASSERT_TRUE(pumpUntil([&] {
            std::lock_guard<std::mutex> lock(m_lock);
            return m_markersSent == marker;
        }));
    }

    std::vector<std::string> addresses()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_addresses;
    }

    static constexpr const char* kMarkerAddress = "http://marker/";

    std::mutex m_lock;
    int m_markersQueued = 0;
    int m_markersSent = 0;
    std::vector<std::string> m_bodies;
    std::vector<std::string> m_addresses;
};

const std::string kLogin = R"({"success": true, "content": {"loginSuccess": true, "uid": 1001, "userID": "zhangsan"}})";

TEST_F(SessionWorkerTest, FeedTimersSendOnScheduleAndStopAtLogout)
{
    useRecordingWorker();
    createFrame();
    ASSERT_TRUE(pumpUntil([&] { return countOf(BuildExamAdsRequest()) == 1; })); // sent at creation
    answer(RK_LOGIN, kLogin);

    platform::AdvanceClock(15000);
    ASSERT_TRUE(pumpUntil([&] { return countOf(BuildConnectRequest(1001)) == 1; }));
    platform::AdvanceClock(15000);
    ASSERT_TRUE(pumpUntil([&] {
        return countOf(BuildConnectRequest(1001)) == 2 && countOf(BuildUnreadMessagesRequest()) == 1;
    }));
    platform::AdvanceClock(20000);
    ASSERT_TRUE(pumpUntil([&] { return countOf(BuildForumNoticeRequest()) == 1; }));

    // Logout sends "logout" once, from the stopped worker's final pass.
    m_frame->Logout();
    ASSERT_TRUE(pumpUntil([&] { return countOf(BuildLogoutRequest(1001, "zhangsan")) == 1; }));
    const std::size_t sent = bodies().size();
    platform::AdvanceClock(120000);
    pumpAll();
    drainWorker();
    EXPECT_EQ(sent, bodies().size());
}

TEST_F(SessionWorkerTest, LogoutWithoutAMemberSendsNothingButStopsTheFeeds)
{
    useRecordingWorker();
    createFrame();
    ASSERT_TRUE(pumpUntil([&] { return bodies().size() == 1; }));

    m_frame->Logout(); // before any login
    // A login with no uid: the service is never told of a logout, but the feeds stop.
    answer(RK_LOGIN, R"({"success": true, "content": {"loginSuccess": true}})");
    platform::AdvanceClock(15000);
    ASSERT_TRUE(pumpUntil([&] { return countOf(BuildConnectRequest(0)) == 1; }));
    m_frame->Logout();
    platform::AdvanceClock(120000);
    pumpAll();
    drainWorker();
    EXPECT_EQ(1u, countOf(BuildConnectRequest(0)));
    for (const std::string& body : bodies())
        EXPECT_EQ(std::string::npos, body.find("\"logout\"")) << body;
}

// The external-account page is opened as the service gave it and watched until it reaches
// the member centre; then the login information is asked for once, at the post address:
// the session cookie the page set, not a parameter, tells the service who it is.
TEST_F(SessionWorkerTest, ExternalLoginAsksForTheLoginOnceTheMemberCentreIsReached)
{
    useRecordingWorker();
    createFrame();
    answer(RK_EXAM_ADS, R"({"qq_url": "http://host:81/soft/social_login.htm?site=qq"})");
    m_frame->OpenSocialLogin("landing_qq");
    HWND view = m_frame->CurrentPageView();
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(std::vector<std::string>{"http://host:81/soft/social_login.htm?site=qq"},
              platform::WebViewNavigations(view));

    platform::AdvanceClock(2000); // still on the external page: nothing asked
    pumpAll();
    drainWorker();
    EXPECT_EQ(0u, countOf(BuildLoginInfoRequest()));
    platform::HeadlessWebViewMoveTo(view, std::string(kPageBase) + "/memberCenter_testCenter.htm");
    platform::AdvanceClock(500);
    ASSERT_TRUE(pumpUntil([&] { return countOf(BuildLoginInfoRequest()) == 1; }));
    EXPECT_EQ("http://host:81/service/post", addresses().back());
    platform::AdvanceClock(5000); // the poll has stopped
    pumpAll();
    drainWorker();
    EXPECT_EQ(1u, countOf(BuildLoginInfoRequest()));
}

// Against the dev service: the login answer's session cookie goes with the keep-alive and
// the logout, logout leaves the store alone, and a new login replaces the cookie.
TEST_F(SessionWorkerTest, LoginSessionCookieGoesWithTheKeepAliveAndANewLoginReplacesIt)
{
    testsupport::DevServiceRunner service;
    ASSERT_TRUE(service.started());
    m_dir.write("domain.vmx", testsupport::domainVmx(service->siteBase()));
    CRequestWorker::Options options;
    options.reportFolder = m_dir.folder();
    options.retryDelays = kNoWaits;
    m_worker = std::make_unique<CRequestWorker>(options);
    createFrame();
    const auto sessionHeld = [] {
        for (const platform::Cookie& c : CookieJar::Process().All()) {
            if (c.name == "SID")
                return "SID=" + c.value;
        }
        return std::string();
    };
    // The Cookie header of the last request whose body holds text, "-" when none came.
    const auto cookieWith = [&](const std::string& text) {
        std::string cookie = "-";
        for (const auto& r : service->requests()) {
            if (r.body.find(text) != std::string::npos)
                cookie = r.header("Cookie");
        }
        return cookie;
    };

    m_frame->RequestLogin("zhangsan", "123456");
    ASSERT_TRUE(pumpUntil([&] { return m_frame->IsLoggedIn(); }));
    const std::string first = sessionHeld();
    ASSERT_EQ(4u + 32u, first.size()) << first;
    EXPECT_EQ("", cookieWith("\"login\""));

    platform::AdvanceClock(15000);
    ASSERT_TRUE(pumpUntil([&] { return cookieWith("\"connect\"") != "-"; }));
    EXPECT_EQ(first, cookieWith("\"connect\""));

    m_frame->Logout();
    // The logout goes from the ended session's worker thread, after Logout has returned.
    ASSERT_TRUE(pumpUntil([&] { return cookieWith("\"logout\"") != "-"; }));
    EXPECT_EQ(first, cookieWith("\"logout\""));
    EXPECT_EQ(first, sessionHeld()) << "logout changed the store";

    m_frame->RequestLogin("zhangsan", "123456");
    ASSERT_TRUE(pumpUntil([&] { return m_frame->IsLoggedIn(); }));
    const std::string second = sessionHeld();
    EXPECT_NE(first, second);
    platform::AdvanceClock(15000);
    ASSERT_TRUE(pumpUntil([&] { return cookieWith("\"connect\"") == second; }));
    ASSERT_TRUE(service->service().MemberOfSession(second.substr(4)));
    EXPECT_FALSE(service->service().MemberOfSession(first.substr(4)));
}

TEST_F(SessionWorkerTest, ServiceDownGivesTheNoticeALogoutAndAReport)
{
    // A port held but never listened on: the first request cannot connect (not retried).
    const int held = socket(AF_INET, SOCK_STREAM, 0);
    const int port = testsupport::bindLoopback(held);
    ASSERT_NE(0, port);
    m_dir.write("domain.vmx", testsupport::domainVmx("http://127.0.0.1:" + std::to_string(port)));
    CRequestWorker::Options options;
    options.reportFolder = m_dir.folder();
    options.retryDelays = kNoWaits;
    m_worker = std::make_unique<CRequestWorker>(options);
    createFrame();

    // The failure arrives as a message; then the notice comes up after its delay.
    ASSERT_TRUE(pumpUntil([&] {
        platform::AdvanceClock(100);
        return IsWindowVisible(notice());
    }));
    EXPECT_EQ(WrapNoticeText(kServiceFailureNotice), shownNotice());
    const std::string report = m_dir.read("BugReport.log");
    EXPECT_NE(std::string::npos, report.find("Error Code:12029\r\n")) << report;
    EXPECT_FALSE(m_frame->IsLoggedIn());
    close(held);
}

} // namespace
