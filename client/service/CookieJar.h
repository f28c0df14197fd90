// CookieJar: the client's one cookie store for its own transfers (the request worker and
// the download window), kept in step with the web views' store.
//
// libcurl's cookie engine keeps the cookies and applies the browsers' rules (domain and
// path matching, secure, HttpOnly, expiry, size limits); every easy handle attached with
// Attach shares it through one curl share object, locked per access, so transfers on any
// thread see each other's cookies at once. After a transfer, AfterTransfer tells the
// listener (the web views' side) what that transfer changed; ApplyFromWeb brings in what
// pages changed. Neither side waits for the other's network: the locks are held only while
// libcurl reads or writes its in-memory list.
//
// Session cookies live as long as the jar (the process); persistent ones are kept by the
// web views' store in the program folder's web-data folder, whose file is read at start.
// Should that file not be readable, the store hands them over later: HoldUntilWebCookies
// makes every Attach wait until WebCookiesIn (or a bound, after which transfers go on
// without the kept cookies), so the first request carries what earlier runs kept while no
// window ever waits for the store.
//
// Threads: every operation may be called from any thread. The listener runs on the thread
// of the transfer that made the change, outside the jar's locks.
#pragma once

#include "platform/window/WebCookies.h"

#include <curl/curl.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class CookieJar {
public:
    using Listener = std::function<void(std::vector<platform::CookieChange>)>;

    CookieJar();
    ~CookieJar();
    CookieJar(const CookieJar&) = delete;
    CookieJar& operator=(const CookieJar&) = delete;

    // The process's jar, used by every transfer of the client.
    static CookieJar& Process();

    // How long transfers are held for the views' cookies at most.
    static constexpr std::chrono::milliseconds kWebCookiesBound{5000};

    // Makes handle send and keep cookies in this jar. Call before the transfer, on the
    // transfer's thread: while the jar is held (HoldUntilWebCookies) this waits until the
    // views' cookies are in, the bound has passed (written to standard error, and the hold
    // ends for every later transfer too) or stop, asked about every 100 ms, says true.
    void Attach(CURL* handle, const std::function<bool()>& stop = {});
    // After a transfer with an attached handle: reports what changed since the last look.
    void AfterTransfer();

    // Sets or removes cookies that changed elsewhere; they are not reported back.
    void ApplyFromWeb(const std::vector<platform::CookieChange>& changes);

    void SetListener(Listener listener);

    // Holds every Attach until WebCookiesIn, for at most bound from now. Any thread.
    void HoldUntilWebCookies(std::chrono::milliseconds bound = kWebCookiesBound);
    // The views' cookies have been brought in (ApplyFromWeb): held transfers go. Any thread.
    void WebCookiesIn();
    // True while transfers are held.
    [[nodiscard]] bool Holding();

    // Every cookie the jar holds now (expired ones are gone).
    std::vector<platform::Cookie> All();

    // libcurl's cookie-file line for a cookie, and back; false for a line that is none.
    static std::string NetscapeLine(const platform::Cookie& cookie);
    static bool ParseNetscapeLine(const std::string& line, platform::Cookie& cookie);

private:
    using Slot = platform::Cookie::Slot;

    // Under m_lock.
    std::vector<platform::Cookie> exportLocked();
    std::vector<platform::CookieChange> changesLocked();
    void importLocked(const platform::Cookie& cookie, bool removed);

    void waitWhileHeld(const std::function<bool()>& stop);

    static void lockShare(CURL*, curl_lock_data data, curl_lock_access, void* jar);
    static void unlockShare(CURL*, curl_lock_data data, void* jar);

    CURLSH* m_share = nullptr;
    // One lock per kind of shared data, as libcurl asks for each on its own.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_shareLocks;
    std::mutex m_notifyLock; // listener calls in the order of their changes
    std::mutex m_lock;       // m_handle and m_seen
    CURL* m_handle = nullptr; // for reading and writing the list outside a transfer
    std::map<Slot, platform::Cookie> m_seen; // the list as last looked at
    std::mutex m_listenerLock;
    Listener m_listener;
    std::mutex m_holdLock; // m_held, m_holdEnds, m_holdBound
    std::condition_variable m_holdEnded;
    bool m_held = false;
    std::chrono::steady_clock::time_point m_holdEnds;
    std::chrono::milliseconds m_holdBound{0};
};

// The web views' data folder (cookies, site storage) inside the program folder.
inline constexpr char kWebDataFolder[] = "data/web/";

// Connects the process's jar with the web views' store kept in webDataFolder (ending
// with "/"): what each side changes reaches the other. Returns at once; the cookies the
// views kept from earlier runs come in through the user-interface thread's loop, and the
// jar holds its transfers until they are in. User-interface thread, once at start.
void ShareCookiesWithWebViews(const std::string& webDataFolder);
