#include "platform/ProxyResolver.h"

#include <gio/gio.h>

#include <string_view>

namespace platform {

namespace {

bool usableByCurl(std::string_view proxy)
{
    for (const std::string_view scheme : {"http://", "https://", "socks4://", "socks4a://", "socks5://", "socks5h://"}) {
        if (proxy.substr(0, scheme.size()) == scheme)
            return true;
    }
    return false;
}

} // namespace

std::optional<std::string> DesktopProxyFor(const std::string& url)
{
    GError* error = nullptr;
    gchar** proxies = g_proxy_resolver_lookup(g_proxy_resolver_get_default(), url.c_str(), nullptr, &error);
    if (proxies == nullptr) {
        g_clear_error(&error);
        return std::nullopt;
    }
    // The resolver lists them in the order to try; the first one libcurl can use is taken.
    std::optional<std::string> chosen;
    for (gchar** proxy = proxies; *proxy != nullptr && !chosen; ++proxy) {
        const std::string_view text(*proxy);
        if (text == "direct://")
            chosen = std::string();
        else if (usableByCurl(text))
            chosen = std::string(text);
    }
    g_strfreev(proxies);
    return chosen;
}

} // namespace platform
