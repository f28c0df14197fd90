// CMyHttpConnection: one HTTP client session of the request worker. Post sends one
// request text to the service as an HTTP POST and collects the whole answer.
//
// The HTTP client is libcurl's easy interface, one handle per attempt. Failures carry the
// error numbers the client has always used for its transport (name not resolved 12007,
// cannot connect 12029, time-out 12002, a certificate that does not verify 12175, an
// answer over the size limit 12184, ...); the whole mapping from libcurl's codes is the
// one table in MyHttpConnection.cpp (TransportError). The proxy is the desktop's for the
// address, the one the web views use (see Curl.h).
//
// An https address is verified, certificate and host name, against the system's
// certificate store (SSL_CERT_FILE and SSL_CERT_DIR name another, see Curl.h).
//
// Every failed attempt writes one report to "BugReport.log" in the folder given to the
// constructor (the program folder in production).
//
// Threads: one object belongs to one thread at a time (the request worker's thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class CMyHttpConnection {
public:
    static constexpr std::uint16_t kHttpPort = 80;
    static constexpr std::uint16_t kHttpsPort = 443;
    // The server's certificate or host name did not verify; never retried.
    static constexpr int kNotVerifiedCode = 12175;

    // Post's results.
    static constexpr int kPostSucceeded = 1;
    static constexpr int kPostFailed = -20;

    // Wait limits of one attempt. Once connected, a transfer in which no byte moves either
    // way for receiveMs ends with the time-out error: the send and the receive time-out were
    // the same 90 s, so one limit serves both (checked about once a second).
    static constexpr long kConnectTimeoutMs = 60000;
    static constexpr long kTransferTimeoutMs = 90000;
    struct Timeouts {
        long connectMs = kConnectTimeoutMs;
        long receiveMs = kTransferTimeoutMs;
    };

    // An answer body beyond this many bytes fails the attempt (12184) as soon as it is
    // announced or reached, so an endless answer never grows the client's memory.
    static constexpr std::size_t kMaxAnswerBytes = 8u << 20;

    // reportFolder: where "BugReport.log" lives, ending with "/".
    explicit CMyHttpConnection(std::string reportFolder);
    CMyHttpConnection(std::string reportFolder, Timeouts timeouts);

    CMyHttpConnection(const CMyHttpConnection&) = delete;
    CMyHttpConnection& operator=(const CMyHttpConnection&) = delete;

    // One attempt. Returns kPostSucceeded with answer holding the whole response body and
    // status 200, or kPostFailed with status holding the failing code (an HTTP status other
    // than 200, or a transport error number) and a report written. The answer is emptied
    // first. An address without "http://" or "https://" fails as a connection that cannot
    // be opened.
    int Post(const std::string& address, const std::string& body, std::string& answer, int& status);

    // Appends text and a line break to the error report log.
    void WriteBugReport(const std::string& text);

    // A connection status notification: sets the status text (StatusTextFor).
    void OnStatusCallback(unsigned long status, const std::string& info);
    const std::string& StatusText() const { return m_statusText; }

    // The status text of a notification code; codes 40 and 70 leave current unchanged.
    static std::string StatusTextFor(unsigned long status, const std::string& info, const std::string& current);

    // Splits an address that contains "http://" or "https://" (secure) into server, object
    // (path and query, "/" when empty) and port (80 or 443 unless given). Returns false,
    // leaving the outputs alone, when the address holds neither scheme or the port is not
    // a number from 1 to 65535.
    static bool ParseAddress(const std::string& address, std::string& server, std::string& object,
                             std::uint16_t& port, bool& secure);

    // Asked about once a second during every attempt, from the attempt's own thread; true
    // cancels the attempt, which then fails with the error 12017 and its report.
    void SetAbortCheck(std::function<bool()> abortCheck) { m_abortCheck = std::move(abortCheck); }

    // The time written in reports; tests replace it to get fixed report bytes.
    void SetTimeSource(std::function<std::string()> timeSource) { m_timeSource = std::move(timeSource); }

    const std::string& Server() const { return m_server; }
    const std::string& Object() const { return m_object; }

private:
    // The transfer of one attempt to the split address: the failure's report, or none
    // after a 200 answer.
    [[nodiscard]] std::optional<std::string> perform(const std::string& body, std::string& answer, int& status);

    std::string m_reportFolder;
    Timeouts m_timeouts;
    std::function<std::string()> m_timeSource;
    std::function<bool()> m_abortCheck;
    std::string m_server;
    std::string m_object;
    std::uint16_t m_port = kHttpPort;
    bool m_secure = false;
    std::string m_statusText;
};

// A transport failure as the client reports it: the error number and its text.
struct TransportError {
    int code = 0;
    const char* text = "";
};

// The error number and text for a libcurl result code (CURLcode) other than success.
TransportError TransportErrorFor(int curlCode);
