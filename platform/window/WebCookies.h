// The web views' cookie store, and the seam that keeps another store (the client's
// transport) in step with it.
//
// Every browser view of the process shares one web context: one cookie store, one
// site-data folder. With a folder set, persistent cookies live in an SQLite file there
// and survive a restart; session cookies live as long as the process. Without one,
// everything is kept in memory.
//
// Threads: StartWebCookies and the listener run on the user-interface thread;
// ApplyWebCookies may be called from any thread (the change is carried over to the
// user-interface thread and never waits for it). Under the headless back end there is no
// browser store: StartWebCookies reports nothing and ApplyWebCookies drops its changes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace platform {

// One cookie as browsers keep it. domain: a leading "." marks a domain cookie (sent to the
// domain and every host under it), none a host-only cookie. expires: seconds since the
// epoch, 0 for a session cookie.
struct Cookie {
    std::string domain;
    std::string path = "/";
    std::string name;
    std::string value;
    bool secure = false;
    bool httpOnly = false;
    std::int64_t expires = 0;

    bool operator==(const Cookie&) const = default;
    // A cookie is replaced by one of the same slot: domain, path and name.
    using Slot = std::tuple<std::string, std::string, std::string>;
    Slot slot() const { return {domain, path, name}; }
};

struct CookieChange {
    Cookie cookie;
    bool removed = false; // true: the cookie in this slot is gone
};

// Called on the user-interface thread with what pages and their scripts changed in the
// views' store (never with what ApplyWebCookies brought in).
using WebCookieListener = std::function<void(const std::vector<CookieChange>&)>;

// Sets up the views' store (in folder, ending with "/", created when missing; empty: memory
// only) and starts reporting its changes to listener. Call once, after the window system
// is up and before the first view. The store itself, and with it the browser's network
// process, is made at the first view or once the loop is idle, so the first frames do not
// wait for it; changes applied before are kept for it. Returns at once, without waiting
// for the browser's store: the cookies kept from earlier runs, read from its file in
// folder, reach the listener before it returns, and ready runs then. Only when that file
// cannot be read do they come later, with the store's first list through the
// user-interface thread's loop, and ready right after (once; never when the browser's
// store does not answer). False, and ready never called, when the back end has no
// browser store.
bool StartWebCookies(const std::string& folder, WebCookieListener listener, std::function<void()> ready = {});

// Sets or removes cookies in the views' store. Any thread; returns at once.
void ApplyWebCookies(std::vector<CookieChange> changes);

// The views' cookies now (user-interface thread; waits for the browser's store, at most a
// few seconds). Empty without a browser store.
std::vector<Cookie> WebCookiesNow();

// The folder the views keep their data in, as StartWebCookies set it ("" when none).
std::string WebDataFolder();

} // namespace platform
