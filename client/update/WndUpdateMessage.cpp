#include "client/update/WndUpdateMessage.h"

// "1.新增打印、聊天室模块。\n2.新增第三方登陆。"
const char CWndUpdateMessage::kText[] =
    "1.\xd0\xc2\xd4\xf6\xb4\xf2\xd3\xa1\xa1\xa2\xc1\xc4\xcc\xec\xca\xd2\xc4\xa3\xbf\xe9\xa1\xa3\n"
    "2.\xd0\xc2\xd4\xf6\xb5\xda\xc8\xfd\xb7\xbd\xb5\xc7\xc2\xbd\xa1\xa3";

const EventMapEntry<CWndUpdateMessage> CWndUpdateMessage::s_events[] = {
    {"window_updatemessage_close", PE_CLICK, &CWndUpdateMessage::OnClose},
    {"window_updatemessage_enter", PE_CLICK, &CWndUpdateMessage::OnEnter},
    {nullptr, 0, nullptr},
};

int CWndUpdateMessage::OnCreate(CREATESTRUCT* cs)
{
    if (CreateSkinned(cs, "window_updatemessage") == -1)
        return -1;
    WindowManager_SetOwnKeys(m_hWnd, KEYS_ENTER); // Enter acknowledges; Space acts on the focus
    if (Plugin* text = GetPluginByName(m_hWnd, "update_text"))
        text->SetText(kText);
    return 0;
}

LRESULT CWndUpdateMessage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    // Escape and Enter both acknowledge the window.
    if (msg == WM_KEYDOWN && (wParam == 27 || wParam == 13)) {
        OnOK();
        return 0;
    }
    return CModalWnd::WindowProc(msg, wParam, lParam);
}

int CWndUpdateMessage::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}

int CWndUpdateMessage::OnClose(Plugin*, int, int)
{
    OnCancel();
    return 0;
}

int CWndUpdateMessage::OnEnter(Plugin*, int, int)
{
    OnOK();
    return 0;
}
