// CWndPageWindow: a page a study page opened in a new window (a link with a blank target,
// window.open) on one of the service's own hosts. A modal window over its opener, skinned
// like the message window, with its close button and Esc; the page's window.close()
// closes it too. It shares the session's cookies with every other view. Its page area
// takes the size the page asked for (the skin's frame around it), within the screen's
// work area; without a request the window has its layout's size.
//
// OpenRequestedWindow decides where a requested address goes: the service's hosts (the
// page base's and the public web site's) into a page window, any other address to the
// desktop's browser.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/SkinEvents.h"
#include "client/ui/WndWebPage.h"

#include <string>

class CMainFrame;

class CWndPageWindow : public CWndWebPage {
public:
    // page: the full address, loaded as given; pageSize: the page area asked for, 0 in
    // either part for the layout's own.
    CWndPageWindow(SkinManager* skin, CWnd* owner, std::string page, SIZE pageSize = {});

    // The smallest page area a request gets, as desktop browsers keep it.
    static constexpr int kMinPageSide = 100;

protected:
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    static const EventMapEntry<CWndPageWindow> s_events[];
    const SIZE m_pageSize;
};

// True when address is http or https on the page base's host or the web site's host
// (host and port compared, the host without regard to case).
[[nodiscard]] bool IsServiceAddress(const CMainFrame& frame, const std::string& address);

// Opens address as a page of the service would want it: a page window over owner when it
// is the service's (runs modally until that window closes), else the desktop's browser.
// pageSize: the page area the page asked for (see CWndPageWindow).
void OpenRequestedWindow(CMainFrame& frame, CWnd* owner, const std::string& address, SIZE pageSize = {});
