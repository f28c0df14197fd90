// What every libcurl user of the client shares: the one process-wide initialisation, the
// user agent, the handle's owner and the options both transports set alike. Callbacks,
// headers, time-outs and stall detection stay with each caller, as they differ.
#pragma once

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <string>

// Initialises libcurl once for the whole process; safe from any thread.
void EnsureCurl();

extern const char kClientUserAgent[];

struct CurlHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlHandleDeleter>;

// A new easy handle (empty when libcurl cannot make one), libcurl initialised first.
[[nodiscard]] CurlHandle NewCurlHandle();

// Address, allowed protocols (also for redirects, which are followed), no signals, the
// user agent, a fresh connection, the connect time-out, the receive buffer size and the
// client's cookie store (CookieJar::Process; call its AfterTransfer when done), which may
// hold the call at start until the web views' cookies are in (stop ends that wait).
// The proxy is the desktop's for that address (platform/ProxyResolver.h).
// https is verified against the system's certificate store; SSL_CERT_FILE (a PEM bundle)
// and SSL_CERT_DIR (a hashed folder) in the environment replace its file and its folder,
// as for every OpenSSL program.
void SetCommonOptions(CURL* handle, const std::string& url, const char* protocols, long connectTimeoutMs,
                      long bufferBytes, const std::function<bool()>& stop = {});
