#include "client/service/Curl.h"

#include "client/service/CookieJar.h"
#include "platform/ProxyResolver.h"

#include <cstdlib>
#include <mutex>

const char kClientUserAgent[] = "Kavrel";

void EnsureCurl()
{
    // curl_global_init is not thread-safe, so every caller goes through this one flag.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CurlHandle NewCurlHandle()
{
    EnsureCurl();
    return CurlHandle(curl_easy_init());
}

void SetCommonOptions(CURL* handle, const std::string& url, const char* protocols, long connectTimeoutMs,
                      long bufferBytes, const std::function<bool()>& stop)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    // Worker threads must not get SIGALRM from name resolution time-outs.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kClientUserAgent);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
    // Every request goes out on a new connection, never a cached one.
    curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, bufferBytes);
    // Cookies come from and go to the client's one store, shared with the web views.
    CookieJar::Process().Attach(handle, stop);
    // The desktop's proxy, as the web views take it; "" (direct) also keeps libcurl from
    // the environment's proxy. When the desktop cannot say, libcurl's own environment
    // proxy (http_proxy, no_proxy) stays.
    if (const std::optional<std::string> proxy = platform::DesktopProxyFor(url))
        curl_easy_setopt(handle, CURLOPT_PROXY, proxy->c_str());
    // libcurl verifies peer and host name by default; these only say where the trusted
    // certificates are when the environment names another store.
    if (const char* file = std::getenv("SSL_CERT_FILE"); file != nullptr && *file != '\0')
        curl_easy_setopt(handle, CURLOPT_CAINFO, file);
    if (const char* folder = std::getenv("SSL_CERT_DIR"); folder != nullptr && *folder != '\0')
        curl_easy_setopt(handle, CURLOPT_CAPATH, folder);
}
