// The web views' shared context and cookie store (WebKitCookieManager), and its side of the
// cookie hand-over: changes the pages make are reported, changes from elsewhere applied.
//
// WebKit keeps its cookies in its network process and answers every call asynchronously,
// so the store is mirrored here (m_known, user-interface thread only). A "changed" signal
// fetches the whole list and reports its difference to the mirror. A list fetched while
// one of our own changes was still on its way may lack that change; such slots are taken
// from the mirror instead, so our own change is never reported back as the page's.
//
// The network process takes a good part of a second to start and answer; the cookies kept
// from earlier runs are therefore read straight from the store's file at start (the
// network process has not opened it yet), so the client's first request need not wait.
#include "platform/window/GtkBackend.h"
#include "platform/window/WebCookies.h"

#include <sqlite3.h>
#include <webkit2/webkit2.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace platform::detail {

WebKitWebContext* SharedWebContext();

namespace {

constexpr guint kWaitLimitMs = 5000;

using Slot = Cookie::Slot;

Cookie cookieOf(SoupCookie* soup)
{
    Cookie c;
    c.domain = soup_cookie_get_domain(soup) ? soup_cookie_get_domain(soup) : "";
    c.path = soup_cookie_get_path(soup) ? soup_cookie_get_path(soup) : "/";
    c.name = soup_cookie_get_name(soup) ? soup_cookie_get_name(soup) : "";
    c.value = soup_cookie_get_value(soup) ? soup_cookie_get_value(soup) : "";
    c.secure = soup_cookie_get_secure(soup);
    c.httpOnly = soup_cookie_get_http_only(soup);
    GDateTime* expires = soup_cookie_get_expires(soup);
    c.expires = expires ? g_date_time_to_unix(expires) : 0;
    return c;
}

SoupCookie* soupOf(const Cookie& c)
{
    SoupCookie* soup = soup_cookie_new(c.name.c_str(), c.value.c_str(), c.domain.c_str(), c.path.c_str(), -1);
    soup_cookie_set_secure(soup, c.secure);
    soup_cookie_set_http_only(soup, c.httpOnly);
    if (c.expires != 0) {
        GDateTime* expires = g_date_time_new_from_unix_utc(c.expires);
        soup_cookie_set_expires(soup, expires);
        g_date_time_unref(expires);
    }
    return soup;
}

struct Store {
    WebKitWebContext* context = nullptr;
    WebKitCookieManager* manager = nullptr;
    std::string folder;
    WebCookieListener listener;
    std::function<void()> ready; // until the first list is in
    std::map<Slot, Cookie> known;

    std::uint64_t pushes = 0;                  // our changes sent so far
    std::map<Slot, std::uint64_t> lastPush;    // slot -> number of our last change to it
    std::set<std::uint64_t> unfinished;        // our changes WebKit has not confirmed yet
    bool fetching = false;                     // a list is on its way
    bool fetchAgain = false;                   // the store changed while it was
};

Store& store()
{
    static Store s;
    return s;
}

// The persistent cookies in the store's file, as the network process will load them: rows
// past their expiry are left out. A missing file holds none. False when the file is there
// but cannot be read as a cookie store.
bool readKeptCookies(const std::string& file, std::map<Slot, Cookie>& kept)
{
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return !ec;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_stmt* rows = nullptr;
    bool read = sqlite3_prepare_v2(db, "SELECT name, value, host, path, expiry, isSecure, isHttpOnly FROM moz_cookies",
                                   -1, &rows, nullptr) == SQLITE_OK;
    const auto text = [&](int column) {
        const unsigned char* value = sqlite3_column_text(rows, column);
        return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
    };
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    std::map<Slot, Cookie> found;
    int step = SQLITE_DONE;
    while (read && (step = sqlite3_step(rows)) == SQLITE_ROW) {
        Cookie c;
        c.name = text(0);
        c.value = text(1);
        c.domain = text(2);
        c.path = text(3);
        c.expires = sqlite3_column_int64(rows, 4);
        c.secure = sqlite3_column_int(rows, 5) != 0;
        c.httpOnly = sqlite3_column_int(rows, 6) != 0;
        if (c.domain.empty() || c.path.empty() || c.expires <= now)
            continue;
        found[c.slot()] = std::move(c);
    }
    read = read && step == SQLITE_DONE;
    sqlite3_finalize(rows);
    sqlite3_close(db);
    if (read)
        kept = std::move(found);
    return read;
}

// Set once the store exists: ApplyWebCookies drops changes before (the headless back end).
std::atomic<bool> g_started{false};

// Changes from other threads, waiting for the user-interface thread.
std::mutex g_incomingLock;
std::vector<CookieChange> g_incoming;

struct Fetch {
    std::uint64_t pushesAtRequest = 0;
    std::set<Slot> unsettled; // slots whose change was on its way when the list was asked for
};

void requestList();

void onList(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<Fetch> fetch(static_cast<Fetch*>(data));
    Store& s = store();
    GList* list = webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
    std::map<Slot, Cookie> now;
    for (GList* item = list; item; item = item->next) {
        const Cookie c = cookieOf(static_cast<SoupCookie*>(item->data));
        now[c.slot()] = c;
    }
    g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));

    // Slots we changed since (or while) the list was asked for keep what we sent.
    for (const auto& [slot, number] : s.lastPush) {
        if (number > fetch->pushesAtRequest || fetch->unsettled.count(slot) != 0) {
            const auto mine = s.known.find(slot);
            if (mine != s.known.end())
                now[slot] = mine->second;
            else
                now.erase(slot);
        }
    }
    std::vector<CookieChange> changes;
    for (const auto& [slot, cookie] : now) {
        const auto before = s.known.find(slot);
        if (before == s.known.end() || !(before->second == cookie))
            changes.push_back({cookie, false});
    }
    for (const auto& [slot, cookie] : s.known) {
        if (now.count(slot) == 0)
            changes.push_back({cookie, true});
    }
    s.known = std::move(now);
    s.fetching = false;
    if (!changes.empty() && s.listener)
        s.listener(changes);
    if (s.ready)
        std::exchange(s.ready, nullptr)();
    if (s.fetchAgain) {
        s.fetchAgain = false;
        requestList();
    }
}

void requestList()
{
    Store& s = store();
    if (s.fetching) {
        s.fetchAgain = true;
        return;
    }
    s.fetching = true;
    auto* fetch = new Fetch;
    fetch->pushesAtRequest = s.pushes;
    for (const auto& [slot, number] : s.lastPush) {
        if (s.unfinished.count(number) != 0)
            fetch->unsettled.insert(slot);
    }
    webkit_cookie_manager_get_all_cookies(s.manager, nullptr, onList, fetch);
}

void onChanged(WebKitCookieManager*, gpointer) { requestList(); }

void onPushed(GObject* source, GAsyncResult* result, gpointer data)
{
    const auto number = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(data));
    webkit_cookie_manager_add_cookie_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
    store().unfinished.erase(number);
}

void onDeleted(GObject* source, GAsyncResult* result, gpointer data)
{
    const auto number = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(data));
    webkit_cookie_manager_delete_cookie_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
    store().unfinished.erase(number);
}

void ensureStore();

// User-interface thread: applies what other threads handed over.
gboolean applyIncoming(gpointer)
{
    ensureStore();
    std::vector<CookieChange> changes;
    {
        std::lock_guard<std::mutex> lock(g_incomingLock);
        changes.swap(g_incoming);
    }
    Store& s = store();
    for (const CookieChange& change : changes) {
        const Slot slot = change.cookie.slot();
        const auto mine = s.known.find(slot);
        if (change.removed ? mine == s.known.end() : (mine != s.known.end() && mine->second == change.cookie))
            continue;
        const std::uint64_t number = ++s.pushes;
        s.lastPush[slot] = number;
        s.unfinished.insert(number);
        gpointer tag = reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(number));
        SoupCookie* soup = soupOf(change.removed ? mine->second : change.cookie);
        if (change.removed) {
            s.known.erase(mine);
            webkit_cookie_manager_delete_cookie(s.manager, soup, nullptr, onDeleted, tag);
        } else {
            s.known[slot] = change.cookie;
            webkit_cookie_manager_add_cookie(s.manager, soup, nullptr, onPushed, tag);
        }
        soup_cookie_free(soup);
    }
    return G_SOURCE_REMOVE;
}

// Runs the loop until done() or the wait limit; the browser's store answers through it.
template <typename Done>
void waitFor(Done done)
{
    bool expired = false;
    const guint timer = g_timeout_add(kWaitLimitMs, [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
    }, &expired);
    while (!done() && !expired)
        g_main_context_iteration(nullptr, TRUE);
    if (!expired)
        g_source_remove(timer);
}

void makeContext(const std::string& folder)
{
    Store& s = store();
    if (folder.empty()) {
        s.context = webkit_web_context_new_ephemeral();
    } else {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        WebKitWebsiteDataManager* data = webkit_website_data_manager_new(
            "base-data-directory", folder.c_str(), "base-cache-directory", (folder + "cache/").c_str(), nullptr);
        s.context = webkit_web_context_new_with_website_data_manager(data);
        g_object_unref(data);
    }
    s.folder = folder;
    s.manager = webkit_web_context_get_cookie_manager(s.context);
    if (!folder.empty())
        webkit_cookie_manager_set_persistent_storage(s.manager, (folder + "cookies.sqlite").c_str(),
                                                     WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    g_signal_connect(s.manager, "changed", G_CALLBACK(onChanged), nullptr);
}

// The context over the folder StartWebCookies named (views made before it, in tests, share
// one in memory), made at its first need: making it starts WebKit's network process,
// which is kept off the first frames.
void ensureStore()
{
    Store& s = store();
    if (s.context)
        return;
    makeContext(s.folder);
    if (g_started)
        requestList();
}

} // namespace

WebKitWebContext* SharedWebContext()
{
    ensureStore();
    return store().context;
}

} // namespace platform::detail

namespace platform {

using namespace detail;

bool StartWebCookies(const std::string& folder, WebCookieListener listener, std::function<void()> ready)
{
    if (!dynamic_cast<GtkBackend*>(CurrentBackendObject()))
        return false;
    Store& s = store();
    if (s.context || g_started)
        return false; // views already made elsewhere keep their store
    // The context is made at the first view, or once the loop is idle. The store's first
    // list (asked for before anything is pushed) confirms or corrects what the file held;
    // only when the file could not be read does ready wait for that list, asked at once.
    std::map<Slot, Cookie> kept;
    const bool read = folder.empty() || readKeptCookies(folder + "cookies.sqlite", kept);
    s.folder = folder;
    s.listener = std::move(listener);
    g_started = true;
    if (read) {
        std::vector<CookieChange> changes;
        for (const auto& [slot, cookie] : kept)
            changes.push_back({cookie, false});
        s.known = std::move(kept);
        if (!changes.empty() && s.listener)
            s.listener(changes);
        if (ready)
            ready();
    } else {
        s.ready = std::move(ready);
        ensureStore();
    }
    PrepareWebViewsWhenIdle();
    return true;
}

void ApplyWebCookies(std::vector<CookieChange> changes)
{
    if (!g_started || changes.empty())
        return;
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(g_incomingLock);
        first = g_incoming.empty();
        g_incoming.insert(g_incoming.end(), std::make_move_iterator(changes.begin()),
                          std::make_move_iterator(changes.end()));
    }
    if (first)
        g_idle_add(applyIncoming, nullptr);
}

std::vector<Cookie> WebCookiesNow()
{
    Store& s = store();
    if (g_started)
        ensureStore();
    if (!s.manager)
        return {};
    struct Result {
        bool done = false;
        std::vector<Cookie> cookies;
    };
    // Shared with the callback, which may come after the wait has given up.
    auto result = std::make_shared<Result>();
    webkit_cookie_manager_get_all_cookies(
        s.manager, nullptr,
        [](GObject* source, GAsyncResult* async, gpointer data) {
            std::unique_ptr<std::shared_ptr<Result>> holder(static_cast<std::shared_ptr<Result>*>(data));
            GList* list = webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source), async, nullptr);
            for (GList* item = list; item; item = item->next)
                (*holder)->cookies.push_back(cookieOf(static_cast<SoupCookie*>(item->data)));
            g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
            (*holder)->done = true;
        },
        new std::shared_ptr<Result>(result));
    waitFor([&] { return result->done; });
    return result->done ? result->cookies : std::vector<Cookie>();
}

std::string WebDataFolder()
{
    return store().folder;
}

} // namespace platform
