// CWndUpdateMessage: the what's-new window shown once after an update has been applied,
// over the main window after a successful login. Its text is fixed in the client.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/ModalWnd.h"
#include "client/skin/SkinEvents.h"

class CWndUpdateMessage : public CModalWnd {
public:
    CWndUpdateMessage(SkinManager* skin, CWnd* owner) : CModalWnd(skin, owner) {}

    // The text shown in "update_text" (GBK).
    static const char kText[];

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    int OnClose(Plugin* element, int param1, int param2);
    int OnEnter(Plugin* element, int param1, int param2);

    static const EventMapEntry<CWndUpdateMessage> s_events[];
};
