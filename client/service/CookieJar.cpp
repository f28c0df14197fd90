#include "client/service/CookieJar.h"

#include "client/service/Curl.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <utility>

namespace {

constexpr char kHttpOnlyPrefix[] = "#HttpOnly_";

std::vector<std::string> splitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos)
            return fields;
        at = tab + 1;
    }
}

} // namespace

void CookieJar::lockShare(CURL*, curl_lock_data data, curl_lock_access, void* jar)
{
    static_cast<CookieJar*>(jar)->m_shareLocks[static_cast<std::size_t>(data)].lock();
}

void CookieJar::unlockShare(CURL*, curl_lock_data data, void* jar)
{
    static_cast<CookieJar*>(jar)->m_shareLocks[static_cast<std::size_t>(data)].unlock();
}

CookieJar::CookieJar()
{
    EnsureCurl();
    m_share = curl_share_init();
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, lockShare);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, unlockShare);
    curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    m_handle = curl_easy_init();
    Attach(m_handle);
}

CookieJar::~CookieJar()
{
    // Every transfer has ended by now; the share goes after its last handle.
    curl_easy_cleanup(m_handle);
    curl_share_cleanup(m_share);
}

CookieJar& CookieJar::Process()
{
    static CookieJar* jar = new CookieJar; // never destroyed: transfer threads may outlive exit
    return *jar;
}

void CookieJar::Attach(CURL* handle, const std::function<bool()>& stop)
{
    if (handle == nullptr)
        return;
    waitWhileHeld(stop);
    curl_easy_setopt(handle, CURLOPT_SHARE, m_share);
    // An empty file name turns the cookie engine on without reading a file.
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");
}

void CookieJar::HoldUntilWebCookies(std::chrono::milliseconds bound)
{
    std::lock_guard<std::mutex> lock(m_holdLock);
    m_held = true;
    m_holdBound = bound;
    m_holdEnds = std::chrono::steady_clock::now() + bound;
}

void CookieJar::WebCookiesIn()
{
    {
        std::lock_guard<std::mutex> lock(m_holdLock);
        m_held = false;
    }
    m_holdEnded.notify_all();
}

bool CookieJar::Holding()
{
    std::lock_guard<std::mutex> lock(m_holdLock);
    return m_held;
}

void CookieJar::waitWhileHeld(const std::function<bool()>& stop)
{
    constexpr auto kStopLook = std::chrono::milliseconds(100);
    std::unique_lock<std::mutex> lock(m_holdLock);
    while (m_held) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= m_holdEnds) {
            // A store that never answers must not stall the client's requests for good.
            m_held = false;
            const long long ms = m_holdBound.count();
            lock.unlock();
            m_holdEnded.notify_all();
            std::fprintf(stderr, "Kavrel: the web views' cookie store did not answer within %lld ms; requests go "
                                 "without the cookies kept from earlier runs\n", ms);
            return;
        }
        if (!stop) {
            m_holdEnded.wait_until(lock, m_holdEnds);
            continue;
        }
        m_holdEnded.wait_until(lock, std::min(m_holdEnds, now + kStopLook));
        // Asked outside the lock: it may take the caller's own locks.
        lock.unlock();
        const bool stopped = stop();
        lock.lock();
        if (stopped)
            return;
    }
}

std::vector<platform::Cookie> CookieJar::exportLocked()
{
    std::vector<platform::Cookie> cookies;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(m_handle, CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return cookies;
    // libcurl drops an expired cookie only when it next sends from the list; until then it
    // is listed like any other, so it is left out here.
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    for (curl_slist* item = list; item; item = item->next) {
        platform::Cookie cookie;
        if (item->data && ParseNetscapeLine(item->data, cookie) && (cookie.expires == 0 || cookie.expires > now))
            cookies.push_back(std::move(cookie));
    }
    curl_slist_free_all(list);
    return cookies;
}

std::vector<platform::CookieChange> CookieJar::changesLocked()
{
    std::map<Slot, platform::Cookie> now;
    for (platform::Cookie& cookie : exportLocked())
        now.emplace(cookie.slot(), std::move(cookie));
    std::vector<platform::CookieChange> changes;
    for (const auto& [slot, cookie] : now) {
        const auto before = m_seen.find(slot);
        if (before == m_seen.end() || !(before->second == cookie))
            changes.push_back({cookie, false});
    }
    for (const auto& [slot, cookie] : m_seen) {
        if (now.count(slot) == 0)
            changes.push_back({cookie, true});
    }
    m_seen = std::move(now);
    return changes;
}

void CookieJar::importLocked(const platform::Cookie& cookie, bool removed)
{
    platform::Cookie line = cookie;
    if (removed)
        line.expires = 1; // long past: libcurl drops the cookie in this slot
    curl_easy_setopt(m_handle, CURLOPT_COOKIELIST, NetscapeLine(line).c_str());
}

void CookieJar::AfterTransfer()
{
    std::lock_guard<std::mutex> order(m_notifyLock);
    std::vector<platform::CookieChange> changes;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        changes = changesLocked();
    }
    Listener listener;
    {
        std::lock_guard<std::mutex> lock(m_listenerLock);
        listener = m_listener;
    }
    if (!changes.empty() && listener)
        listener(std::move(changes));
}

void CookieJar::ApplyFromWeb(const std::vector<platform::CookieChange>& changes)
{
    if (changes.empty())
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    for (const platform::CookieChange& change : changes)
        importLocked(change.cookie, change.removed);
    // Only the slots brought in are marked as seen, as libcurl now holds them: a change a
    // transfer made meanwhile must still be reported by its AfterTransfer.
    std::map<Slot, platform::Cookie> now;
    for (platform::Cookie& cookie : exportLocked())
        now.emplace(cookie.slot(), std::move(cookie));
    for (const platform::CookieChange& change : changes) {
        const Slot slot = change.cookie.slot();
        const auto held = now.find(slot);
        if (held != now.end())
            m_seen[slot] = held->second;
        else
            m_seen.erase(slot);
    }
}

void CookieJar::SetListener(Listener listener)
{
    std::lock_guard<std::mutex> lock(m_listenerLock);
    m_listener = std::move(listener);
}

std::vector<platform::Cookie> CookieJar::All()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return exportLocked();
}

std::string CookieJar::NetscapeLine(const platform::Cookie& c)
{
    const bool domainCookie = !c.domain.empty() && c.domain.front() == '.';
    return std::string(c.httpOnly ? kHttpOnlyPrefix : "") + c.domain + "\t" + (domainCookie ? "TRUE" : "FALSE") + "\t"
           + c.path + "\t" + (c.secure ? "TRUE" : "FALSE") + "\t" + std::to_string(c.expires) + "\t" + c.name + "\t"
           + c.value;
}

bool CookieJar::ParseNetscapeLine(const std::string& line, platform::Cookie& cookie)
{
    std::string rest = line;
    platform::Cookie c;
    const std::string prefix = kHttpOnlyPrefix;
    if (rest.compare(0, prefix.size(), prefix) == 0) {
        c.httpOnly = true;
        rest.erase(0, prefix.size());
    }
    const std::vector<std::string> fields = splitTabs(rest);
    if (fields.size() != 7 || fields[0].empty() || fields[0].front() == '#')
        return false;
    const bool tailMatch = fields[1] == "TRUE";
    c.domain = fields[0];
    if (tailMatch && c.domain.front() != '.')
        c.domain.insert(0, ".");
    c.path = fields[2];
    c.secure = fields[3] == "TRUE";
    const std::string& expires = fields[4];
    const auto [end, ec] = std::from_chars(expires.data(), expires.data() + expires.size(), c.expires);
    if (ec != std::errc() || end != expires.data() + expires.size())
        return false;
    c.name = fields[5];
    c.value = fields[6];
    cookie = std::move(c);
    return true;
}

void ShareCookiesWithWebViews(const std::string& webDataFolder)
{
    CookieJar& jar = CookieJar::Process();
    // Views to transport on the user-interface thread; transport to views from the
    // transfer's thread, carried over without waiting. The first request carries the
    // cookies kept from earlier runs: read at once from the store's file, or waited for.
    jar.HoldUntilWebCookies();
    const bool started = platform::StartWebCookies(
        webDataFolder, [&jar](const std::vector<platform::CookieChange>& changes) { jar.ApplyFromWeb(changes); },
        [&jar] { jar.WebCookiesIn(); });
    if (!started)
        jar.WebCookiesIn();
    jar.SetListener([](std::vector<platform::CookieChange> changes) { platform::ApplyWebCookies(std::move(changes)); });
}
