// CWndChangeSkin: the colour chooser ("window_skinwin"), run modally from the settings
// drop-down. A colour image applies its scheme to the main window at once and the chooser
// stays open, so several can be tried; Esc, Enter and the close buttons end it with 2.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/SkinEvents.h"
#include "client/ui/DialogWnd.h"

class CMainFrame;

class CWndChangeSkin : public CDialogWnd {
public:
    // frame: the main window, owner of the run and of the colour scheme (not owned).
    CWndChangeSkin(SkinManager* skin, CMainFrame* frame);

protected:
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    // -1 for a colour image the client does not know; the scheme stays.
    int OnChooseColour(Plugin* element, int param1, int param2);

    static const EventMapEntry<CWndChangeSkin> s_events[];

    CMainFrame* m_pFrame = nullptr;
};
