#include "client/ui/WndChangeSkin.h"

#include "client/ui/MainFrame.h"

#include <strings.h>

const EventMapEntry<CWndChangeSkin> CWndChangeSkin::s_events[] = {
    {"window_color_close", PE_CLICK, &CWndChangeSkin::OnCancelButton},
    {"window_color_close_down", PE_CLICK, &CWndChangeSkin::OnCancelButton},
    {"window_color_image_*", PE_SELECT, &CWndChangeSkin::OnChooseColour},
    {nullptr, 0, nullptr},
};

CWndChangeSkin::CWndChangeSkin(SkinManager* skin, CMainFrame* frame)
    : CDialogWnd(skin, frame, "window_skinwin", KeysEnd::WithCancel), m_pFrame(frame)
{
}

int CWndChangeSkin::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}

int CWndChangeSkin::OnChooseColour(Plugin* element, int, int)
{
    const std::string name = element->GetName();
    const char* suffix = nullptr;
    if (strcasecmp(name.c_str(), "window_color_image_blue") == 0)
        suffix = "";
    else if (strcasecmp(name.c_str(), "window_color_image_Orange") == 0)
        suffix = "_Orange";
    else
        return -1;
    m_pFrame->ChangeColourScheme(suffix);
    InvalidateRect();
    UpdateWindow();
    return 0;
}
