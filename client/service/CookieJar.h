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
// web views' store in the program folder's web-data folder, which hands them over at start.
//
// Threads: every operation may be called from any thread. The listener runs on the thread
// of the transfer that made the change, outside the jar's locks.
#pragma once

#include "platform/window/WebCookies.h"

#include <curl/curl.h>

#include <array>
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

    // Makes handle send and keep cookies in this jar. Call before the transfer.
    void Attach(CURL* handle);
    // After a transfer with an attached handle: reports what changed since the last look.
    void AfterTransfer();

    // Sets or removes cookies that changed elsewhere; they are not reported back.
    void ApplyFromWeb(const std::vector<platform::CookieChange>& changes);

    void SetListener(Listener listener);

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
};

// The web views' data folder (cookies, site storage) inside the program folder.
inline constexpr char kWebDataFolder[] = "data/web/";

// Connects the process's jar with the web views' store kept in webDataFolder (ending
// with "/"): what each side changes reaches the other, and the cookies the views kept from
// earlier runs are in the jar when this returns. User-interface thread, once at start.
void ShareCookiesWithWebViews(const std::string& webDataFolder);
