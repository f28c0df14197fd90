#include "client/service/MyHttpConnection.h"

#include "client/service/RequestText.h"
#include "client/service/SessionRecord.h"
#include "platform/MD5.h"

#include "DevServiceFixture.h"
#include "LoopbackHttpServer.h"
#include "LoopbackSocket.h"
#include "TempDir.h"
#include "TestCertificates.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <thread>

namespace {

// The loopback servers of these tests are reached directly even when the environment
// names a proxy (set before any thread starts).
const bool kLoopbackWithoutProxy = [] {
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    return true;
}();

const char kFixedTime[] = "2026-01-02 03:04:05";

// A loopback port nobody listens on: bound, never listened to, so connecting is refused.
class ClosedPort {
public:
    ClosedPort()
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        m_port = testsupport::bindLoopback(m_fd);
    }
    ~ClosedPort() { close(m_fd); }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// Accepts one connection, keeps every byte of the request and answers 200 "ok".
class RawCapture {
public:
    RawCapture()
    {
        m_listen = socket(AF_INET, SOCK_STREAM, 0);
        m_port = testsupport::bindLoopback(m_listen);
        listen(m_listen, 1);
        m_done = std::async(std::launch::async, [this] { return serveOne(); });
    }
    ~RawCapture() { close(m_listen); }
    int port() const { return m_port; }
    std::string request() { return m_done.get(); }

private:
    std::string serveOne()
    {
        const int fd = accept(m_listen, nullptr, nullptr);
        if (fd < 0)
            return {};
        std::string bytes;
        char buffer[4096];
        for (;;) {
            const std::size_t end = bytes.find("\r\n\r\n");
            if (end != std::string::npos) {
                std::size_t length = 0;
                const std::size_t at = bytes.find("Content-Length: ");
                if (at != std::string::npos && at < end)
                    length = std::stoul(bytes.substr(at + 16));
                if (bytes.size() >= end + 4 + length)
                    break;
            }
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        close(fd);
        return bytes;
    }

    int m_listen = -1;
    int m_port = 0;
    std::future<std::string> m_done;
};

// Resident memory of this process in KiB, from /proc/self/status ("VmHWM" is the peak).
long statusKiB(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    }
    return -1;
}

// Starts a new peak, so VmHWM then tells the most this process held from here on.
void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

class ConnectionTest : public testsupport::TempDirTest {
protected:
    std::unique_ptr<CMyHttpConnection> makeConnection()
    {
        auto connection = std::make_unique<CMyHttpConnection>(m_dir.folder());
        connection->SetTimeSource([] { return std::string(kFixedTime); });
        return connection;
    }
    std::string reports() const { return m_dir.read("BugReport.log"); }
};

// ---- pieces that need no network

TEST(ParseAddress, SplitsServerObjectAndPort)
{
    struct Case {
        const char* address;
        bool ok;
        const char* server;
        const char* object;
        int port;
        bool secure;
    };
    const Case cases[] = {
        {"http://127.0.0.1:18080/service/post", true, "127.0.0.1", "/service/post", 18080, false},
        {"http://study.example/soft/page.htm?a=1&b=2", true, "study.example", "/soft/page.htm?a=1&b=2", 80, false},
        {"http://study.example", true, "study.example", "/", 80, false},
        {"http://study.example:8080", true, "study.example", "/", 8080, false},
        {"http://study.example/a#frag", true, "study.example", "/a", 80, false},
        {"http://[::1]:9000/p", true, "[::1]", "/p", 9000, false},
        {"https://study.example/p", true, "study.example", "/p", 443, true},
        {"https://study.example:8443/p?x=http://y", true, "study.example", "/p?x=http://y", 8443, true},
        {"http://study.example/p?x=https://y", true, "study.example", "/p?x=https://y", 80, false},
        {"https://[::1]/p", true, "[::1]", "/p", 443, true},
        {"http://h:0/p", false, "", "", 80, false},
        {"http://h:65536/p", false, "", "", 80, false},
        {"http://h:12ab/p", false, "", "", 80, false},
        {"https://h:99999/p", false, "", "", 80, false},
        {"ftp://study.example/p", false, "", "", 80, false},
        {"study.example/p", false, "", "", 80, false},
        {"", false, "", "", 80, false},
    };
    for (const Case& c : cases) {
        std::string server, object;
        std::uint16_t port = 80;
        bool secure = false;
        EXPECT_EQ(CMyHttpConnection::ParseAddress(c.address, server, object, port, secure), c.ok) << c.address;
        EXPECT_EQ(server, c.server) << c.address;
        EXPECT_EQ(object, c.object) << c.address;
        EXPECT_EQ(port, c.port) << c.address;
        EXPECT_EQ(secure, c.secure) << c.address;
    }
}

TEST(StatusText, EveryNotificationOfTheTable)
{
    struct Case {
        unsigned long code;
        const char* info;
        const char* text;
    };
    const Case cases[] = {
        {10, "study.example", "Resolving name study.example"},
        {11, "10.0.0.7", "Name resolved 10.0.0.7"},
        {20, "", "Connecting to socket address"},
        {21, "", "Connected to socket address"},
        {30, "", "Sending request"},
        {31, "", "Request sent"},
        {40, "", "before"},
        {41, "", "Response received"},
        {50, "", "Closing the connection to the server"},
        {51, "", "Connection to the server closed"},
        {60, "", "Handle created"},
        {70, "", "before"},
        {100, "", "Request complete"},
        {110, "", "Being redirected"},
        {0, "", "Unknown status: 0"},
        {999, "", "Unknown status: 999"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMyHttpConnection::StatusTextFor(c.code, c.info, "before"), c.text) << c.code;

    CMyHttpConnection connection("/nonexistent/");
    connection.OnStatusCallback(30, {});
    connection.OnStatusCallback(40, {});
    EXPECT_EQ(connection.StatusText(), "Sending request");
}

TEST(TransportErrorTable, MapsLibcurlCodesToTheClientNumbers)
{
    struct Case {
        CURLcode curl;
        int code;
    };
    const Case cases[] = {
        {CURLE_COULDNT_RESOLVE_HOST, 12007}, {CURLE_COULDNT_RESOLVE_PROXY, 12007}, {CURLE_COULDNT_CONNECT, 12029},
        {CURLE_OPERATION_TIMEDOUT, 12002},   {CURLE_URL_MALFORMAT, 12005},        {CURLE_PARTIAL_FILE, 12030},
        {CURLE_RECV_ERROR, 12031},           {CURLE_GOT_NOTHING, 12152},          {CURLE_SEND_ERROR, 12030},
        {CURLE_SSL_CACERT_BADFILE, 12004},   {CURLE_PEER_FAILED_VERIFICATION, 12175},
        {CURLE_SSL_CONNECT_ERROR, 12157},    {CURLE_BAD_CONTENT_ENCODING, 12152}, {CURLE_FILESIZE_EXCEEDED, 12184},
    };
    for (const Case& c : cases) {
        const TransportError error = TransportErrorFor(c.curl);
        EXPECT_EQ(error.code, c.code) << c.curl;
        EXPECT_STRNE(error.text, "") << c.curl;
    }
}

// ---- against real loopback servers

TEST_F(ConnectionTest, SendsExactlyTheRequestBytes)
{
    RawCapture capture;
    const std::string body = "{\n   \"cmd\" : \"logout\",\n   \"userID\" : \"\xE5\xBC\xA0\xE4\xB8\x89\"\n}\n";
    auto connection = makeConnection();
    std::string answer;
    int status = 0;
    const std::string address = "http://127.0.0.1:" + std::to_string(capture.port()) + "/service/post?x=1";
    ASSERT_EQ(connection->Post(address, body, answer, status), CMyHttpConnection::kPostSucceeded);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer, "ok");
    EXPECT_EQ(capture.request(), "POST /service/post?x=1 HTTP/1.1\r\n"
                                 "Host: 127.0.0.1:"
                                     + std::to_string(capture.port())
                                     + "\r\n"
                                       "User-Agent: Kavrel\r\n"
                                       "Content-Type: text/html\r\n"
                                       "Content-Length: "
                                     + std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(connection->StatusText(), "Request complete");
    EXPECT_EQ(connection->Server(), "127.0.0.1");
    EXPECT_EQ(connection->Object(), "/service/post?x=1");
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "BugReport.log"));
}

// The system proxy is the environment's: a request to a remote host goes to http_proxy.
TEST_F(ConnectionTest, UsesTheEnvironmentProxy)
{
    RawCapture proxy;
    const std::string saved = std::getenv("http_proxy") ? std::getenv("http_proxy") : "";
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.port())).c_str(), 1);
    auto connection = makeConnection();
    std::string answer;
    int status = 0;
    const int result = connection->Post("http://study.example/service/post", "{}", answer, status);
    if (saved.empty())
        unsetenv("http_proxy");
    else
        setenv("http_proxy", saved.c_str(), 1);
    EXPECT_EQ(result, CMyHttpConnection::kPostSucceeded);
    EXPECT_EQ(answer, "ok");
    const std::string request = proxy.request();
    EXPECT_EQ(request.rfind("POST http://study.example/service/post HTTP/1.1\r\nHost: study.example\r\n", 0), 0u)
        << request;
}

TEST_F(ConnectionTest, LargeBodyWithZeroBytesArrivesWhole)
{
    std::string big;
    for (int i = 0; big.size() < 100000; ++i)
        big += static_cast<char>(i % 251); // zero bytes included
    httplib::Server server;
    server.Post("/big", [&](const httplib::Request&, httplib::Response& res) { res.set_content(big, "text/plain"); });
    testsupport::LoopbackHttpServer running(server);
    ASSERT_TRUE(running.started());

    auto connection = makeConnection();
    std::string answer = "stale";
    int status = 0;
    const int result = connection->Post(running.origin() + "/big", "x", answer, status);
    running.stop();
    ASSERT_EQ(result, CMyHttpConnection::kPostSucceeded);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer.size(), big.size());
    EXPECT_TRUE(answer == big);
}

// An IPv6 literal in brackets reaches a server listening on ::1 only.
TEST_F(ConnectionTest, PostsToAnIpv6Address)
{
    httplib::Server server;
    std::string host; // the server's threads are joined before it is read
    server.Post("/service/post", [&](const httplib::Request& req, httplib::Response& res) {
        host = req.get_header_value("Host");
        res.set_content("v6", "text/plain");
    });
    auto connection = makeConnection();
    std::string answer;
    int status = 0;
    int result = 0;
    int port = 0;
    {
        const testsupport::LoopbackHttpServer serving(server, "::1");
        port = serving.port();
        ASSERT_TRUE(serving.started()) << "no IPv6 loopback";
        result = connection->Post("http://[::1]:" + std::to_string(port) + "/service/post", "{}", answer, status);
    }
    ASSERT_EQ(result, CMyHttpConnection::kPostSucceeded) << reports();
    EXPECT_EQ(answer, "v6");
    EXPECT_EQ(host, "[::1]:" + std::to_string(port));
    EXPECT_EQ(connection->Server(), "[::1]");
}

// An answer without end, or one announcing more than the limit, fails the attempt once
// the limit is reached, and the client's memory stays flat meanwhile: without the limit
// the client would hold all 512 MiB the server offers.
TEST_F(ConnectionTest, OversizedAnswerFailsWithoutGrowingMemory)
{
    constexpr std::size_t kOffered = 512u << 20;
    constexpr std::size_t kPiece = 64u << 10;
    const std::string piece(kPiece, 'x');
    std::atomic<std::size_t> served{0};
    httplib::Server server;
    server.Post("/endless", [&](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [&](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= kOffered || !sink.write(piece.data(), piece.size()))
                return false;
            served += piece.size();
            return true;
        });
    });
    server.Post("/announced", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(kOffered, "text/plain", [&](std::size_t, std::size_t, httplib::DataSink& sink) {
            if (!sink.write(piece.data(), piece.size()))
                return false;
            served += piece.size();
            return true;
        });
    });
    const testsupport::LoopbackHttpServer serving(server, "127.0.0.1");
    const int port = serving.port();

    for (const char* path : {"/endless", "/announced"}) {
        std::filesystem::remove(m_dir.path() / "BugReport.log");
        served = 0;
        auto connection = makeConnection();
        std::string answer;
        int status = 0;
        resetPeakMemory();
        const long before = statusKiB("VmRSS");
        const int result = connection->Post("http://127.0.0.1:" + std::to_string(port) + path, "{}", answer, status);
        const long peak = statusKiB("VmHWM");
        EXPECT_EQ(result, CMyHttpConnection::kPostFailed) << path;
        EXPECT_EQ(status, 12184) << path;
        EXPECT_EQ(answer, "") << path;
        EXPECT_EQ(reports(), std::string("Error Time:") + kFixedTime
                                 + "\r\nError Code:12184\r\nError Msg:The answer is larger than the client accepts\r\n")
            << path;
        EXPECT_LT(served.load(), kOffered / 8) << path << ": the client went on reading";
        // Far below what the offered answer would take; a sanitizer build's quarantine of
        // freed blocks and its shadow memory stay well inside this too.
        EXPECT_LT(peak - before, static_cast<long>(kOffered / 4 / 1024)) << path << ": peak KiB above the start";
    }
}

// Exactly the limit is still an answer.
TEST_F(ConnectionTest, AnswerOfExactlyTheLimitArrives)
{
    const std::string limit(CMyHttpConnection::kMaxAnswerBytes, 'y');
    httplib::Server server;
    server.Post("/limit", [&](const httplib::Request&, httplib::Response& res) { res.set_content(limit, "text/plain"); });
    const testsupport::LoopbackHttpServer serving(server, "127.0.0.1");
    const int port = serving.port();
    auto connection = makeConnection();
    std::string answer;
    int status = 0;
    const int result = connection->Post("http://127.0.0.1:" + std::to_string(port) + "/limit", "{}", answer, status);
    EXPECT_EQ(result, CMyHttpConnection::kPostSucceeded);
    EXPECT_EQ(answer.size(), limit.size());
}

TEST_F(ConnectionTest, FollowsARedirect)
{
    testsupport::DevServiceRunner service;
    ASSERT_TRUE(service.started());
    auto connection = makeConnection();
    std::string answer;
    int status = 0;
    // The external-login confirmation answers with a redirect to the member centre page.
    const std::string address = service->pageBaseAddress() + "/social_login.htm?site=qq&member=1001";
    ASSERT_EQ(connection->Post(address, "{}", answer, status), CMyHttpConnection::kPostSucceeded);
    EXPECT_EQ(status, 200);
    EXPECT_NE(answer.find("<title>会员中心</title>"), std::string::npos);
    const auto requests = service->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].path, "/soft/memberCenter_testCenter.htm");
}

// Each failure writes its report form, byte for byte with CR LF line ends, and gives its
// code in status.
TEST_F(ConnectionTest, FailuresWriteTheirReportForms)
{
    testsupport::DevServiceRunner service;
    ASSERT_TRUE(service.started());
    ClosedPort closed;
    const std::string post = service->postAddress();
    const std::string refused = "http://127.0.0.1:" + std::to_string(closed.port()) + "/service/post";

    struct Case {
        const char* name;
        devservice::Fault fault;
        std::string address;
        int status;
        std::string report;
    };
    const std::string time = kFixedTime;
    const Case cases[] = {
        {"status 503", {"", 503}, post, 503, "Error Time:" + time + "\r\nError Code:503\r\n\r\n"},
        {"status 404", {"", 404}, post, 404, "Error Time:" + time + "\r\nError Code:404\r\n\r\n"},
        {"connection refused", {"/none"}, refused, 12029,
         "Error Time:" + time + "\r\nError Code:12029\r\nError Msg:A connection with the server could not be established\r\n"},
        {"no http:// in the address", {"/none"}, "127.0.0.1/service/post", 12007,
         "Error Time:" + time + "\r\nError Code:12007\r\nError Msg:The server name or address could not be resolved\r\n"},
        {"connection dropped", {"", 0, 0, -1, true}, post, 12152,
         "Error Time:" + time + "\r\nError Code:12152\r\nError Msg:The server returned an invalid or unrecognized response\r\n"},
        {"body truncated", {"", 0, 0, 5}, post, 12030,
         "Error Time:" + time + "\r\nError Code:12030\r\nError Msg:The connection with the server was terminated abnormally\r\n"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(m_dir.path() / "BugReport.log");
        service->reset();
        service->addFault(c.fault);
        auto connection = makeConnection();
        std::string answer = "stale";
        int status = 0;
        EXPECT_EQ(connection->Post(c.address, "{}", answer, status), CMyHttpConnection::kPostFailed) << c.name;
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(answer, "") << c.name;
        EXPECT_EQ(reports(), c.report) << c.name;
    }
}

TEST_F(ConnectionTest, TwoFailuresAppendTwoReports)
{
    ClosedPort closed;
    const std::string address = "http://127.0.0.1:" + std::to_string(closed.port()) + "/";
    auto connection = makeConnection();
    int calls = 0;
    connection->SetTimeSource([&] { return "T" + std::to_string(++calls); });
    std::string answer;
    int status = 0;
    EXPECT_EQ(connection->Post(address, "a", answer, status), CMyHttpConnection::kPostFailed);
    EXPECT_EQ(connection->Post(address, "b", answer, status), CMyHttpConnection::kPostFailed);
    const std::string msg = "Error Msg:A connection with the server could not be established\r\n";
    EXPECT_EQ(reports(), "Error Time:T1\r\nError Code:12029\r\n" + msg + "Error Time:T2\r\nError Code:12029\r\n" + msg);
}

TEST_F(ConnectionTest, StalledAnswerTimesOut)
{
    testsupport::DevServiceRunner service;
    ASSERT_TRUE(service.started());
    service->addFault({"", 0, 2000});
    CMyHttpConnection connection(m_dir.folder(), CMyHttpConnection::Timeouts{CMyHttpConnection::kConnectTimeoutMs, 300});
    connection.SetTimeSource([] { return std::string(kFixedTime); });
    std::string answer;
    int status = 0;
    EXPECT_EQ(connection.Post(service->postAddress(), "{}", answer, status), CMyHttpConnection::kPostFailed);
    EXPECT_EQ(status, 12002);
    EXPECT_EQ(reports(), std::string("Error Time:") + kFixedTime + "\r\nError Code:12002\r\nError Msg:The operation timed out\r\n");
}

// A service over https: a certificate the trusted authority signed for the address carries
// the login and a feed; one for another host name, an expired one and a self-signed one
// fail the attempt with 12175 before any request reaches the service.
TEST_F(ConnectionTest, HttpsIsVerifiedAgainstTheTrustedStore)
{
    const testsupport::TestCertificates certificates(m_dir.path());
    ASSERT_TRUE(certificates.ok()) << m_dir.read("openssl.log");
    certificates.trustAuthority();

    struct Case {
        const char* name;
        testsupport::ServerCertificate certificate;
        bool verified;
    };
    const Case cases[] = {
        {"signed for the address", certificates.good(), true},
        {"signed for another host name", certificates.wrongHost(), false},
        {"expired", certificates.expired(), false},
        {"self-signed", certificates.selfSigned(), false},
    };
    const std::string login = BuildLoginRequest("zhangsan", velmar::md5("123456"), "hw");
    const std::string feed = BuildUnreadMessagesRequest();
    for (const Case& c : cases) {
        devservice::DevServiceOptions options;
        options.port = 0;
        options.tlsCert = c.certificate.cert;
        options.tlsKey = c.certificate.key;
        devservice::DevService service(options);
        ASSERT_TRUE(service.start()) << c.name;
        ASSERT_EQ(service.postAddress().rfind("https://127.0.0.1:", 0), 0u) << service.postAddress();
        for (const std::string* body : {&login, &feed}) {
            std::filesystem::remove(m_dir.path() / "BugReport.log");
            auto connection = makeConnection();
            std::string answer;
            int status = 0;
            const int result = connection->Post(service.postAddress(), *body, answer, status);
            if (c.verified) {
                EXPECT_EQ(result, CMyHttpConnection::kPostSucceeded) << c.name << "\n" << reports();
                EXPECT_EQ(status, 200) << c.name;
                const std::optional<Json::Value> parsed = ParseAnswer(answer);
                ASSERT_TRUE(parsed) << c.name << ": " << answer;
                EXPECT_TRUE(ReadBool(*parsed, "success", false)) << c.name << ": " << answer;
                EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "BugReport.log")) << c.name;
            } else {
                EXPECT_EQ(result, CMyHttpConnection::kPostFailed) << c.name;
                EXPECT_EQ(status, 12175) << c.name;
                EXPECT_EQ(answer, "") << c.name;
                EXPECT_EQ(reports(), std::string("Error Time:") + kFixedTime
                                         + "\r\nError Code:12175\r\nError Msg:The server's certificate could not be verified\r\n")
                    << c.name;
            }
        }
        if (c.verified) {
            SessionRecord record;
            std::string answer;
            int status = 0;
            ASSERT_EQ(makeConnection()->Post(service.postAddress(), login, answer, status), CMyHttpConnection::kPostSucceeded);
            const std::optional<LoginAnswer> read = ReadLoginAnswer(answer, record, kFixedTime);
            ASSERT_TRUE(read);
            EXPECT_TRUE(read->loginSuccess);
            EXPECT_EQ(service.requests().size(), 3u);
        } else {
            EXPECT_TRUE(service.requests().empty()) << c.name;
        }
    }
}

// A request posted over https never continues over plain http: the password's digest
// would travel in the clear.
TEST_F(ConnectionTest, HttpsRedirectToPlainHttpIsRefused)
{
    const testsupport::TestCertificates certificates(m_dir.path());
    ASSERT_TRUE(certificates.ok()) << m_dir.read("openssl.log");
    certificates.trustAuthority();
    testsupport::DevServiceRunner plain;
    ASSERT_TRUE(plain.started());
    httplib::SSLServer secure(certificates.good().cert.c_str(), certificates.good().key.c_str());
    secure.Post("/service/post", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(plain->postAddress(), 307);
    });
    const testsupport::LoopbackHttpServer serving(secure, "127.0.0.1");
    const int port = serving.port();

    auto connection = makeConnection();
    std::string answer;
    int status = 0;
    const int result =
        connection->Post("https://127.0.0.1:" + std::to_string(port) + "/service/post", "{}", answer, status);
    EXPECT_EQ(result, CMyHttpConnection::kPostFailed);
    EXPECT_EQ(status, 12006);
    EXPECT_TRUE(plain->requests().empty());
}

} // namespace
