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

#if defined(__SANITIZE_THREAD__)
// GIO answers a lookup from its worker pool (libproxy runs there) and hands the answer
// over with GLib's own futex-based locks, which ThreadSanitizer does not see; the
// handover itself is sound. So the sanitizer leaves alone what the uninstrumented
// libraries do inside themselves, and the answer's handover here.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}
extern "C" const char* __tsan_default_suppressions()
{
    return "race:platform::DesktopProxyFor\n";
}
#endif
