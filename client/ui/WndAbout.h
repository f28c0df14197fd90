// CWndAbout: the about window ("window_about"), run modally from the settings drop-down.
// It shows the client's version and release date; Esc, Enter and its confirm button end it
// with 1, its close button with 2.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/ModalWnd.h"
#include "client/skin/SkinEvents.h"

class CWndAbout : public CModalWnd {
public:
    CWndAbout(SkinManager* skin, CWnd* owner) : CModalWnd(skin, owner) {}

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    int OnClose(Plugin* element, int param1, int param2);
    int OnEnter(Plugin* element, int param1, int param2);

    static const EventMapEntry<CWndAbout> s_events[];
};
