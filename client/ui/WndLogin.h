// CWndLogin: the login form ("window_landing" layout), run modally by the main window.
//
// It checks the typed fields, stores the remember choices (user name, password, automatic
// login: levels 0-3 in the settings key autologin) and hands the credentials to the main
// window's RequestLogin. It stays open while the answer travels: the main window closes
// it with OnOK when the login succeeded (DoModal then answers 1; closing or cancelling
// answers 2). Tab moves the focus round the form's nine controls, Enter logs in, Esc
// closes. The login advertisement page is shown once its address has arrived (timer 1005
// polls for it every 500 ms).
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/ModalWnd.h"
#include "client/skin/SkinEvents.h"

#include <array>
#include <string>

class CMainFrame;
class CKavrelHtmlView;

class CWndLogin : public CModalWnd {
public:
    static constexpr UINT_PTR kAdTimer = 1005;

    // frame: the main window (owner, login request, notices, addresses). Not owned.
    CWndLogin(SkinManager* skin, CMainFrame* frame);

    // Login button, Enter and automatic login: checks the fields, stores the remember
    // level and sends the login request.
    int DoLogin();
    // Stores the remember level 0-3 with the fields' current texts.
    void SaveLoginLevel(int level);
    // The level the check boxes give: 3 automatic login, 2 password, 1 user name, 0 none.
    [[nodiscard]] int LoginLevel() const;

    // The advertisement view, null until its page is hosted and again once the window is
    // gone.
    CKavrelHtmlView* m_pAdView = nullptr;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    void RestoreLogin();
    void FocusFirstEmptyField();
    // Hosts the login advertisement page; false when its view cannot be made.
    bool HostAdvertisement();
    void MoveFocus();
    bool IsChecked(const char* name) const;
    void SetChecked(const char* name);
    void ShowOnFrame(const char* name, int show);

    int OnWindowClose(Plugin* element, int param1, int param2);
    int OnLoginButton(Plugin* element, int param1, int param2);
    int OnCancelButton(Plugin* element, int param1, int param2);
    int OnAutoToggle(Plugin* element, int param1, int param2);
    int OnRememberUserToggle(Plugin* element, int param1, int param2);
    int OnRememberPassToggle(Plugin* element, int param1, int param2);
    int OnSocialLink(Plugin* element, int param1, int param2);

    static const EventMapEntry<CWndLogin> s_events[];
    CMainFrame* m_pFrame = nullptr;
    std::array<Plugin*, 9> m_focusRing{};
};

// Every "'" doubled, as the service expects in user names and passwords.
[[nodiscard]] std::string DoubleApostrophes(const std::string& text);
