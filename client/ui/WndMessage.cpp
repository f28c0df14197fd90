#include "client/ui/WndMessage.h"

#include <utility>

const EventMapEntry<CWndMessage> CWndMessage::s_events[] = {
    {"window_message_close", PE_CLICK, &CWndMessage::OnClose},
    {nullptr, 0, nullptr},
};

CWndMessage::CWndMessage(SkinManager* skin, CWnd* owner, std::string page)
    : CWndWebPage(skin, owner, "window_message", "window_message_hwndobj", std::move(page))
{
}

int CWndMessage::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}
