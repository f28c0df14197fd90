// The proxy the desktop would use for an address: GIO's default proxy resolver, which
// follows GNOME's proxy settings on a GNOME desktop and otherwise libproxy (the
// environment's http_proxy/https_proxy/no_proxy, PAC files, other desktops' settings)
// where glib-networking is installed. The web views ask the same resolver, so the
// service's requests, the downloads and the pages all take the same way out.
//
// Threads: any; the call blocks while the resolver works (a PAC script may fetch).
#pragma once

#include <optional>
#include <string>

namespace platform {

// The proxy for url as libcurl takes it ("http://host:port", "socks5://host:port", ...),
// the empty text when the address is reached directly, or nothing when the desktop could
// not say (the resolver failed, or offered only proxies of kinds libcurl cannot use).
[[nodiscard]] std::optional<std::string> DesktopProxyFor(const std::string& url);

} // namespace platform
