#include "client/ui/WndYhelp.h"

#include <utility>

const EventMapEntry<CWndYhelp> CWndYhelp::s_events[] = {
    {"window_Yhelp_close", PE_CLICK, &CWndYhelp::OnClose},
    {nullptr, 0, nullptr},
};

CWndYhelp::CWndYhelp(SkinManager* skin, CWnd* owner, std::string page)
    : CWndWebPage(skin, owner, "window_Yhelp", "window_Yhelp_hwndobj", std::move(page))
{
}

int CWndYhelp::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}
