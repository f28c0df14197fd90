// CMemberSession: the member session of the main window. It sends the service requests,
// routes their answers to the login and feed handlers, keeps the session record and the
// feed texts, runs the session timers on the main window (1001 unread messages, 1006
// forum notice, 1007 keep-alive, 1008 external-account login poll) and owns the notice
// window, the login window and the server clock. What it shows goes onto the main
// window's face: the member panel, the countdown, the unread count, the top advertisement.
//
// Owned by the main window, which hands it its messages (OnMessage) and its member and
// log-out buttons; pages it opens go through the main window's page area.
//
// Threads: user-interface thread only.
#pragma once

#include "client/service/AnswerRouter.h"
#include "client/service/Feeds.h"
#include "client/service/ServerClock.h"
#include "client/service/SessionRecord.h"
#include "client/ui/WndLogin.h"
#include "client/ui/WndLoginsysnew.h"

#include <memory>
#include <string>

class CMainFrame;
class CRequestWorker;
class Plugin;

class CMemberSession {
public:
    explicit CMemberSession(CMainFrame& frame) : m_frame(frame) {}
    CMemberSession(const CMemberSession&) = delete;
    CMemberSession& operator=(const CMemberSession&) = delete;

    // At the main window's creation: the session reset, the login and notice windows.
    void Create();
    // Before the main window goes: timers, the server clock, the notice window.
    void Destroy();
    // The main window's messages that are the session's (answers, session timers): true
    // when it handled msg, the result in *result.
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // The request worker every service request goes through (not owned); without one
    // nothing is sent.
    void UseRequestWorker(CRequestWorker* worker) { m_pWorker = worker; }
    // The first feed request, "examtime_ad_address".
    void RequestExamAds();
    // The login request: user name in UTF-8 and password (GBK), apostrophes doubled.
    void RequestLogin(const std::string& userIdUtf8, const std::string& password);
    bool IsLoggedIn() const { return m_session.IsLoggedIn(); }
    void Logout();
    // Runs the login window modally (and what follows a login).
    void LoginFlow();
    void OpenSocialLogin(const std::string& elementName);
    // Stops the external-account login poll; whatever destroys the page view calls it first.
    void StopExternalLoginPoll();

    const SessionRecord& Record() const { return m_session; }
    const FeedTexts& Feeds() const { return m_feeds; }
    // The login window was opened by the member button (no automatic login then).
    bool LoginFromMemberButton() const { return m_bVipLogin; }

    // Plain notice; see CMainFrame::ShowNotice.
    void ShowNotice(const std::string& text, int delay);
    // Notice with a link: kind 1 short message, 2 forum thread, other: param is the link.
    void ShowNoticeLink(const std::string& text, const std::string& param, int delay, int kind);
    // See CWndLoginsysnew::UpdateNotice.
    bool UpdateNotice(const std::string& current, const std::string& text);
    // Null before Create.
    HWND NoticeWindow() const { return m_pNotice ? m_pNotice->m_hWnd : nullptr; }
    CWndLogin& LoginWindow() { return *m_pLogin; }

    // Today's plan when the member has one, else the invitation to make one.
    void ShowPlanPanels();

    // The member button ("window_vip") and the log-out button ("window_last").
    int OnMemberButton();
    int OnLogoutButton(Plugin* element);

private:
    void ResetSession();
    void HandleLoginAnswer(const std::string& answerText);
    void OnExamAds(const std::string& answerText);
    void HostTopAd();
    void OnUnreadMessages(const std::string& answerText);
    void OnForumNotice(const std::string& answerText);
    void OnConnectNotices(const std::string& answerText);
    void PollExternalLogin();
    void SendRequest(const std::string& address, const std::string& body, int kind);
    void ShowLoggedOutFace();
    const std::string& PostAddress() const;

    CMainFrame& m_frame;
    CRequestWorker* m_pWorker = nullptr;
    UINT m_succMessage = 0;
    UINT m_failMessage = 0;
    UINT m_topAdMessage = 0; // the browser is ready for the top advertisement
    std::unique_ptr<AnswerRouter> m_pRouter;
    std::unique_ptr<CWndLoginsysnew> m_pNotice;
    std::unique_ptr<CWndLogin> m_pLogin;
    SessionRecord m_session;
    FeedTexts m_feeds;
    std::unique_ptr<CServerClock> m_pServerClock;
    bool m_bVipLogin = false;     // the login window was opened by the member button
    bool m_bLoggedInFace = false; // the logged-in view is up
    HWND m_hTopAdView = nullptr;  // the top advertisement view
};
