#include "client/ui/WndLoginsysnew.h"

#include "client/ui/MainFrame.h"
#include "client/ui/WndMessage.h"
#include "dulib/dulib.h"

const EventMapEntry<CWndLoginsysnew> CWndLoginsysnew::s_events[] = {
    {"window_login_sysnew_close", PE_CLICK, &CWndLoginsysnew::OnClose},
    {"window_login_sysnew_link", PE_CLICK, &CWndLoginsysnew::OnLink},
    {nullptr, 0, nullptr},
};

std::string WrapNoticeText(const std::string& text)
{
    constexpr int kLineColumns = 30;
    std::string wrapped;
    wrapped.reserve(text.size() + text.size() / 15 + 1);
    int columns = 0;
    for (std::size_t at = 0; at < text.size();) {
        const bool wide = static_cast<unsigned char>(text[at]) > 0xA0;
        const std::size_t bytes = wide && at + 1 < text.size() ? 2 : 1;
        wrapped.append(text, at, bytes);
        at += bytes;
        columns += wide ? 2 : 1;
        if (columns >= kLineColumns) {
            wrapped += '\n';
            columns = 1;
        }
    }
    return wrapped;
}

CWndLoginsysnew::CWndLoginsysnew(SkinManager* skin, CMainFrame* frame)
    : CWnd(skin), m_pFrame(frame)
{
}

bool CWndLoginsysnew::Create()
{
    // Kept above other windows and out of the task bar; never takes the keyboard from
    // what the member is typing in.
    if (!CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "", WS_POPUP, 0, 0, 0, 0, nullptr, 0))
        return false;
    PlaceInCorner();
    ShowWindow(SW_HIDE);
    return true;
}

void CWndLoginsysnew::PlaceInCorner()
{
    // The work area, not the screen: a task bar or panel would cover the notice.
    const RECT work = GetWorkArea();
    MoveWindow(work.right - kWidth, work.bottom - kHeight, kWidth, kHeight);
}

int CWndLoginsysnew::OnCreate(CREATESTRUCT* cs)
{
    return CreateSkinned(cs, "login_sysnew");
}

void CWndLoginsysnew::SetNotice(const std::string& text, int delayMs)
{
    m_bLink = false;
    m_strText = text;
    m_bWaiting = true;
    SetTimer(kDelayTimer, static_cast<UINT>(delayMs));
}

bool CWndLoginsysnew::UpdateNotice(const std::string& current, const std::string& text)
{
    if (m_bLink || m_strText != current || (!m_bWaiting && !IsWindowVisible()))
        return false;
    m_strText = text;
    if (!m_bWaiting)
        PresentNotice();
    return true;
}

void CWndLoginsysnew::SetNoticeLink(const std::string& text, const std::string& url, int delayMs, int kind)
{
    m_bLink = true;
    m_bWaiting = true;
    SetTimer(kDelayTimer, static_cast<UINT>(delayMs));
    m_strText = text;
    m_strUrl = url;
    m_nKind = kind;
}

LRESULT CWndLoginsysnew::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER) {
        switch (wParam) {
        case kDelayTimer:
            KillTimer(kDelayTimer);
            ShowWindow(SW_HIDE);
            SetTimer(kPresentTimer, 1000);
            return 0;
        case kPresentTimer:
            KillTimer(kPresentTimer);
            m_bWaiting = false;
            PresentNotice();
            return 0;
        case kHideTimer:
            KillTimer(kHideTimer);
            ShowWindow(SW_HIDE);
            return 0;
        default:
            break;
        }
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}

void CWndLoginsysnew::PresentNotice()
{
    Plugin* plain = GetPluginByName(m_hWnd, "window_login_success");
    Plugin* link = GetPluginByName(m_hWnd, "window_login_sysnew_link");
    const std::string text = WrapNoticeText(m_strText);
    Plugin* shown = m_bLink ? link : plain;
    Plugin* hidden = m_bLink ? plain : link;
    if (hidden)
        hidden->Show(0);
    if (shown) {
        shown->SetText(text.c_str());
        shown->Show(1);
    }
    // A panel may have come or gone since the last notice.
    PlaceInCorner();
    ShowWindow(SW_SHOWNOACTIVATE);
    SetTimer(kHideTimer, 3000);
}

int CWndLoginsysnew::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}

int CWndLoginsysnew::OnClose(Plugin*, int, int)
{
    ShowWindow(SW_HIDE);
    return 0;
}

int CWndLoginsysnew::OnLink(Plugin*, int, int)
{
    if (m_nKind == kFileLink) {
        ShellOpen(m_strUrl);
        ShowWindow(SW_HIDE);
        return 0;
    }
    if (m_pFrame && m_pFrame->m_hWnd && !m_pFrame->IsWindowVisible())
        m_pFrame->ShowWindow(SW_SHOW);
    if (m_pFrame && m_pFrame->m_hWnd && m_nKind == 2) {
        // The page opens only for a logged-in member; otherwise the notice stays up.
        if (!m_pFrame->CheckPage("MESSAGE"))
            return -1;
        m_pFrame->HostPage(m_strUrl, false);
    } else if (m_pFrame && m_pFrame->m_hWnd && m_nKind == 1) {
        CWndMessage message(GetSkin(), m_pFrame, m_strUrl);
        message.DoModal();
    }
    ShowWindow(SW_HIDE);
    return 0;
}
