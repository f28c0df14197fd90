// CWndYhelp: the quick help, a modal window over the main window showing one web page in
// the layout "window_Yhelp".
//
// Threads: user-interface thread only.
#pragma once

#include "client/ui/WndWebPage.h"
#include "client/skin/SkinEvents.h"

class CWndYhelp : public CWndWebPage {
public:
    // page: the page's full address, loaded as given (no cache-buster).
    CWndYhelp(SkinManager* skin, CWnd* owner, std::string page);

protected:
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    static const EventMapEntry<CWndYhelp> s_events[];
};
