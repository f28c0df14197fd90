// CMainFrame: the client's main window. Its face is the "MainFrame_Window" layout; it
// owns the member session, the notice, login and download windows and the page view it
// hosts, routes the service's answers to their handlers, opens the study pages and
// provides the frame services (tray, drop-down, colour scheme, tour).
//
// The class is large, so its member functions live in one file per job:
//   MainFrame.cpp          creation, message map, event table, width layout
//   MainFrameSession.cpp   login exchange, session record, logout, feeds, notices
//   MainFramePages.cpp     login gate, study pages, browser pages, message and help windows
//   MainFrameServices.cpp  tray, close, maximise, caption, drop-down, colour scheme, tour
//   MainFrameUpdate.cpp    update results, what's new, the member picture download
//
// Threads: user-interface thread only.
#pragma once

#include "client/service/AnswerRouter.h"
#include "client/service/Feeds.h"
#include "client/service/ServerClock.h"
#include "client/service/SessionRecord.h"
#include "client/settings/ServerAddresses.h"
#include "client/skin/SkinEvents.h"
#include "client/skin/Wnd.h"
#include "client/ui/WndLogin.h"
#include "client/ui/WndLoginsysnew.h"
#include "client/update/HttpFileDownWnd.h"

#include <memory>
#include <string>

class CRequestWorker;

class CMainFrame : public CWnd {
public:
    // appDir: the program folder, ending with "/". skin: the application's skin (not
    // owned). firstRun: 1 on the first start of this installation.
    CMainFrame(std::string appDir, SkinManager* skin, int firstRun = 0);
    ~CMainFrame() override;

    // Creates the window (not yet shown: the application shows it after creation).
    bool Create();

    const ServerAddresses& serverAddresses() const { return m_addresses; }
    const std::string& appDir() const { return m_strAppDir; }

    // ---- Member session and notices -------------------------------------------------

    // The delay every notice is shown with, in milliseconds.
    static constexpr int kNoticeDelay = 100;
    // Plain notice in the notice window; every caller passes kNoticeDelay.
    void ShowNotice(const std::string& text, int delay);
    // Notice with a link: kind 1 short message, 2 forum thread, other: param is the link.
    void ShowNoticeLink(const std::string& text, const std::string& param, int delay, int kind);
    // A member is logged in: uid not 0 and loginSuccess set.
    bool IsLoggedIn() const;
    void Logout();
    // Runs the login window modally (and what follows a login); used by start-up and
    // by the end of the tour.
    void LoginFlow();
    void OpenSocialLogin(const std::string& elementName);
    // The request worker every service request goes through (the application's one
    // worker, not owned); set before Create. Without one nothing is sent.
    void UseRequestWorker(CRequestWorker* worker) { m_pWorker = worker; }
    // The login request: user name in UTF-8 and password (GBK), apostrophes doubled.
    void RequestLogin(const std::string& userIdUtf8, const std::string& password);
    const SessionRecord& Session() const { return m_session; }
    const FeedTexts& Feeds() const { return m_feeds; }
    // The login window was opened by the member button (no automatic login then).
    bool LoginFromMemberButton() const { return m_bVipLogin; }
    // The notice window (closed at shutdown); null before creation.
    HWND NoticeWindow() const { return m_pNotice ? m_pNotice->m_hWnd : nullptr; }
    CWndLogin& LoginWindow() { return *m_pLogin; }


    // ---- Pages ---------------------------------------------------------------------

    // The login gate before a page: shows the refusal notice and answers false, or
    // prepares the page area and answers true.
    bool CheckPage(const std::string& pageName);
    // Hosts a new page view for address in the page area ("hwndobj_main_lobby_left",
    // identifier 1000), with the cache-buster when asked; it becomes the current page view.
    void HostPage(const std::string& address, bool cacheBuster);
    // Destroys the view hosted in the page area, if any.
    void DestroyHostedPage();
    // The current page view's window, or null when there is none or it is gone.
    HWND CurrentPageView() const;
    // page base + "/" + pageName, the name as given ("./" and a query kept).
    std::string PageAddress(const std::string& pageName) const;
    // The page-address clock (1 ms period) whose text makes every page address unique;
    // tests pause and set it.
    CServerClock& PageClock() { return m_pageClock; }


    // ---- Frame services and tour ---------------------------------------------------

    // Applies a colour scheme: "" blue, "_Orange" orange (in any letter case). Rewrites
    // the recolour style groups and the back item of the skin, repaints and stores the
    // scheme as `background`. Any other value changes nothing.
    void ChangeColourScheme(const std::string& scheme);
    // Shows the guidance tour (first start); the login follows when it ends.
    void ShowGuidance();
    // The public web site (a host name without scheme).
    const std::string& WebSite() const { return m_strWebSite; }
    // Ends the settings drop-down's tracking (an item chosen, a click outside it).
    void SetDropDownDismissed() { m_nDropDownDismissed = 1; }


    // ---- Update integration and member picture ---------------------------------------

    // Reloads the skin picture "vip_login_pic" from the member picture file and repaints.
    void RefreshMemberPicture();
    // Fetches the member picture at url into path off the user-interface thread (any
    // earlier download is dropped); RefreshMemberPicture runs when it has arrived.
    void StartMemberPictureDownload(const std::string& url, const std::string& path);
    // After a successful login: the what's-new window once per installed update.
    void ShowWhatsNewOnce();


protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override;

private:
    void OnSize(int width);
    // Shows or hides an element of the face when the layout has it.
    void ShowElement(const char* name, bool show);
    // Today's plan when the member has one, else the invitation to make one.
    void ShowPlanPanels();

    // The external-account login poll; it reads the current page view, so whatever
    // destroys that view stops it first.
    static constexpr UINT_PTR kExternalLoginTimer = 1008;
    // "此功能尚未完善、敬请期待！" (GBK): a page or login address that is not offered yet.
    static constexpr char kNotAvailableNotice[] =
        "\xb4\xcb\xb9\xa6\xc4\xdc\xc9\xd0\xce\xb4\xcd\xea\xc9\xc6\xa1\xa2\xbe\xb4\xc7\xeb\xc6\xda\xb4\xfd\xa3\xa1";

    // Each job's share of the message map: true when it handled msg (result in *result).
    bool OnSessionMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
    bool OnServicesMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
    bool OnUpdateMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // Each job's share of creation, in the order they run.
    void CreateSessionParts();   // session reset, notice window
    void CreateUpdateParts();    // the hidden download window
    void RequestExamAds();       // the first feed request, "examtime_ad_address"
    void DestroySessionParts();  // before the window goes: timers, clocks, worker targets

    // ---- Member session: handlers and state -----------------------------------------

    void ResetSession();
    void HandleLoginAnswer(const std::string& answerText);
    void OnExamAds(const std::string& answerText);
    void OnUnreadMessages(const std::string& answerText);
    void OnForumNotice(const std::string& answerText);
    void OnConnectNotices(const std::string& answerText);
    void PollExternalLogin();
    void SendRequest(const std::string& address, const std::string& body, int kind);
    void ShowLoggedOutFace();
    int OnMemberButton(Plugin* element, int param1, int param2);
    int OnLogoutButton(Plugin* element, int param1, int param2);

    CRequestWorker* m_pWorker = nullptr;
    UINT m_succMessage = 0;
    UINT m_failMessage = 0;
    std::unique_ptr<AnswerRouter> m_pRouter;
    std::unique_ptr<CWndLoginsysnew> m_pNotice;
    std::unique_ptr<CWndLogin> m_pLogin;
    SessionRecord m_session;
    FeedTexts m_feeds;
    std::unique_ptr<CServerClock> m_pServerClock;
    bool m_bVipLogin = false;     // the login window was opened by the member button
    bool m_bLoggedInFace = false; // the logged-in view is up
    HWND m_hTopAdView = nullptr;  // the top advertisement view
    std::string m_strLoginToken;  // of the external-account login under way

    // ---- Pages: handlers and state -----------------------------------------------------

    int OnPageButton(Plugin* element, int param1, int param2);
    int OnBrowserPage(Plugin* element, int param1, int param2);
    int OnMessageWindow(Plugin* element, int param1, int param2);
    int OnQuickHelp(Plugin* element, int param1, int param2);
    int OnReturn(Plugin* element, int param1, int param2);
    int OnPanelReturn(Plugin* element, int param1, int param2);
    // The login check of every page: the refusal notice and false when no member is
    // logged in or the page is not offered (empty name).
    bool PassesLoginGate(const std::string& pageName);

    HWND m_hPageView = nullptr; // the current page view's window; see CurrentPageView
    CServerClock m_pageClock{std::chrono::milliseconds(1)};


    // ---- Frame services and tour: handlers and state ----------------------------------

    int OnSysMin(Plugin* element, int param1, int param2);
    int OnSysMax(Plugin* element, int param1, int param2);
    int OnSysClose(Plugin* element, int param1, int param2);
    int OnSysSet(Plugin* element, int param1, int param2);
    int OnSysHelp(Plugin* element, int param1, int param2);
    int OnTourNext(Plugin* element, int param1, int param2);
    int OnTourEnd(Plugin* element, int param1, int param2);
    // A gesture on the tray icon: 1 for another icon, else 0.
    LRESULT OnShowTask(WPARAM iconId, LPARAM mouseMessage);
    void OnCaptionDoubleClick(LPARAM point);
    // Close button and the tray's exit: log out, close the main and notice windows.
    void CloseClient();
    void HideTourPages();

    int m_nDropDownDismissed = 0; // set by the drop-down, cleared when its tracking ends
    int m_bTourFromHelp = 0;      // the running (or last) tour was started from help


    // ---- Update integration: handlers and state ----------------------------------------

    // Set to 0 at creation; while not 0 a check that found nothing says so.
    int m_nNoUpdate = 0;
    std::unique_ptr<CHttpFileDownWnd> m_pDownWnd; // the hidden download window


    static const EventMapEntry<CMainFrame> s_events[];

    std::string m_strAppDir;
    int m_bFirstRun = 0;
    ServerAddresses m_addresses;
    std::string m_strWebSite; // the public web site, a host name without scheme
};

// The main window of the running client; null before it is created and after it is gone.
extern CMainFrame* g_pMainFrame;
