// CWndMessage: the member's short messages, a modal window over the main window showing
// one web page in the layout "window_message": the received box (the main window's mail
// button) or one message (a short-message notice link).
//
// Threads: user-interface thread only.
#pragma once

#include "client/ui/WndWebPage.h"
#include "client/skin/SkinEvents.h"

class CWndMessage : public CWndWebPage {
public:
    // page: the page's full address, loaded as given (no cache-buster).
    CWndMessage(SkinManager* skin, CWnd* owner, std::string page);

protected:
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    static const EventMapEntry<CWndMessage> s_events[];
};
