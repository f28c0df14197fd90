// The download window over real HTTP on loopback: what reaches the file, the records and
// the reports for a plain file, error answers, a proxy asking for credentials, a body
// without length or shorter than announced, refused schemes, a full disk, a second start
// of a running address, and the window destroyed while its worker transfers.
#include "LoopbackHttpServer.h"
#include "TempDir.h"
#include "TestCertificates.h"
#include "UpdateTestSupport.h"
#include "WindowTestSupport.h"

#include "client/update/DownloadTransfer.h"
#include "client/update/HttpFileDownWnd.h"
#include "devservice/DevService.h"

#include <httplib.h>

#include <climits>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

namespace {

namespace fs = std::filesystem;

const std::string kFile = [] {
    std::string bytes(50000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    return bytes;
}();

// A loopback server with one route per behaviour under test.
class Server {
public:
    Server()
    {
        m_server.Get("/file.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Last-Modified", "Wed, 09 Dec 2026 10:00:00 GMT");
            res.set_content(kFile, "application/octet-stream");
        });
        m_server.Get("/missing.bin", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<html>404</html>", "text/html");
        });
        m_server.Get("/proxy-once.bin", [this](const httplib::Request&, httplib::Response& res) {
            if (m_proxyAsked++ == 0) {
                res.status = 407;
                res.set_header("Proxy-Authenticate", "Basic realm=\"proxy\"");
                res.set_content("<html>407</html>", "text/html");
                return;
            }
            res.set_content(kFile, "application/octet-stream");
        });
        m_server.Get("/proxy-always.bin", [](const httplib::Request&, httplib::Response& res) {
            res.status = 407;
            res.set_header("Proxy-Authenticate", "Basic realm=\"proxy\"");
            res.set_content("<html>407</html>", "text/html");
        });
        m_server.Get("/unsized.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
                if (offset < kFile.size())
                    sink.write(kFile.data() + offset, std::min<std::size_t>(7000, kFile.size() - offset));
                else
                    sink.done();
                return true;
            });
        });
        m_server.Get("/short.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(kFile.size(), "application/octet-stream", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset == 0)
                    sink.write(kFile.data(), kFile.size() / 2);
                return offset == 0; // then the connection closes
            });
        });
        // More than a member picture may be: announced, or arriving without end.
        m_server.Get("/oversized.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(kMaxDownloadBytes + 1, 'p'), "application/octet-stream");
        });
        m_server.Get("/endless.bin", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream", [this](size_t offset, httplib::DataSink& sink) {
                static const std::string piece(64 << 10, 'e');
                if (offset >= (256u << 20) || !sink.write(piece.data(), piece.size()))
                    return false;
                m_endlessServed += piece.size();
                return true;
            });
        });
        m_server.Get("/to-file.bin", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("file:///etc/hostname");
        });
        m_server.Get("/moved.bin", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/file.bin"); });
        // One piece, then a second when the test releases it, then nothing until the end.
        m_server.Get("/slow.bin", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(kFile.size(), "application/octet-stream", [this](size_t offset, size_t, httplib::DataSink& sink) {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (offset == 0) {
                    sink.write(kFile.data(), 1000);
                    return true;
                }
                if (offset == 1000) {
                    m_changed.wait(lock, [this] { return m_released || m_stopping; });
                    if (m_stopping)
                        return false;
                    sink.write(kFile.data() + 1000, 1000);
                    m_secondSent = true;
                    m_changed.notify_all();
                    return true;
                }
                m_changed.wait(lock, [this] { return m_finish || m_stopping; });
                if (m_stopping)
                    return false;
                sink.write(kFile.data() + offset, kFile.size() - offset);
                return true;
            });
        });
        m_server.set_logger([this](const httplib::Request& req, const httplib::Response&) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(req.path);
        });
        m_running.emplace(m_server);
    }
    ~Server()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        m_running.reset();
    }

    bool started() const { return m_running->started(); }
    std::string url(const std::string& path) const { return m_running->origin() + path; }
    int requests(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(std::count(m_requests.begin(), m_requests.end(), path));
    }
    std::size_t endlessServed() const { return m_endlessServed; }
    void releaseSecondPiece()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    void waitSecondPieceSent()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_secondSent; });
    }
    void finishSlow()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finish = true;
        m_changed.notify_all();
    }

private:
    httplib::Server m_server;
    std::optional<testsupport::LoopbackHttpServer> m_running;
    std::atomic<int> m_proxyAsked{0};
    std::atomic<std::size_t> m_endlessServed{0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    bool m_released = false;
    bool m_secondSent = false;
    bool m_finish = false;
    std::vector<std::string> m_requests; // completed requests (the logger runs after each)
};

// The client's window, with the reports the client ignores counted.
class CountingDownWnd : public CHttpFileDownWnd {
public:
    int proxyAsked = 0;
    int errors = 0;
    int finished = 0;
    int progress = 0;

protected:
    void OnProxyValidate(const std::string& address, std::string& user, std::string& password) override
    {
        ++proxyAsked;
        CHttpFileDownWnd::OnProxyValidate(address, user, password);
    }
    void OnError(const std::string& address) override
    {
        ++errors;
        CHttpFileDownWnd::OnError(address);
    }
    void OnDownFinished(const std::string& address, int zero, int length) override
    {
        ++finished;
        CHttpFileDownWnd::OnDownFinished(address, zero, length);
    }
    void OnProgress(const std::string& address, int done, int total) override
    {
        ++progress;
        CHttpFileDownWnd::OnProgress(address, done, total);
    }
};

class DownloadWindowTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        ASSERT_TRUE(m_server.started());
        m_owner = makeWindow();
        m_window = std::make_unique<CountingDownWnd>();
        ASSERT_TRUE(m_window->Create(m_owner));
    }
    void TearDown() override
    {
        m_window.reset();
        HeadlessWindowTest::TearDown();
    }

    bool ended() { return m_window->finished + m_window->errors > 0; }
    std::string target() const { return (m_dir.path() / "vip_login_pic.png").string(); }

    testsupport::TempDir m_dir;
    Server m_server;
    HWND m_owner = nullptr;
    std::unique_ptr<CountingDownWnd> m_window;
};

struct Case {
    const char* name;
    std::string address; // a path on the server, or a whole address
    bool succeeds;
    bool recorded; // the server answered 200, so a record was made
    int requests;
    int proxyAsked;
    int recordTotal; // after success: Content-Length, or 0 when none was sent
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

class DownloadCases : public DownloadWindowTest, public ::testing::WithParamInterface<Case> {};

TEST_P(DownloadCases, FileRecordAndReports)
{
    const Case& c = GetParam();
    const std::string address = c.address.front() == '/' ? m_server.url(c.address) : c.address;
    int done = 0;
    m_window->Download(address, target(), [&] { ++done; });
    ASSERT_TRUE(testsupport::serveUntil([&] { return ended(); }));
    ASSERT_TRUE(testsupport::serveUntil([&] { return !m_window->IsDownloading(address); }));

    EXPECT_EQ(m_window->finished, c.succeeds ? 1 : 0);
    EXPECT_EQ(m_window->errors, c.succeeds ? 0 : 1);
    EXPECT_EQ(done, c.succeeds ? 1 : 0) << "the finish function runs only after success";
    EXPECT_EQ(m_window->proxyAsked, c.proxyAsked);
    if (c.address.front() == '/') {
        EXPECT_EQ(m_server.requests(c.address), c.requests);
    }
    EXPECT_FALSE(fs::exists(target() + ".~vm")) << "no temporary file is left";
    EXPECT_LT(m_server.endlessServed(), std::size_t{32} << 20) << "the worker went on reading";
    EXPECT_EQ(fs::exists(target()), c.succeeds);
    if (c.succeeds) {
        EXPECT_EQ(testsupport::TempDir::readFile(target()), kFile);
    }

    const DownloadRecord* record = m_window->FindRecord(address);
    ASSERT_EQ(record != nullptr, c.recorded);
    if (record) {
        EXPECT_EQ(record->path, target());
        EXPECT_EQ(record->status, c.succeeds ? "Finished" : "Error");
        if (c.succeeds) {
            EXPECT_EQ(record->done, c.recordTotal);
            EXPECT_EQ(record->total, c.recordTotal);
        }
    }
}

const int kSize = static_cast<int>(kFile.size());
INSTANTIATE_TEST_SUITE_P(
    Loopback, DownloadCases,
    ::testing::Values(Case{"Ok200", "/file.bin", true, true, 1, 0, kSize},
                      Case{"NotFound404IsAnErrorWithoutRecord", "/missing.bin", false, false, 1, 0, 0},
                      Case{"Proxy407ThenOkAsksCredentialsOnce", "/proxy-once.bin", true, true, 2, 1, kSize},
                      Case{"Proxy407TwiceIsAnError", "/proxy-always.bin", false, false, 2, 1, 0},
                      Case{"NoContentLengthSucceedsWithLengthZero", "/unsized.bin", true, true, 1, 0, 0},
                      Case{"ShortBodyIsAnError", "/short.bin", false, true, 1, 0, 0},
                      Case{"OversizedContentLengthIsAnErrorWithoutRecord", "/oversized.bin", false, false, 1, 0, 0},
                      Case{"EndlessBodyStopsAtThePictureLimit", "/endless.bin", false, true, 1, 0, 0},
                      Case{"RedirectIsFollowed", "/moved.bin", true, true, 1, 0, kSize},
                      Case{"RedirectToFileSchemeIsRefused", "/to-file.bin", false, false, 1, 0, 0},
                      Case{"FileSchemeIsRefused", "file:///etc/hostname", false, false, 0, 0, 0},
                      Case{"OtherSchemeIsRefused", "ftp://127.0.0.1/x", false, false, 0, 0, 0}),
    [](const ::testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

TEST_F(DownloadWindowTest, DiskFullIsAnErrorAndLeavesNoTemporaryFile)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    // Every write to the temporary file fails as on a full disk.
    fs::create_symlink("/dev/full", target() + ".~vm");
    const std::string address = m_server.url("/file.bin");
    m_window->Download(address, target(), [] {});
    ASSERT_TRUE(testsupport::serveUntil([&] { return ended(); }));
    EXPECT_EQ(m_window->errors, 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(target() + ".~vm")));
    EXPECT_FALSE(fs::exists(target()));
    ASSERT_NE(m_window->FindRecord(address), nullptr);
    EXPECT_EQ(m_window->FindRecord(address)->status, "Error");
}

TEST_F(DownloadWindowTest, SameAddressStartsOnceWhileRunningAndOnceMoreAfterClear)
{
    const std::string address = m_server.url("/slow.bin");
    m_window->Download(address, target(), [] {});
    ASSERT_TRUE(testsupport::serveUntil([&] { return m_window->progress > 0; }));
    m_window->StartDownload(address, target(), ZTDownloadFileWndBase::kPriorityIdle);
    m_window->Download(address, target(), [] {});
    m_server.releaseSecondPiece();
    m_server.finishSlow();
    ASSERT_TRUE(testsupport::serveUntil([&] { return m_window->finished == 1; }));
    ASSERT_TRUE(testsupport::serveUntil([&] { return !m_window->IsDownloading(address); }));
    EXPECT_EQ(m_server.requests("/slow.bin"), 1);
    EXPECT_EQ(testsupport::TempDir::readFile(target()), kFile);

    // A record keeps the address from being fetched again...
    m_window->Download(address, target(), [] {});
    EXPECT_FALSE(m_window->IsDownloading(address));
    // ...until the records are cleared; the finished worker is replaced.
    m_window->ClearRecords();
    m_window->Download(address, target(), [] {});
    ASSERT_TRUE(testsupport::serveUntil([&] { return m_window->finished == 2; }));
    EXPECT_EQ(m_server.requests("/slow.bin"), 2);
}

TEST_F(DownloadWindowTest, WindowDestroyedMidTransferStopsItsWorker)
{
    const std::string address = m_server.url("/slow.bin");
    m_window->Download(address, target(), [] { ADD_FAILURE() << "finished after its window was destroyed"; });
    ASSERT_TRUE(testsupport::serveUntil([&] { return m_window->progress > 0; }));
    // The worker now reports the second piece and waits for a window nobody serves.
    m_server.releaseSecondPiece();
    m_server.waitSecondPieceSent();
    m_window.reset(); // returns once the worker has ended; the server never finishes
    EXPECT_FALSE(fs::exists(target() + ".~vm"));
    EXPECT_FALSE(fs::exists(target()));
    pumpAll();
}

// The member picture from the study service over https, verified against the trusted
// authority, and over plain http on the IPv6 loopback. A certificate that does not verify
// fails before any answer, so no record is made and the picture stays away.
TEST_F(DownloadWindowTest, MemberPictureOverHttpsAndIpv6)
{
    const testsupport::TestCertificates certificates(m_dir.path());
    ASSERT_TRUE(certificates.ok()) << m_dir.read("openssl.log");
    certificates.trustAuthority();
    using Certificate = testsupport::ServerCertificate (testsupport::TestCertificates::*)() const;
    struct SecureCase {
        const char* name;
        const char* host;
        Certificate certificate; // none: plain http
        bool succeeds;
    };
    const SecureCase cases[] = {
        {"https signed for the address", "127.0.0.1", &testsupport::TestCertificates::good, true},
        {"https on the IPv6 loopback", "::1", &testsupport::TestCertificates::good, true},
        {"http on the IPv6 loopback", "::1", nullptr, true},
        {"https signed for another host name", "127.0.0.1", &testsupport::TestCertificates::wrongHost, false},
        {"https expired", "127.0.0.1", &testsupport::TestCertificates::expired, false},
        {"https self-signed", "127.0.0.1", &testsupport::TestCertificates::selfSigned, false},
    };
    for (const SecureCase& c : cases) {
        devservice::DevServiceOptions options;
        options.host = c.host;
        options.port = 0;
        if (c.certificate) {
            options.tlsCert = (certificates.*c.certificate)().cert;
            options.tlsKey = (certificates.*c.certificate)().key;
        }
        devservice::DevService service(options);
        ASSERT_TRUE(service.start()) << c.name;
        const std::string address = service.service().AvatarAddress(1001);
        ASSERT_EQ(address.rfind(c.certificate ? "https://" : "http://", 0), 0u) << address;

        fs::remove(target());
        m_window->finished = m_window->errors = 0;
        m_window->ClearRecords();
        m_window->Download(address, target(), [] {});
        ASSERT_TRUE(testsupport::serveUntil([&] { return ended(); })) << c.name;
        ASSERT_TRUE(testsupport::serveUntil([&] { return !m_window->IsDownloading(address); })) << c.name;
        EXPECT_EQ(m_window->finished, c.succeeds ? 1 : 0) << c.name;
        EXPECT_EQ(m_window->FindRecord(address) != nullptr, c.succeeds) << c.name;
        EXPECT_EQ(fs::exists(target()), c.succeeds) << c.name;
        if (c.succeeds) {
            EXPECT_EQ(testsupport::TempDir::readFile(target()).substr(0, 8), "\x89PNG\r\n\x1a\n") << c.name;
        }
        EXPECT_EQ(service.requests().size(), c.succeeds ? 1u : 0u) << c.name;
    }
}

// A picture asked for over https never continues over plain http.
TEST_F(DownloadWindowTest, HttpsRedirectToPlainHttpIsRefused)
{
    const testsupport::TestCertificates certificates(m_dir.path());
    ASSERT_TRUE(certificates.ok()) << m_dir.read("openssl.log");
    certificates.trustAuthority();
    httplib::SSLServer secure(certificates.good().cert.c_str(), certificates.good().key.c_str());
    const std::string plain = m_server.url("/file.bin");
    secure.Get("/down.png", [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(plain); });
    const int port = secure.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { secure.listen_after_bind(); });
    while (!secure.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    const std::string address = "https://127.0.0.1:" + std::to_string(port) + "/down.png";
    m_window->Download(address, target(), [] {});
    const bool ended = testsupport::serveUntil([&] { return this->ended(); });
    secure.stop();
    thread.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(m_window->errors, 1);
    EXPECT_EQ(m_server.requests("/file.bin"), 0);
    EXPECT_FALSE(fs::exists(target()));
}

TEST(ContentLength, ValuesBeyondIntAreUnknown)
{
    EXPECT_EQ(ContentLengthValue("0"), 0);
    EXPECT_EQ(ContentLengthValue("50000"), 50000);
    EXPECT_EQ(ContentLengthValue("2147483647"), INT_MAX);
    EXPECT_EQ(ContentLengthValue("2147483648"), std::nullopt);
    EXPECT_EQ(ContentLengthValue("99999999999999999999999"), std::nullopt);
    EXPECT_EQ(ContentLengthValue("-1"), std::nullopt);
    EXPECT_EQ(ContentLengthValue("12 bytes"), std::nullopt);
    EXPECT_EQ(ContentLengthValue(""), std::nullopt);
}

} // namespace
