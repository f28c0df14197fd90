// CPageArea: the main window's page area. It hosts one study page at a time over the
// element "hwndobj_main_lobby_left" (identifier 1000), keeps the page-address clock whose
// text makes every address unique, runs the login gate in front of every page and opens
// what a function tile names (FunctionTiles.h).
//
// Owned by the main window, which it asks whether a member is logged in and through which
// it shows its refusals; it never outlives that window.
//
// Threads: user-interface thread only.
#pragma once

#include "client/service/ServerClock.h"
#include "platform/WinTypes.h"

#include <chrono>
#include <string>

class CMainFrame;
struct FunctionTile;

class CPageArea {
public:
    // "此功能尚未完善、敬请期待！" (GBK): a page or login address that is not offered yet.
    static constexpr char kNotAvailableNotice[] =
        "\xb4\xcb\xb9\xa6\xc4\xdc\xc9\xd0\xce\xb4\xcd\xea\xc9\xc6\xa1\xa2\xbe\xb4\xc7\xeb\xc6\xda\xb4\xfd\xa3\xa1";

    explicit CPageArea(CMainFrame& frame) : m_frame(frame) {}
    CPageArea(const CPageArea&) = delete;
    CPageArea& operator=(const CPageArea&) = delete;

    // The login check of every page: the refusal notice and false when no member is
    // logged in or the page is not offered (empty name).
    bool PassesLoginGate(const std::string& pageName);
    // The login gate, then the page area prepared (Prepare); false when the gate refused.
    bool CheckPage(const std::string& pageName);
    // The home panel gives way to the page area, its old page gone.
    void Prepare();
    // The page area goes (its page with it); the caller shows what comes back.
    void Close();

    // Hosts a new page view for address, with the cache-buster when asked; it becomes the
    // current page view and replaces any earlier one.
    void HostPage(const std::string& address, bool cacheBuster);
    // Destroys the hosted view, if any.
    void DestroyHostedPage();
    // The current page view's window, or null when there is none or it is gone.
    HWND CurrentPageView() const;
    // page base + "/" + pageName, the name as given ("./" and a query kept).
    std::string PageAddress(const std::string& pageName) const;
    // Tests pause and set it.
    CServerClock& PageClock() { return m_pageClock; }

    // A tile's event: its page where the tile says. 0, or -1 when the gate refused a
    // page-area or message-window tile.
    int OpenTile(const FunctionTile& tile);

private:
    CMainFrame& m_frame;
    HWND m_hPageView = nullptr; // see CurrentPageView
    CServerClock m_pageClock{std::chrono::milliseconds(1)};
};
