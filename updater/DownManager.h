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

private:
    std::string m_proxy;
    long m_transferTimeout = kTransferTimeoutSeconds;
    long m_connectTimeout = kConnectTimeoutSeconds;
};

// download() results besides 0 (success) and libcurl's own CURLcode values. An HTTP
// status other than 2xx reads as CURLE_HTTP_RETURNED_ERROR.
constexpr int kDownloadCannotStart = -1;   // temporary file or transfer handle not created
constexpr int kDownloadWrongContent = -2;  // the bytes do not match the expected digest

// Fetches `url` into "<destination>.~vm", then renames that over `destination` only when
// the transfer succeeded with a 2xx status and, when `expected` is given, the content has
// that md5 and size. A failed transfer leaves the temporary file behind and never touches
// `destination`.
[[nodiscard]] int download(const CDownManager& manager, const std::string& url,
                           const std::filesystem::path& destination, const ExpectedContent* expected = nullptr);

// A file name as a URL path segment: every byte outside A-Z a-z 0-9 - . _ ~ becomes %XX,
// so names with blanks, "#", "%" or non-ASCII letters reach the file of that name.
[[nodiscard]] std::string urlEncodeName(const std::string& name);

} // namespace updater
