#include "client/ui/WndLogin.h"

#include "client/settings/Settings.h"
#include "client/ui/HtmlView.h"
#include "client/ui/MainFrame.h"
#include "dulib/dulib.h"
#include "platform/CodeLib.h"

#include <algorithm>

namespace {

constexpr const char* kFocusRing[] = {
    "landing_edit_user", "landing_edit_password", "cho_remember_user", "cho_remember_pass", "cho_auto",
    "landing_landing",   "landing_cancel",        "landing_createuser", "landing_forget",
};

// 请输入用户名 and 请输入密码, as GBK bytes.
constexpr const char kEnterUserName[] = "\xc7\xeb\xca\xe4\xc8\xeb\xd3\xc3\xbb\xa7\xc3\xfb";
constexpr const char kEnterPassword[] = "\xc7\xeb\xca\xe4\xc8\xeb\xc3\xdc\xc2\xeb";

} // namespace

const EventMapEntry<CWndLogin> CWndLogin::s_events[] = {
    {"landing_window_close", PE_CLICK, &CWndLogin::OnWindowClose},
    {"landing_landing", PE_CLICK, &CWndLogin::OnLoginButton},
    {"landing_cancel", PE_CLICK, &CWndLogin::OnCancelButton},
    {"cho_auto", PE_TOGGLE, &CWndLogin::OnAutoToggle},
    {"cho_remember_user", PE_TOGGLE, &CWndLogin::OnRememberUserToggle},
    {"cho_remember_pass", PE_TOGGLE, &CWndLogin::OnRememberPassToggle},
    {"landing_renren", PE_ACTIVATE, &CWndLogin::OnSocialLink},
    {"landing_weibo", PE_ACTIVATE, &CWndLogin::OnSocialLink},
    {"landing_qq", PE_ACTIVATE, &CWndLogin::OnSocialLink},
    {nullptr, 0, nullptr},
};

std::string DoubleApostrophes(const std::string& text)
{
    std::string doubled;
    doubled.reserve(text.size());
    for (char c : text) {
        doubled += c;
        if (c == '\'')
            doubled += '\'';
    }
    return doubled;
}

CWndLogin::CWndLogin(SkinManager* skin, CMainFrame* frame)
    : CModalWnd(skin, frame), m_pFrame(frame)
{
}

int CWndLogin::OnCreate(CREATESTRUCT* cs)
{
    m_pAdView = nullptr;
    if (CreateSkinned(cs, "window_landing") == -1)
        return -1;
    // The form walks its own Tab ring and logs in on Enter wherever the focus is.
    WindowManager_SetOwnKeys(m_hWnd, KEYS_TAB | KEYS_ENTER);
    for (std::size_t i = 0; i < m_focusRing.size(); ++i)
        m_focusRing[i] = GetPluginByName(m_hWnd, kFocusRing[i]);

    const std::string& pageBase = m_pFrame->serverAddresses().pageBase;
    if (Plugin* forget = GetPluginByName(m_hWnd, "landing_forget"))
        forget->SetLink((pageBase + "/pass_password.htm").c_str());
    if (Plugin* create = GetPluginByName(m_hWnd, "landing_createuser"))
        create->SetLink((pageBase + "/member_registe.htm").c_str());

    if (m_pFrame->Feeds().loginAdAddress.empty()) {
        SetTimer(kAdTimer, 500);
    } else {
        KillTimer(kAdTimer);
        if (!HostAdvertisement())
            return -1;
    }
    RestoreLogin();
    FocusFirstEmptyField();
    return 0;
}

void CWndLogin::FocusFirstEmptyField()
{
    // The member's first keys go where they are needed: the password after a remembered name.
    Plugin* user = GetPluginByName(m_hWnd, "landing_edit_user");
    Plugin* password = GetPluginByName(m_hWnd, "landing_edit_password");
    const bool nameOnly = user && password && !user->GetText().empty() && password->GetText().empty();
    if (Plugin* field = nameOnly ? password : user)
        SetFocusPlugin(m_hWnd, field);
}

bool CWndLogin::HostAdvertisement()
{
    const std::string address = m_pFrame->serverAddresses().pageBase + "/" + m_pFrame->Feeds().loginAdAddress;
    return HostWebPage(m_hWnd, "window_landing", "landing_advantage_obj", 2000, address, nullptr, &m_pAdView) == 0;
}

void CWndLogin::RestoreLogin()
{
    const Settings settings(Settings::PathIn(m_pFrame->appDir()));
    const int level = settings.autologin();
    Plugin* user = GetPluginByName(m_hWnd, "landing_edit_user");
    Plugin* password = GetPluginByName(m_hWnd, "landing_edit_password");
    if (level == 1) {
        if (user)
            user->SetText(settings.user().c_str());
        SetChecked("cho_remember_user");
    } else if (level == 2 || level == 3) {
        if (user)
            user->SetText(settings.user().c_str());
        if (password)
            password->SetText(settings.password().c_str());
        SetChecked("cho_remember_user");
        SetChecked("cho_remember_pass");
        if (level == 3) {
            SetChecked("cho_auto");
            // Automatic login at start-up and after the tour, never from the member button.
            if (!m_pFrame->LoginFromMemberButton())
                DoLogin();
        }
    }
}

int CWndLogin::DoLogin()
{
    Plugin* userField = GetPluginByName(m_hWnd, "landing_edit_user");
    Plugin* passwordField = GetPluginByName(m_hWnd, "landing_edit_password");
    const std::string user = userField ? userField->GetText() : std::string();
    const std::string password = passwordField ? passwordField->GetText() : std::string();
    if (user.empty()) {
        m_pFrame->ShowNotice(kEnterUserName, CMainFrame::kNoticeDelay);
        if (userField)
            userField->SetFocus(1);
        return 0;
    }
    if (password.empty()) {
        m_pFrame->ShowNotice(kEnterPassword, CMainFrame::kNoticeDelay);
        if (passwordField)
            passwordField->SetFocus(1);
        return 0;
    }
    const std::string userUtf8 = CCodeLib::AnsiToUtf8(user);
    SaveLoginLevel(LoginLevel());
    m_pFrame->RequestLogin(DoubleApostrophes(userUtf8), DoubleApostrophes(password));
    return 0;
}

int CWndLogin::LoginLevel() const
{
    if (IsChecked("cho_auto"))
        return 3;
    if (IsChecked("cho_remember_pass"))
        return 2;
    if (IsChecked("cho_remember_user"))
        return 1;
    return 0;
}

void CWndLogin::SaveLoginLevel(int level)
{
    const Settings settings(Settings::PathIn(m_pFrame->appDir()));
    Plugin* user = GetPluginByName(m_hWnd, "landing_edit_user");
    Plugin* password = GetPluginByName(m_hWnd, "landing_edit_password");
    settings.setUser(level == 0 || !user ? std::string() : user->GetText());
    settings.setPassword(level <= 1 || !password ? std::string() : password->GetText());
    settings.setAutologin(level);
}

bool CWndLogin::IsChecked(const char* name) const
{
    Plugin* box = GetPluginByName(m_hWnd, name);
    return box && box->GetCheck() != 0;
}

void CWndLogin::SetChecked(const char* name)
{
    if (Plugin* box = GetPluginByName(m_hWnd, name))
        box->SetCheck(1);
}

void CWndLogin::ShowOnFrame(const char* name, int show)
{
    if (Plugin* element = GetPluginByName(m_pFrame->m_hWnd, name))
        element->Show(show);
}

LRESULT CWndLogin::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam == kAdTimer && !m_pFrame->Feeds().loginAdAddress.empty()) {
            KillTimer(kAdTimer);
            HostAdvertisement(); // a view that cannot be made leaves the area empty
        }
        return wParam == kAdTimer ? 0 : CModalWnd::WindowProc(msg, wParam, lParam);
    case WM_DESTROY:
        // The view goes with the window.
        m_pAdView = nullptr;
        return CModalWnd::WindowProc(msg, wParam, lParam);
    case WM_KEYDOWN:
        if (wParam == VK_TAB)
            MoveFocus();
        else if (wParam == VK_ESCAPE)
            OnWindowClose(nullptr, 0, 0);
        else if (wParam == VK_RETURN)
            DoLogin();
        return CModalWnd::WindowProc(msg, wParam, lParam);
    default:
        return CModalWnd::WindowProc(msg, wParam, lParam);
    }
}

void CWndLogin::MoveFocus()
{
    Plugin* focused = GetFocusPlugin(m_hWnd);
    const auto at = std::find(m_focusRing.begin(), m_focusRing.end(), focused);
    // After the last, and from anywhere outside the ring, to the first.
    const std::size_t next = focused && at != m_focusRing.end() ? (at - m_focusRing.begin() + 1) % m_focusRing.size() : 0;
    SetFocusPlugin(m_hWnd, m_focusRing[next]);
    InvalidateRect();
}

int CWndLogin::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}

int CWndLogin::OnWindowClose(Plugin*, int, int)
{
    KillTimer(kAdTimer);
    OnCancel();
    ShowOnFrame("window_mask", 0);
    return 0;
}

int CWndLogin::OnLoginButton(Plugin*, int, int)
{
    return DoLogin();
}

int CWndLogin::OnCancelButton(Plugin*, int, int)
{
    KillTimer(kAdTimer);
    ShowOnFrame("window_mask", 0);
    ShowOnFrame("nonlogin", 1);
    OnCancel();
    return 0;
}

int CWndLogin::OnAutoToggle(Plugin*, int on, int)
{
    if (on) {
        SetChecked("cho_remember_user");
        SetChecked("cho_remember_pass");
        SaveLoginLevel(3);
    } else {
        SaveLoginLevel(2);
    }
    InvalidateRect();
    return 0;
}

int CWndLogin::OnRememberUserToggle(Plugin*, int on, int)
{
    if (on)
        SaveLoginLevel(1);
    else if (IsChecked("cho_remember_pass") || IsChecked("cho_auto"))
        SetChecked("cho_remember_user");
    else
        SaveLoginLevel(0);
    InvalidateRect();
    return 0;
}

int CWndLogin::OnRememberPassToggle(Plugin*, int on, int)
{
    if (on) {
        SetChecked("cho_remember_user");
        SaveLoginLevel(2);
    } else if (IsChecked("cho_auto")) {
        SetChecked("cho_remember_pass");
    } else {
        SaveLoginLevel(1);
    }
    InvalidateRect();
    return 0;
}

int CWndLogin::OnSocialLink(Plugin* element, int, int)
{
    m_pFrame->OpenSocialLogin(element ? element->GetName() : std::string());
    return 0;
}
