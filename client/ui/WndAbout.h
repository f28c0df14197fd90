// CWndAbout: the about window ("window_about"), run modally from the settings drop-down.
// It shows the client's version and release date; Esc, Enter and its confirm button end it
// with 1, its close button with 2.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/SkinEvents.h"
#include "client/ui/DialogWnd.h"

class CWndAbout : public CDialogWnd {
public:
    CWndAbout(SkinManager* skin, CWnd* owner) : CDialogWnd(skin, owner, "window_about", KeysEnd::WithOK) {}

protected:
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    static const EventMapEntry<CWndAbout> s_events[];
};
