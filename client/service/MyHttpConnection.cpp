#include "client/service/MyHttpConnection.h"

#include "client/log/BugReport.h"
#include "client/service/CookieJar.h"
#include "client/service/Curl.h"
#include "platform/StringFormat.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <charconv>
#include <chrono>
#include <ctime>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>

namespace {

// Notification codes of the session's status callback.
enum StatusCode : unsigned long {
    kResolvingName = 10,
    kNameResolved = 11,
    kConnectingToServer = 20,
    kConnectedToServer = 21,
    kSendingRequest = 30,
    kRequestSent = 31,
    kReceivingResponse = 40,
    kResponseReceived = 41,
    kClosingConnection = 50,
    kConnectionClosed = 51,
    kHandleCreated = 60,
    kHandleClosing = 70,
    kRequestComplete = 100,
    kRedirect = 110,
};

// libcurl result code -> the client's transport error number and text. The only place
// where libcurl's codes meet the client's.
struct ErrorRow {
    CURLcode curl;
    TransportError error;
};
constexpr TransportError kNameNotResolved{12007, "The server name or address could not be resolved"};
constexpr TransportError kCannotConnect{12029, "A connection with the server could not be established"};
constexpr TransportError kTimeout{12002, "The operation timed out"};
constexpr TransportError kConnectionAborted{12030, "The connection with the server was terminated abnormally"};
constexpr TransportError kConnectionReset{12031, "The connection with the server was reset"};
constexpr TransportError kInvalidResponse{12152, "The server returned an invalid or unrecognized response"};
constexpr TransportError kInternalError{12004, "An internal error occurred"};
constexpr TransportError kNotVerified{CMyHttpConnection::kNotVerifiedCode,
                                      "The server's certificate could not be verified"};
constexpr TransportError kAnswerTooLarge{12184, "The answer is larger than the client accepts"};
constexpr ErrorRow kErrorTable[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, {12006, "The URL does not use a recognized protocol"}},
    {CURLE_URL_MALFORMAT, {12005, "The URL is invalid"}},
    {CURLE_COULDNT_RESOLVE_PROXY, kNameNotResolved},
    {CURLE_COULDNT_RESOLVE_HOST, kNameNotResolved},
    {CURLE_COULDNT_CONNECT, kCannotConnect},
    {CURLE_INTERFACE_FAILED, kCannotConnect},
    {CURLE_OPERATION_TIMEDOUT, kTimeout},
    {CURLE_WEIRD_SERVER_REPLY, kInvalidResponse},
    {CURLE_HTTP2, kInvalidResponse},
    {CURLE_GOT_NOTHING, kInvalidResponse},
    {CURLE_PARTIAL_FILE, kConnectionAborted},
    {CURLE_SEND_ERROR, kConnectionAborted},
    {CURLE_SEND_FAIL_REWIND, kConnectionAborted},
    {CURLE_RECV_ERROR, kConnectionReset},
    {CURLE_ABORTED_BY_CALLBACK, {12017, "The operation was canceled"}},
    {CURLE_TOO_MANY_REDIRECTS, {12156, "The redirection failed"}},
    {CURLE_FILESIZE_EXCEEDED, kAnswerTooLarge},
    {CURLE_BAD_CONTENT_ENCODING, kInvalidResponse},
    {CURLE_SSL_CONNECT_ERROR, {12157, "An error occurred in the secure channel"}},
    {CURLE_PEER_FAILED_VERIFICATION, kNotVerified},
    {CURLE_SSL_ISSUER_ERROR, kNotVerified},
    {CURLE_SSL_PINNEDPUBKEYNOTMATCH, kNotVerified},
    {CURLE_SSL_INVALIDCERTSTATUS, kNotVerified},
    {CURLE_FAILED_INIT, kInternalError},
    {CURLE_OUT_OF_MEMORY, kInternalError},
    {CURLE_WRITE_ERROR, kInternalError},
};

constexpr const char kOtherErrorText[] = "Error in Function CMyHttpConnection::Post";
constexpr const char kContentType[] = "Content-Type: text/html";
// The body is read in pieces of at most this many bytes, as the old reads into a 4 KiB
// buffer (one byte kept for the terminating zero) were; libcurl's receive buffer is set to
// the same 4 KiB.
constexpr std::size_t kReadPiece = 4095;

// What one attempt's callbacks share.
struct Attempt {
    CMyHttpConnection* connection = nullptr;
    std::string* answer = nullptr;
    const std::function<bool()>* abortCheck = nullptr;
    long stallLimitMs = 0;
    bool headersStarted = false;
    bool connected = false;
    bool timedOut = false;
    bool tooLarge = false;
    curl_off_t lastDown = 0;
    curl_off_t lastUp = 0;
    std::chrono::steady_clock::time_point lastMove;
};

int onProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
    auto* attempt = static_cast<Attempt*>(user);
    if (*attempt->abortCheck && (*attempt->abortCheck)())
        return 1;
    if (!attempt->connected)
        return 0;
    const auto now = std::chrono::steady_clock::now();
    if (dlnow != attempt->lastDown || ulnow != attempt->lastUp) {
        attempt->lastDown = dlnow;
        attempt->lastUp = ulnow;
        attempt->lastMove = now;
        return 0;
    }
    if (now - attempt->lastMove >= std::chrono::milliseconds(attempt->stallLimitMs)) {
        attempt->timedOut = true;
        return 1;
    }
    return 0;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* attempt = static_cast<Attempt*>(user);
    const std::size_t bytes = size * count;
    if (bytes > CMyHttpConnection::kMaxAnswerBytes - attempt->answer->size()) {
        attempt->tooLarge = true;
        return 0;
    }
    try {
        attempt->answer->append(data, bytes);
    } catch (const std::exception&) {
        return 0; // ends the transfer with a write error
    }
    return bytes;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* attempt = static_cast<Attempt*>(user);
    const std::size_t bytes = size * count;
    const bool statusLine = bytes >= 5 && std::string_view(data, 5) == "HTTP/";
    if (!attempt->headersStarted) {
        attempt->headersStarted = true;
        attempt->connection->OnStatusCallback(kRequestSent, {});
        attempt->connection->OnStatusCallback(kReceivingResponse, {});
    } else if (statusLine) {
        // A further response: the previous one was a redirect being followed.
        attempt->connection->OnStatusCallback(kRedirect, {});
    }
    return bytes;
}

curl_socket_t onOpenSocket(void* user, curlsocktype purpose, curl_sockaddr* address)
{
    auto* attempt = static_cast<Attempt*>(user);
    if (purpose == CURLSOCKTYPE_IPCXN) {
        char text[INET6_ADDRSTRLEN] = "";
        if (address->family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&address->addr)->sin_addr, text, sizeof text);
        else if (address->family == AF_INET6)
            inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&address->addr)->sin6_addr, text, sizeof text);
        attempt->connection->OnStatusCallback(kNameResolved, text);
        attempt->connection->OnStatusCallback(kConnectingToServer, {});
    }
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int onConnected(void* user, char*, char*, int, int)
{
    auto* attempt = static_cast<Attempt*>(user);
    attempt->connected = true;
    attempt->lastMove = std::chrono::steady_clock::now();
    attempt->connection->OnStatusCallback(kConnectedToServer, {});
    attempt->connection->OnStatusCallback(kSendingRequest, {});
    return CURL_PREREQFUNC_OK;
}

} // namespace

TransportError TransportErrorFor(int curlCode)
{
    for (const ErrorRow& row : kErrorTable) {
        if (row.curl == curlCode)
            return row.error;
    }
    return kInternalError;
}

CMyHttpConnection::CMyHttpConnection(std::string reportFolder)
    : CMyHttpConnection(std::move(reportFolder), Timeouts{})
{
}

CMyHttpConnection::CMyHttpConnection(std::string reportFolder, Timeouts timeouts)
    : m_reportFolder(std::move(reportFolder)), m_timeouts(timeouts), m_timeSource([] { return BugReportTime(std::time(nullptr)); })
{
    EnsureCurl();
}

bool CMyHttpConnection::ParseAddress(const std::string& address, std::string& server, std::string& object,
                                     std::uint16_t& port, bool& secure)
{
    static constexpr std::string_view kPlain = "http://";
    static constexpr std::string_view kSecure = "https://";
    const std::size_t plainAt = address.find(kPlain);
    const std::size_t secureAt = address.find(kSecure);
    if (plainAt == std::string::npos && secureAt == std::string::npos)
        return false;
    const bool isSecure = secureAt < plainAt;
    const std::string rest = address.substr(isSecure ? secureAt + kSecure.size() : plainAt + kPlain.size());
    const std::size_t slash = rest.find_first_of("/?#");
    std::string host = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? std::string("/") : rest.substr(slash);
    if (!path.empty() && path[0] != '/')
        path.insert(0, "/");
    if (const std::size_t hash = path.find('#'); hash != std::string::npos)
        path.resize(hash);
    if (const std::size_t user = host.rfind('@'); user != std::string::npos)
        host.erase(0, user + 1);

    unsigned value = isSecure ? kHttpsPort : kHttpPort;
    const std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) {
        const std::string digits = host.substr(colon + 1);
        host.resize(colon);
        if (!digits.empty()) {
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (ec != std::errc() || end != digits.data() + digits.size() || value == 0 || value > 65535)
                return false;
        }
    }
    server = host;
    object = path;
    port = static_cast<std::uint16_t>(value);
    secure = isSecure;
    return true;
}

std::string CMyHttpConnection::StatusTextFor(unsigned long status, const std::string& info,
                                             const std::string& current)
{
    switch (status) {
    case kResolvingName:
        return "Resolving name " + info;
    case kNameResolved:
        return "Name resolved " + info;
    case kConnectingToServer:
        return "Connecting to socket address";
    case kConnectedToServer:
        return "Connected to socket address";
    case kSendingRequest:
        return "Sending request";
    case kRequestSent:
        return "Request sent";
    case kReceivingResponse:
    case kHandleClosing:
        return current;
    case kResponseReceived:
        return "Response received";
    case kClosingConnection:
        return "Closing the connection to the server";
    case kConnectionClosed:
        return "Connection to the server closed";
    case kHandleCreated:
        return "Handle created";
    case kRequestComplete:
        return "Request complete";
    case kRedirect:
        return "Being redirected";
    default:
        return platform::StringFormat("Unknown status: %d", static_cast<int>(status));
    }
}

void CMyHttpConnection::OnStatusCallback(unsigned long status, const std::string& info)
{
    m_statusText = StatusTextFor(status, info, m_statusText);
}

void CMyHttpConnection::WriteBugReport(const std::string& text)
{
    ::WriteBugReport(m_reportFolder, text);
}

int CMyHttpConnection::Post(const std::string& address, const std::string& body, std::string& answer, int& status)
{
    status = 200;
    answer.clear();
    m_server.clear();
    m_object.clear();
    m_port = kHttpPort;
    m_secure = false;

    const auto fail = [&](const std::string& report) {
        answer.clear();
        WriteBugReport(report);
        return kPostFailed;
    };
    try {
        if (address.empty() || !ParseAddress(address, m_server, m_object, m_port, m_secure) || m_server.empty()) {
            // Nothing to connect to: the attempt fails where the connection is opened.
            m_server.clear();
            m_object.clear();
            m_port = kHttpPort;
            m_secure = false;
            status = kNameNotResolved.code;
            return fail(TransportErrorReport(m_timeSource(), kNameNotResolved.code, kNameNotResolved.text));
        }
        if (const std::optional<std::string> report = perform(body, answer, status))
            return fail(*report);
        return kPostSucceeded;
    } catch (const std::exception&) {
        // Only allocation can throw here; the attempt fails like any other error.
        try {
            return fail(OtherErrorReport(m_timeSource(), kOtherErrorText));
        } catch (const std::exception&) {
            answer.clear();
            return kPostFailed;
        }
    }
}

std::optional<std::string> CMyHttpConnection::perform(const std::string& body, std::string& answer, int& status)
{
    const CurlHandle owned = NewCurlHandle();
    const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
        curl_slist_append(curl_slist_append(curl_slist_append(nullptr, kContentType), "Accept:"), "Expect:"),
        curl_slist_free_all);
    if (!owned || !headers)
        return OtherErrorReport(m_timeSource(), kOtherErrorText);
    CURL* const handle = owned.get();
    OnStatusCallback(kHandleCreated, {});
    // Closing is the last notification of every attempt that got a handle.
    struct ClosingNotice {
        CMyHttpConnection* connection;
        ~ClosingNotice() { connection->OnStatusCallback(kHandleClosing, {}); }
    } closing{this};

    // Rebuilt from the split parts, so what is sent is what ParseAddress understood.
    const bool ipv6 = m_server.find(':') != std::string::npos;
    const std::string host = ipv6 && m_server.front() != '[' ? "[" + m_server + "]" : m_server;
    const std::uint16_t defaultPort = m_secure ? kHttpsPort : kHttpPort;
    const std::string url = (m_secure ? "https://" : "http://") + host
                            + (m_port == defaultPort ? std::string() : ":" + std::to_string(m_port)) + m_object;

    Attempt attempt;
    attempt.connection = this;
    attempt.answer = &answer;
    attempt.abortCheck = &m_abortCheck;
    attempt.stallLimitMs = m_timeouts.receiveMs;
    // Redirects are followed, as the old HTTP client did by default.
    // An https address stays https: a redirect never leads it back to plain http.
    SetCommonOptions(handle, url, m_secure ? "https" : "http", m_timeouts.connectMs, static_cast<long>(kReadPiece + 1),
                     m_abortCheck);
    // Only the one header line of the protocol; libcurl's own Accept and Expect go.
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &attempt);
    // Nor is this attempt's connection kept for a later one.
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &attempt);
    // An announced length over the limit fails before any of the body is read.
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxAnswerBytes));
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &attempt);
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, onOpenSocket);
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETDATA, &attempt);
    curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, onConnected);
    curl_easy_setopt(handle, CURLOPT_PREREQDATA, &attempt);

    OnStatusCallback(kResolvingName, m_server);
    const CURLcode result = curl_easy_perform(handle);
    CookieJar::Process().AfterTransfer();
    if (result != CURLE_OK) {
        const TransportError error = attempt.timedOut ? kTimeout : attempt.tooLarge ? kAnswerTooLarge : TransportErrorFor(result);
        status = error.code;
        return TransportErrorReport(m_timeSource(), error.code, error.text);
    }
    OnStatusCallback(kResponseReceived, {});

    long code = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    status = static_cast<int>(code);
    if (status != 200)
        return StatusReport(m_timeSource(), status);
    OnStatusCallback(kRequestComplete, {});
    return std::nullopt;
}
