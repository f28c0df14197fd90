#include "client/service/RequestWorker.h"

#include "client/service/MyHttpConnection.h"
#include "platform/window/WindowSystem.h"

#include "DevServiceFixture.h"
#include "LoopbackSocket.h"
#include "TempDir.h"
#include "TestCertificates.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The loopback servers of these tests are reached directly even when the environment
// names a proxy (set before any thread starts).
const bool kLoopbackWithoutProxy = [] {
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    return true;
}();

using namespace std::chrono_literals;

const std::string kLoadText = "{\n   \"cmd\" : \"load\",\n   \"cmdType\" : \"\",\n   \"content\" : {\n"
                              "      \"currentpage\" : 0,\n      \"datasource\" : \"examtime_ad_address\",\n"
                              "      \"pagesize\" : 0\n   }\n}\n";
const std::string kLogoutText = "{\n   \"cmd\" : \"logout\",\n   \"cmdType\" : \"\",\n"
                                "   \"content\" : \"{\\n   \\\"uid\\\" : 1001,\\n   \\\"userID\\\" : \\\"zhangsan\\\"\\n}\\n\"\n}\n";
constexpr CRequestWorker::RetryDelays kHourLong{1h, 1h, 1h, 1h, 1h, 1h};

struct Outcome {
    HWND window = nullptr;
    bool succeeded = false;
    int kind = 0;
    std::string answer;
    bool current = true; // AcceptOutcome's verdict
};

std::size_t countOf(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A service on loopback that answers "/post" at once and holds every request to "/stall"
// until released (at the latest when the server goes), recording the bodies it got.
class StallingServer {
public:
    StallingServer()
    {
        m_server.Post("/post", [this](const httplib::Request& req, httplib::Response& res) {
            record(req.body);
            res.set_content("{}", "text/html");
        });
        m_server.Post("/stall", [this](const httplib::Request& req, httplib::Response& res) {
            record(req.body);
            std::unique_lock<std::mutex> lock(m_lock);
            m_changed.wait(lock, [this] { return m_released; });
            res.set_content("{}", "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~StallingServer()
    {
        release();
        m_server.stop();
        m_thread.join();
    }

    std::string address(const char* path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_released = true;
        m_changed.notify_all();
    }
    bool released()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_released;
    }
    // Waits (at most 20 s) until count bodies equal to body have arrived.
    bool waitFor(const std::string& body, std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, 20s, [&] { return std::count(m_bodies.begin(), m_bodies.end(), body) >= static_cast<long>(count); });
    }
    std::vector<std::string> bodies()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_bodies;
    }

private:
    void record(const std::string& body)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bodies.push_back(body);
        m_changed.notify_all();
    }

    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_bodies;
    bool m_released = false;
};

// A port on loopback that refuses connections.
int closedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int port = testsupport::bindLoopback(fd);
    close(fd);
    return port;
}

// Real windows of the headless window system as targets; their procedures record the two
// outcome messages (taking ownership of the answers).
class RequestWorkerTest : public testsupport::TempDirTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless));
        ASSERT_TRUE(m_service.started());
        m_window = makeWindow();
        ASSERT_NE(m_window, nullptr);
    }

    void TearDown() override
    {
        m_worker.reset();
        pumpPending();
        platform::ShutdownWindowSystem();
    }

    CRequestWorker& makeWorker(CRequestWorker::Options options = {})
    {
        options.reportFolder = m_dir.folder();
        m_worker = std::make_unique<CRequestWorker>(std::move(options));
        m_succ = m_worker->SuccMessage();
        m_fail = m_worker->FailMessage();
        return *m_worker;
    }

    HWND makeWindow()
    {
        return CreateWindowEx(0, "target", WS_POPUP, 0, 0, 10, 10, nullptr, 0,
                              [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
                                  if (msg != 0 && msg == m_succ) {
                                      std::unique_ptr<std::string> answer(reinterpret_cast<std::string*>(wParam));
                                      m_outcomes.push_back({hwnd, true, static_cast<int>(lParam), *answer,
                                                            !m_worker || m_worker->AcceptOutcome(msg, wParam, lParam)});
                                      return 0;
                                  }
                                  if (msg != 0 && msg == m_fail) {
                                      EXPECT_EQ(wParam, 0u);
                                      m_outcomes.push_back({hwnd, false, static_cast<int>(lParam), {},
                                                            !m_worker || m_worker->AcceptOutcome(msg, wParam, lParam)});
                                      return 0;
                                  }
                                  return DefWindowProc(hwnd, msg, wParam, lParam);
                              });
    }

    void pumpPending()
    {
        MSG msg;
        while (PeekMessage(&msg, true))
            DispatchMessage(&msg);
    }

    // Dispatches messages until count outcomes have arrived (or a generous deadline).
    void pumpUntil(std::size_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (m_outcomes.size() < count && std::chrono::steady_clock::now() < deadline) {
            pumpPending();
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_GE(m_outcomes.size(), count);
    }

    std::string reports() const { return m_dir.read("BugReport.log"); }
    std::string post() { return m_service->postAddress(); }

    testsupport::DevServiceRunner m_service;
    std::unique_ptr<CRequestWorker> m_worker;
    UINT m_succ = 0;
    UINT m_fail = 0;
    HWND m_window = nullptr;
    std::vector<Outcome> m_outcomes;
};

TEST_F(RequestWorkerTest, AnswerReachesTheWindowWithItsKind)
{
    CRequestWorker& worker = makeWorker();
    EXPECT_EQ(worker.SuccMessage(), RegisterWindowMessage("HTTP_RETURN_SUCC"));
    EXPECT_EQ(worker.FailMessage(), RegisterWindowMessage("HTTP_RETURN_FAIL"));
    EXPECT_NE(worker.SuccMessage(), worker.FailMessage());
    EXPECT_GE(worker.SuccMessage(), 0xC000u);

    worker.Restart();
    worker.Enqueue(post(), kLoadText, new std::string, m_window, 4);
    pumpUntil(1);
    ASSERT_EQ(m_outcomes.size(), 1u);
    EXPECT_TRUE(m_outcomes[0].succeeded);
    EXPECT_EQ(m_outcomes[0].kind, 4);
    EXPECT_EQ(m_outcomes[0].answer, m_service->service().Answer(kLoadText));

    const auto requests = m_service->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/service/post");
    EXPECT_EQ(requests[0].body, kLoadText);
    EXPECT_EQ(requests[0].header("Content-Type"), "text/html");
    EXPECT_EQ(requests[0].header("User-Agent"), "Kavrel");
    EXPECT_EQ(requests[0].header("Accept"), "");
    EXPECT_EQ(requests[0].header("Expect"), "");
}

TEST_F(RequestWorkerTest, ProductionScheduleAndNoRetryCodes)
{
    using ms = std::chrono::milliseconds;
    const CRequestWorker::RetryDelays expected{ms(3000), ms(6000), ms(12000), ms(24000), ms(48000), ms(96000)};
    EXPECT_EQ(CRequestWorker::kRetryDelays, expected);
    EXPECT_EQ(CRequestWorker::Options{}.retryDelays, expected);
    for (int code : {400, 404, 405, 500, 503, 12007, 12029, 12175})
        EXPECT_TRUE(CRequestWorker::IsNoRetryCode(code)) << code;
    for (int code : {200, 401, 403, 501, 502, 504, 12002, 12030, 12152})
        EXPECT_FALSE(CRequestWorker::IsNoRetryCode(code)) << code;
}

// Statuses the service will answer the same way again are tried once: one report, then
// the failure message.
TEST_F(RequestWorkerTest, NoRetryStatusesAreTriedOnce)
{
    for (int status : {400, 404, 405, 500, 503}) {
        m_service->reset();
        m_outcomes.clear();
        std::filesystem::remove(m_dir.path() / "BugReport.log");
        m_service->addFault({"", status, 0, -1, false, 0});
        CRequestWorker& worker = makeWorker();
        worker.Restart();
        worker.Enqueue(post(), kLoadText, new std::string, m_window, 5);
        pumpUntil(1);
        worker.Stop();
        ASSERT_EQ(m_outcomes.size(), 1u) << status;
        EXPECT_FALSE(m_outcomes[0].succeeded) << status;
        EXPECT_EQ(m_outcomes[0].kind, 5) << status;
        EXPECT_EQ(m_service->requests().size(), 1u) << status;
        EXPECT_EQ(countOf(reports(), "Error Time:"), 1u) << status;
        EXPECT_EQ(countOf(reports(), "Error Code:" + std::to_string(status) + "\r\n"), 1u) << status;
    }
}

TEST_F(RequestWorkerTest, UnreachableServerIsTriedOnce)
{
    const std::string cases[] = {
        "http://127.0.0.1:" + std::to_string(closedPort()) + "/service/post", // 12029
        "127.0.0.1/service/post",                                           // 12007: no http://
    };
    for (const std::string& address : cases) {
        m_outcomes.clear();
        int attempts = 0;
        int lastStatus = 0;
        CRequestWorker::Options options;
        options.retryDelays = kHourLong;
        options.transport = [&](const std::string& a, const std::string& b, std::string& answer, int& status) {
            ++attempts;
            const int result = CMyHttpConnection(m_dir.folder()).Post(a, b, answer, status);
            lastStatus = status;
            return result;
        };
        CRequestWorker& worker = makeWorker(std::move(options));
        worker.Restart();
        worker.Enqueue(address, kLoadText, new std::string, m_window, 7);
        pumpUntil(1);
        worker.Stop();
        EXPECT_EQ(attempts, 1) << address;
        EXPECT_TRUE(lastStatus == 12029 || lastStatus == 12007) << address << " " << lastStatus;
        ASSERT_EQ(m_outcomes.size(), 1u);
        EXPECT_FALSE(m_outcomes[0].succeeded);
        EXPECT_EQ(m_outcomes[0].kind, 7);
    }
}

// A service whose certificate does not verify is tried once: one 12175 report, then the
// failure message, which the main window shows as the communication failure.
TEST_F(RequestWorkerTest, UnverifiedCertificateIsTriedOnce)
{
    const testsupport::TestCertificates certificates(m_dir.path());
    ASSERT_TRUE(certificates.ok()) << m_dir.read("openssl.log");
    devservice::DevServiceOptions secure;
    secure.port = 0;
    secure.tlsCert = certificates.selfSigned().cert;
    secure.tlsKey = certificates.selfSigned().key;
    devservice::DevService service(secure);
    ASSERT_TRUE(service.start());

    int attempts = 0;
    CRequestWorker::Options options;
    options.retryDelays = kHourLong;
    options.transport = [&](const std::string& a, const std::string& b, std::string& answer, int& status) {
        ++attempts;
        return CMyHttpConnection(m_dir.folder()).Post(a, b, answer, status);
    };
    CRequestWorker& worker = makeWorker(std::move(options));
    worker.Restart();
    worker.Enqueue(service.postAddress(), kLoadText, new std::string, m_window, 1);
    pumpUntil(1);
    worker.Stop();
    EXPECT_EQ(attempts, 1);
    ASSERT_EQ(m_outcomes.size(), 1u);
    EXPECT_FALSE(m_outcomes[0].succeeded);
    EXPECT_EQ(m_outcomes[0].kind, 1);
    EXPECT_EQ(countOf(reports(), "Error Code:12175\r\n"), 1u) << reports();
    EXPECT_TRUE(service.requests().empty());
}

// A status that is retried: the waits come in their order, one report per failed attempt,
// and the job ends with the first success or after the seventh failure.
struct RetryCase {
    const char* name;
    int failures; // answers of 502 before the service answers properly; 0: never
    std::vector<std::chrono::milliseconds> waits;
    std::size_t attempts;
    bool succeeded;
};

class RequestWorkerRetry : public RequestWorkerTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(RequestWorkerRetry, WaitsInOrderAndEndsWithSuccessOrSeventhFailure)
{
    const RetryCase& c = GetParam();
    m_service->addFault({"", 502, 0, -1, false, c.failures});
    std::vector<std::chrono::milliseconds> waits;
    CRequestWorker::Options options;
    options.retryDelays = {6ms, 5ms, 4ms, 3ms, 2ms, 1ms};
    options.onRetryWait = [&](std::chrono::milliseconds delay) { waits.push_back(delay); };
    CRequestWorker& worker = makeWorker(std::move(options));
    worker.Restart();
    worker.Enqueue(post(), kLoadText, new std::string, m_window, 6);
    pumpUntil(1);
    worker.Stop();
    worker.WaitForStopped(); // the thread has ended, so waits is complete and safe to read

    EXPECT_EQ(waits, c.waits);
    EXPECT_EQ(m_service->requests().size(), c.attempts);
    EXPECT_EQ(countOf(reports(), "Error Code:502\r\n"), c.succeeded ? c.attempts - 1 : c.attempts);
    ASSERT_EQ(m_outcomes.size(), 1u);
    EXPECT_EQ(m_outcomes[0].succeeded, c.succeeded);
    EXPECT_EQ(m_outcomes[0].kind, 6);
    if (c.succeeded) {
        EXPECT_NE(m_outcomes[0].answer.find("exam_datetime"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    RequestWorkerTest, RequestWorkerRetry,
    ::testing::Values(RetryCase{"RetriedStatusIsTriedSevenTimesWithTheWaitsInOrder", 0,
                                {6ms, 5ms, 4ms, 3ms, 2ms, 1ms}, 7, false},
                      RetryCase{"RetryThatSucceedsDeliversTheAnswer", 2, {6ms, 5ms}, 3, true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(RequestWorkerTest, NewJobEndsTheRetryWait)
{
    m_service->addFault({"", 502, 0, -1, false, 1});
    std::promise<void> waiting;
    std::once_flag once;
    CRequestWorker::Options options;
    options.retryDelays = kHourLong;
    options.onRetryWait = [&](std::chrono::milliseconds) { std::call_once(once, [&] { waiting.set_value(); }); };
    CRequestWorker& worker = makeWorker(std::move(options));
    worker.Restart();
    worker.Enqueue(post(), kLoadText, new std::string, m_window, 5);
    ASSERT_EQ(waiting.get_future().wait_for(20s), std::future_status::ready);

    worker.Enqueue(post(), kLoadText, new std::string, m_window, 6);
    pumpUntil(2);
    ASSERT_EQ(m_outcomes.size(), 2u);
    EXPECT_TRUE(m_outcomes[0].succeeded);
    EXPECT_EQ(m_outcomes[0].kind, 5);
    EXPECT_TRUE(m_outcomes[1].succeeded);
    EXPECT_EQ(m_outcomes[1].kind, 6);
    EXPECT_EQ(m_service->requests().size(), 3u);
}

TEST_F(RequestWorkerTest, StopCutsARetryWaitShortWithOneFinalAttemptAndNoOutcome)
{
    m_service->addFault({"", 502, 0, -1, false, 0});
    std::promise<void> waiting;
    std::once_flag once;
    CRequestWorker::Options options;
    options.retryDelays = kHourLong;
    options.onRetryWait = [&](std::chrono::milliseconds) { std::call_once(once, [&] { waiting.set_value(); }); };
    CRequestWorker& worker = makeWorker(std::move(options));
    worker.Restart();
    worker.Enqueue(post(), kLoadText, new std::string, m_window, 1);
    ASSERT_EQ(waiting.get_future().wait_for(20s), std::future_status::ready);

    worker.Stop();
    worker.WaitForStopped();
    EXPECT_EQ(m_service->requests().size(), 2u);
    // The failure belongs to the stopped session: no window hears of it.
    pumpPending();
    EXPECT_TRUE(m_outcomes.empty());
}

// After a failed job every queued job, and every job queued later, is dropped unsent and
// unanswered, until Restart.
TEST_F(RequestWorkerTest, FailedJobPurgesTheQueueUntilRestart)
{
    m_service->addFault({"", 503, 0, -1, false, 1});
    CRequestWorker& worker = makeWorker();
    worker.Restart();
    worker.Enqueue(post(), kLoadText, new std::string, m_window, 4);
    worker.Enqueue(post(), kLoadText, new std::string, m_window, 5);
    pumpUntil(1);
    // Queued while purging: a feed request and the logout of the failure path.
    worker.Enqueue(post(), kLoadText, new std::string, m_window, 6);
    worker.Enqueue(post(), kLogoutText, new std::string, nullptr, 0);
    worker.Restart();
    pumpPending();

    ASSERT_EQ(m_outcomes.size(), 1u);
    EXPECT_FALSE(m_outcomes[0].succeeded);
    EXPECT_EQ(m_outcomes[0].kind, 4);
    EXPECT_EQ(m_service->requests().size(), 1u);

    // The purge ends with the restart.
    worker.Enqueue(post(), kLoadText, new std::string, m_window, 7);
    pumpUntil(2);
    EXPECT_TRUE(m_outcomes[1].succeeded);
    EXPECT_EQ(m_outcomes[1].kind, 7);
    EXPECT_EQ(m_service->requests().size(), 2u);
}

TEST_F(RequestWorkerTest, ClosedWindowGetsNothingAndEnqueueNeverWaits)
{
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    CRequestWorker::Options options;
    options.transport = [&](const std::string& a, const std::string& b, std::string& answer, int& status) {
        opened.wait();
        return CMyHttpConnection(m_dir.folder()).Post(a, b, answer, status);
    };
    CRequestWorker& worker = makeWorker(std::move(options));
    worker.Restart();
    HWND closing = makeWindow();
    worker.Enqueue(post(), kLoadText, new std::string, closing, 4);
    // The worker is held in the transport; queueing must still return at once.
    worker.Enqueue(post(), kLoadText, new std::string, m_window, 5);
    DestroyWindow(closing);
    gate.set_value();
    pumpUntil(1);

    ASSERT_EQ(m_outcomes.size(), 1u);
    EXPECT_EQ(m_outcomes[0].window, m_window);
    EXPECT_EQ(m_outcomes[0].kind, 5);
    EXPECT_EQ(m_service->requests().size(), 2u);
}

// The logout path: a job without a target queued right before Stop is sent once by the
// stopped thread, and its answer is dropped.
TEST_F(RequestWorkerTest, StopSendsAQueuedLogoutOnce)
{
    CRequestWorker& worker = makeWorker();
    worker.Restart();
    worker.Enqueue(post(), kLogoutText, new std::string, nullptr, 0);
    worker.Stop();
    worker.WaitForStopped();
    const auto requests = m_service->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, kLogoutText);
    pumpPending();
    EXPECT_TRUE(m_outcomes.empty());

    // Stop without a thread running, twice, is harmless.
    worker.Stop();
    worker.Stop();
    EXPECT_EQ(m_service->requests().size(), 1u);
}

// Logout while a request hangs: Stop returns at once, the hanging attempt is cancelled
// (reported, but neither answered nor purging), and the "logout" behind it goes out once.
TEST_F(RequestWorkerTest, StopCancelsAHangingAttemptAndTheLogoutStillGoesOnce)
{
    StallingServer server;
    CRequestWorker& worker = makeWorker();
    worker.Restart();
    worker.Enqueue(server.address("/stall"), kLoadText, new std::string, m_window, 3);
    ASSERT_TRUE(server.waitFor(kLoadText, 1));
    worker.Enqueue(server.address("/post"), kLogoutText, new std::string, nullptr, 0);
    worker.Stop();
    worker.Restart(); // the next session starts while the old one still sends its logout
    ASSERT_TRUE(server.waitFor(kLogoutText, 1));
    worker.WaitForStopped();
    EXPECT_FALSE(server.released());

    pumpPending();
    EXPECT_TRUE(m_outcomes.empty());
    EXPECT_EQ(server.bodies(), (std::vector<std::string>{kLoadText, kLogoutText}));
    EXPECT_EQ(countOf(reports(), "Error Code:12017\r\nError Msg:The operation was canceled"), 1u);

    // The new session works as ever.
    worker.Enqueue(server.address("/post"), kLoadText, new std::string, m_window, 4);
    pumpUntil(1);
    EXPECT_TRUE(m_outcomes[0].succeeded);
    EXPECT_TRUE(m_outcomes[0].current);
    EXPECT_EQ(m_outcomes[0].kind, 4);
}

// An outcome posted before Stop but read after it belongs to the session that ended.
TEST_F(RequestWorkerTest, OutcomeStillQueuedAtStopIsRefused)
{
    StallingServer server;
    CRequestWorker& worker = makeWorker();
    worker.Restart();
    worker.Enqueue(server.address("/post"), kLoadText, new std::string, m_window, 5);
    // Posting follows the answer before the next job starts, so when the marker has
    // arrived the outcome waits in the window's queue.
    worker.Enqueue(server.address("/post"), "marker", new std::string, nullptr, 0);
    ASSERT_TRUE(server.waitFor("marker", 1));
    worker.Restart();
    worker.Enqueue(server.address("/post"), kLoadText, new std::string, m_window, 6);
    pumpUntil(2);

    ASSERT_EQ(m_outcomes.size(), 2u);
    EXPECT_EQ(m_outcomes[0].kind, 5);
    EXPECT_FALSE(m_outcomes[0].current);
    EXPECT_EQ(m_outcomes[1].kind, 6);
    EXPECT_TRUE(m_outcomes[1].current);
    // An outcome the worker did not post is not its to refuse.
    EXPECT_TRUE(worker.AcceptOutcome(m_fail, 0, 9));
}

// A "logout" to a service that never answers is given up, with a report, either when its
// final pass runs out of time or when the worker goes with the process.
struct GiveUpCase {
    const char* name;
    std::chrono::milliseconds finalPassLimit;
    bool destroyWorker;
};

class RequestWorkerGiveUp : public RequestWorkerTest, public ::testing::WithParamInterface<GiveUpCase> {};

TEST_P(RequestWorkerGiveUp, HangingLogoutEndsBeforeTheServiceAnswers)
{
    const GiveUpCase& c = GetParam();
    StallingServer server;
    CRequestWorker::Options options;
    options.finalPassLimit = c.finalPassLimit;
    CRequestWorker& worker = makeWorker(std::move(options));
    worker.Restart();
    worker.Enqueue(server.address("/post"), kLoadText, new std::string, m_window, 5);
    pumpUntil(1); // the thread has surely begun its attempts; the logout is not the first
    worker.Enqueue(server.address("/stall"), kLogoutText, new std::string, nullptr, 0);
    ASSERT_TRUE(server.waitFor(kLogoutText, 1));
    worker.Stop();
    if (c.destroyWorker)
        m_worker.reset();
    else
        worker.WaitForStopped();
    EXPECT_FALSE(server.released());
    EXPECT_EQ(countOf(reports(), "Error Code:12017\r\nError Msg:The operation was canceled"), 1u);
    EXPECT_EQ(countOf(reports(), "Error Time:"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    RequestWorkerTest, RequestWorkerGiveUp,
    ::testing::Values(GiveUpCase{"FinalPassRunsOutOfTime", std::chrono::milliseconds(100), false},
                      GiveUpCase{"WorkerGoesWithTheProcess", std::chrono::hours(1), true}),
    [](const ::testing::TestParamInfo<GiveUpCase>& row) { return std::string(row.param.name); });

} // namespace
