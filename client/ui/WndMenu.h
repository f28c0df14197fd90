// CWndMenu: the settings drop-down ("window_listbox") under the main window's settings
// button: the web site, the colour chooser and the about window. The main window creates,
// places and tracks it (TrackDropDown) for one press of the button.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/SkinEvents.h"
#include "client/skin/Wnd.h"

class CMainFrame;

class CWndMenu : public CWnd {
public:
    // frame: the main window that tracks this drop-down (not owned).
    CWndMenu(SkinManager* skin, CMainFrame* frame) : CWnd(skin), m_pFrame(frame) {}

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    int OnWebSite(Plugin* element, int param1, int param2);
    int OnColour(Plugin* element, int param1, int param2);
    int OnAbout(Plugin* element, int param1, int param2);
    // Ends the tracking and hides the drop-down, then runs the window modally over the
    // main window.
    template <class Window>
    void RunFromDropDown();

    static const EventMapEntry<CWndMenu> s_events[];

    CMainFrame* m_pFrame = nullptr;
};
