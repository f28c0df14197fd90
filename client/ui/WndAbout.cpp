#include "client/ui/WndAbout.h"

#include "client/service/Version.h"

#include <cstdio>

namespace {

constexpr const char kReleaseDate[] = "2012.12.28";
// "版本：%s" and "发行时间：%s" in GBK.
constexpr const char kVersionFormat[] = "\xB0\xE6\xB1\xBE\xA3\xBA%s";
constexpr const char kDateFormat[] = "\xB7\xA2\xD0\xD0\xCA\xB1\xBC\xE4\xA3\xBA%s";

} // namespace

const EventMapEntry<CWndAbout> CWndAbout::s_events[] = {
    {"window_about_close", PE_CLICK, &CWndAbout::OnCancelButton},
    {"window_about_enter", PE_CLICK, &CWndAbout::OnOKButton},
    {nullptr, 0, nullptr},
};

int CWndAbout::OnCreate(CREATESTRUCT* cs)
{
    if (CDialogWnd::OnCreate(cs) == -1)
        return -1;
    char text[100];
    std::snprintf(text, sizeof text, kVersionFormat, kClientVersion);
    if (Plugin* version = GetPluginByName(m_hWnd, "about_text_3"))
        version->SetText(text);
    std::snprintf(text, sizeof text, kDateFormat, kReleaseDate);
    if (Plugin* date = GetPluginByName(m_hWnd, "about_text_4"))
        date->SetText(text);
    return 0;
}

int CWndAbout::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}
