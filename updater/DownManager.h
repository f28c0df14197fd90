// CDownManager and the download of one file over HTTP (libcurl's easy interface).
//
// Single-threaded: a transfer blocks until it ends or times out. curl_global_init must
// have run before the first download (the program does it at start).
#pragma once

#include "updater/FileDigest.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace updater {

// The transfer settings of one check run.
class CDownManager {
public:
    // Production limits: three hours per transfer, three minutes to connect.
    static constexpr long kTransferTimeoutSeconds = 10800;
    static constexpr long kConnectTimeoutSeconds = 180;

    CDownManager() = default;
    virtual ~CDownManager() = default;

    // Empty means no proxy of our own (libcurl then still honours http_proxy).
    void setProxy(std::string proxy) { m_proxy = std::move(proxy); }
    const std::string& proxy() const { return m_proxy; }

    // Tests shorten these so a stalled server costs a second, not hours.
    void setTimeouts(long transferSeconds, long connectSeconds)
    {
        m_transferTimeout = transferSeconds;
        m_connectTimeout = connectSeconds;
    }
    long transferTimeout() const { return m_transferTimeout; }
    long connectTimeout() const { return m_connectTimeout; }

    // A transfer slower than `bytesPerSecond` for `seconds` on end is abandoned: a server
    // that drips bytes must not hold the updater for the whole transfer timeout.
    static constexpr long kLowSpeedBytesPerSecond = 1024;
    static constexpr long kLowSpeedSeconds = 60;
    void setLowSpeed(long bytesPerSecond, long seconds)
    {
        m_lowSpeedBytes = bytesPerSecond;
        m_lowSpeedSeconds = seconds;
    }
    long lowSpeedBytesPerSecond() const { return m_lowSpeedBytes; }
    long lowSpeedSeconds() const { return m_lowSpeedSeconds; }

    // Certificates of https servers are checked against this file instead of the
    // system's store; empty (the program's only setting outside tests) keeps the store.
    void setCaFile(std::string file) { m_caFile = std::move(file); }
    const std::string& caFile() const { return m_caFile; }

private:
    std::string m_proxy;
    long m_transferTimeout = kTransferTimeoutSeconds;
    long m_connectTimeout = kConnectTimeoutSeconds;
    long m_lowSpeedBytes = kLowSpeedBytesPerSecond;
    long m_lowSpeedSeconds = kLowSpeedSeconds;
    std::string m_caFile;
};

// download() results besides 0 (success) and libcurl's own CURLcode values. An HTTP
// status other than 2xx reads as CURLE_HTTP_RETURNED_ERROR.
constexpr int kDownloadCannotStart = -1;   // temporary file or transfer handle not created
constexpr int kDownloadWrongContent = -2;  // the bytes do not match the expected digest
constexpr int kDownloadTooLarge = -3;      // more bytes than allowed; the transfer was cut

// Fetches `url` into "<destination>.~vm" (created 0600, never through a link), then
// renames that over `destination` only when the transfer succeeded with a 2xx status
// and, when `expected` is given, the content has that digest and size. The transfer is
// cut as soon as it passes `limit` bytes (0: no limit) or, with `expected`, its size.
// Only http and https are spoken, and redirects are not followed. A failed transfer
// leaves the temporary file behind and never touches `destination`.
[[nodiscard]] int download(const CDownManager& manager, const std::string& url,
                           const std::filesystem::path& destination, const ExpectedContent* expected = nullptr,
                           std::uint64_t limit = 0);

// A file name as a URL path segment: every byte outside A-Z a-z 0-9 - . _ ~ becomes %XX,
// so names with blanks, "#", "%" or non-ASCII letters reach the file of that name.
[[nodiscard]] std::string urlEncodeName(const std::string& name);

} // namespace updater
