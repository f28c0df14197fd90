// CWndLoginsysnew: the notice window, a small borderless window in the lower right corner
// of the screen ("login_sysnew" layout) that shows a short text for three seconds, either
// plain or as a link to a forum or message page.
//
// A notice is shown (delay + 1000) ms after it was asked for and stays 3000 ms; a new
// notice restarts that sequence and replaces the text, so of two notices asked for in
// quick succession only the second is seen. Timers: 1002 the delay, 1004 the pause with
// the window hidden, 1003 the time shown.
//
// The main window owns one for its whole life (ShowNotice and ShowNoticeLink fill it).
// It never takes the activation, so a notice does not interrupt typing in another window.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/SkinEvents.h"
#include "client/skin/Wnd.h"

#include <string>

class CMainFrame;

class CWndLoginsysnew : public CWnd {
public:
    static constexpr UINT_PTR kDelayTimer = 1002;
    static constexpr UINT_PTR kHideTimer = 1003;
    static constexpr UINT_PTR kPresentTimer = 1004;
    static constexpr int kWidth = 261;
    static constexpr int kHeight = 194;

    // frame: the main window a link opens its page in; may be null (then a link only
    // closes the notice). Not owned.
    CWndLoginsysnew(SkinManager* skin, CMainFrame* frame);

    // Creates the window hidden, 261 x 194 in the lower-right corner of the work area.
    bool Create();

    // A plain notice after delay ms (then the one-second pause).
    void SetNotice(const std::string& text, int delayMs);
    // A notice whose text opens url: kind 1 a short message (in the message window), 2 a
    // forum thread (in the main window's page area, for a logged-in member), kFileLink a
    // downloaded file (with the desktop's handler for its type), other kinds nothing.
    static constexpr int kFileLink = 3;
    void SetNoticeLink(const std::string& text, const std::string& url, int delayMs, int kind);
    // News that goes on (a download's progress): the plain notice waiting or shown whose
    // text is `current` takes `text` without restarting its sequence; one on the screen is
    // redrawn and stays 3000 ms from now. False, and nothing changes, when the window holds
    // another notice, a link, or none (the member closed it, or its time ran out).
    bool UpdateNotice(const std::string& current, const std::string& text);

    bool m_bLink = false;
    std::string m_strUrl;
    std::string m_strText; // GBK
    int m_nKind = 0;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    // Into the work area's lower-right corner, clear of the panels as they are now.
    void PlaceInCorner();
    void PresentNotice();
    int OnClose(Plugin* element, int param1, int param2);
    int OnLink(Plugin* element, int param1, int param2);

    static const EventMapEntry<CWndLoginsysnew> s_events[];
    CMainFrame* m_pFrame = nullptr;
    bool m_bWaiting = false; // 1002 or 1004 runs
};

// The notice text broken into lines of about 30 columns: a byte above 0xA0 starts a
// two-byte character of 2 columns (also when it is the text's last byte, which is then
// kept as it is), any other byte is 1 column; once a line holds 30 or more columns a line
// feed follows, and it counts as the first column of the next line.
[[nodiscard]] std::string WrapNoticeText(const std::string& text);
