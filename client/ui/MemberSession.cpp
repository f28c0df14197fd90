// The member session: answers, login exchange and session record, logout, the account
// feeds and their timers, notices, the login window and external-account logins.
#include "client/ui/MemberSession.h"

#include "client/log/BugReport.h"
#include "client/service/RequestText.h"
#include "client/service/RequestWorker.h"
#include "client/ui/HtmlView.h"
#include "client/ui/MainFrame.h"
#include "client/ui/PageArea.h"
#include "dulib/dulib.h"
#include "platform/CodeLib.h"
#include "platform/MD5.h"
#include "platform/window/WebView.h"

#include <strings.h>

namespace {

// The session timers on the main window.
constexpr UINT_PTR kUnreadTimer = 1001;
constexpr UINT_PTR kForumTimer = 1006;
constexpr UINT_PTR kConnectTimer = 1007;
// The external-account login poll; it reads the current page view, so whatever destroys
// that view stops it first.
constexpr UINT_PTR kExternalLoginTimer = 1008;

// The page an external-account login ends on.
constexpr const char kMemberCentrePage[] = "memberCenter_testCenter.htm";

void setText(HWND window, const char* name, const std::string& text)
{
    if (Plugin* element = GetPluginByName(window, name))
        element->SetText(text.c_str());
}

} // namespace

void CMemberSession::Create()
{
    m_succMessage = RegisterWindowMessage("HTTP_RETURN_SUCC");
    m_failMessage = RegisterWindowMessage("HTTP_RETURN_FAIL");
    m_topAdMessage = RegisterWindowMessage("KAVREL_TOP_AD");
    AnswerHandlers handlers;
    handlers.login = [this](const std::string& text) { HandleLoginAnswer(text); };
    handlers.examAds = [this](const std::string& text) { OnExamAds(text); };
    handlers.unreadMessages = [this](const std::string& text) { OnUnreadMessages(text); };
    handlers.forumNotice = [this](const std::string& text) { OnForumNotice(text); };
    handlers.connect = [this](const std::string& text) { OnConnectNotices(text); };
    handlers.showNotice = [this](const std::string& text, int delay) { ShowNotice(text, delay); };
    handlers.logout = [this] { Logout(); };
    m_pRouter = std::make_unique<AnswerRouter>(std::move(handlers));
    m_pServerClock = std::make_unique<CServerClock>();
    m_pLogin = std::make_unique<CWndLogin>(m_frame.GetSkin(), &m_frame);

    ResetSession();
    m_pNotice = std::make_unique<CWndLoginsysnew>(m_frame.GetSkin(), &m_frame);
    m_pNotice->Create();
}

void CMemberSession::Destroy()
{
    for (UINT_PTR id : {kUnreadTimer, kForumTimer, kConnectTimer, kExternalLoginTimer})
        m_frame.KillTimer(id);
    if (m_pServerClock)
        m_pServerClock->Stop();
    if (m_pNotice)
        m_pNotice->DestroyWindow();
}

bool CMemberSession::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (msg == 0)
        return false;
    // An answer of the session before the last Logout reaches nothing of the new one.
    if ((msg == m_succMessage || msg == m_failMessage) && m_pWorker && !m_pWorker->AcceptOutcome(msg, wParam, lParam)) {
        if (msg == m_succMessage)
            delete reinterpret_cast<std::string*>(wParam);
        *result = 0;
        return true;
    }
    if (msg == m_succMessage) {
        if (m_pRouter)
            m_pRouter->OnHttpReturnSucc(std::unique_ptr<std::string>(reinterpret_cast<std::string*>(wParam)),
                                        static_cast<int>(lParam));
        else
            delete reinterpret_cast<std::string*>(wParam);
        *result = 0;
        return true;
    }
    if (msg == m_failMessage) {
        if (m_pRouter)
            m_pRouter->OnHttpReturnFail(static_cast<int>(lParam));
        *result = 0;
        return true;
    }
    if (msg == m_topAdMessage) {
        HostTopAd();
        *result = 0;
        return true;
    }
    if (msg != WM_TIMER)
        return false;
    switch (wParam) {
    case kUnreadTimer: SendRequest(PostAddress(), BuildUnreadMessagesRequest(), RK_UNREAD_MESSAGES); break;
    case kForumTimer: SendRequest(PostAddress(), BuildForumNoticeRequest(), RK_FORUM_NOTICE); break;
    case kConnectTimer: SendRequest(PostAddress(), BuildConnectRequest(m_session.uid), RK_CONNECT); break;
    case kExternalLoginTimer: PollExternalLogin(); break;
    default: return false;
    }
    *result = 0;
    return true;
}

const std::string& CMemberSession::PostAddress() const
{
    return m_frame.serverAddresses().postAddress;
}

void CMemberSession::SendRequest(const std::string& address, const std::string& body, int kind)
{
    // "logout" alone goes without a window: its answer is not read.
    if (m_pWorker)
        m_pWorker->Enqueue(address, body, new std::string, kind == RK_NONE ? nullptr : m_frame.m_hWnd, kind);
}

// ---- Notices --------------------------------------------------------------------------

void CMemberSession::ShowNotice(const std::string& text, int delay)
{
    if (m_pNotice && m_pNotice->m_hWnd)
        m_pNotice->SetNotice(text, delay);
}

bool CMemberSession::UpdateNotice(const std::string& current, const std::string& text)
{
    return m_pNotice && m_pNotice->m_hWnd && m_pNotice->UpdateNotice(current, text);
}

void CMemberSession::ShowNoticeLink(const std::string& text, const std::string& param, int delay, int kind)
{
    if (!m_pNotice || !m_pNotice->m_hWnd)
        return;
    std::string url = param;
    if (kind == 1)
        url = m_frame.serverAddresses().pageBase + "/shortMessage_viewReceived.htm?pmid=" + param;
    else if (kind == 2)
        url = m_frame.serverAddresses().pageBase + "/discuss_forum.htm?tid=" + param;
    m_pNotice->SetNoticeLink(text, url, delay, kind);
}

// ---- Session --------------------------------------------------------------------------

void CMemberSession::ResetSession()
{
    if (m_pWorker)
        m_pWorker->Restart();
    m_session.Reset();
    m_bVipLogin = false;
}

void CMemberSession::RequestLogin(const std::string& userIdUtf8, const std::string& password)
{
    m_session.userID = userIdUtf8;
    m_session.password = password;
    m_session.passwordDigest = velmar::md5(password);
    SendRequest(PostAddress(),
                BuildLoginRequest(m_session.userID, m_session.passwordDigest, m_session.hardwareinfo), RK_LOGIN);
}

void CMemberSession::HandleLoginAnswer(const std::string& answerText)
{
    const std::optional<LoginAnswer> answer = ReadLoginAnswer(answerText, m_session, BugReportTime(std::time(nullptr)));
    if (!answer)
        return;
    if (answer->link.empty())
        ShowNotice(answer->message, CMainFrame::kNoticeDelay);
    else
        ShowNoticeLink(answer->message, answer->link, CMainFrame::kNoticeDelay, 2);
    if (!answer->loginSuccess)
        return;

    m_pServerClock->SetFromText(answer->serverTime);
    m_frame.ShowElement("vip_login", true);
    m_frame.ShowElement("nonlogin", false);
    m_frame.ShowElement("window_mask", false);
    m_bLoggedInFace = true;

    setText(m_frame.m_hWnd, "username", MemberNameLine(m_session));
    setText(m_frame.m_hWnd, "userlevel", MemberLevelLine(m_session));
    setText(m_frame.m_hWnd, "userScore", MemberCoinsLine(m_session));

    // The previous member's picture goes at once; the new one shows when it has arrived.
    const std::string picture = m_frame.appDir() + "skin/vip_login_pic.png";
    std::remove(picture.c_str());
    if (m_session.avatar.empty())
        m_frame.RefreshMemberPicture();
    else
        m_frame.StartMemberPictureDownload(m_session.avatar, picture);

    // Without a plan the plan entry shows, not the previous member's plan.
    ShowPlanPanels();
    if (!m_session.plan.empty()) {
        if (Plugin* today = GetPluginByName(m_frame.m_hWnd, "todayplan"))
            today->SetPlanText(CCodeLib::Utf8ToAnsi(m_session.plan).c_str());
    }
    m_frame.Relayout();

    m_frame.SetTimer(kUnreadTimer, 30000);
    m_frame.SetTimer(kForumTimer, 50000);
    m_frame.SetTimer(kConnectTimer, 15000);
    m_frame.InvalidateRect();
    m_frame.UpdateWindow();
    if (m_pLogin)
        m_pLogin->OnOK();
}

void CMemberSession::Logout()
{
    // The service hears of the logout only from a member it logged in; but the feed
    // timers stop and a logged-in face goes in every case.
    if (m_session.IsLoggedIn()) {
        SendRequest(PostAddress(),
                    BuildLogoutRequest(m_session.uid, CCodeLib::AnsiToUtf8(m_session.userID)), RK_NONE);
    }
    if (m_session.uid == 0 && !m_bLoggedInFace) {
        if (m_pWorker)
            m_pWorker->Restart();
    } else {
        ResetSession();
    }
    if (m_bLoggedInFace)
        ShowLoggedOutFace();
    m_frame.InvalidateRect();
    m_frame.UpdateWindow();
    for (UINT_PTR id : {kUnreadTimer, kForumTimer, kConnectTimer})
        m_frame.KillTimer(id);
}

void CMemberSession::ShowPlanPanels()
{
    const bool hasPlan = !m_session.plan.empty();
    m_frame.ShowElement("window_moren", !hasPlan);
    m_frame.ShowElement("window_menu", hasPlan);
}

void CMemberSession::ShowLoggedOutFace()
{
    m_frame.ShowElement("vip_login", false);
    m_frame.ShowElement("nonlogin", true);
    m_frame.ShowElement("window_mid_part", true);
    m_frame.ShowElement("window_hwndobj", false);
    // The member's plan goes with the member: the plan entry shows instead.
    m_frame.ShowElement("window_moren", true);
    m_frame.ShowElement("window_menu", false);
    m_frame.Relayout();
    m_bLoggedInFace = false;
}

// ---- Login window and external accounts ------------------------------------------------

void CMemberSession::LoginFlow()
{
    if (m_pLogin->DoModal() == 1)
        m_frame.ShowWhatsNewOnce();
    m_frame.InvalidateRect();
    m_frame.UpdateWindow();
}

int CMemberSession::OnMemberButton()
{
    StopExternalLoginPoll();
    m_frame.ShowElement("window_mid_part", true);
    m_frame.DestroyHostedPage();
    m_frame.ShowElement("window_mask", true);
    m_bVipLogin = true;
    m_pLogin->DoModal();
    m_frame.InvalidateRect();
    m_frame.UpdateWindow();
    return 0;
}

int CMemberSession::OnLogoutButton(Plugin* element)
{
    Logout();
    if (element)
        element->SetState(1);
    return 0;
}

void CMemberSession::OpenSocialLogin(const std::string& elementName)
{
    std::string address;
    if (strcasecmp(elementName.c_str(), "landing_renren") == 0)
        address = m_feeds.renrenAddress;
    else if (strcasecmp(elementName.c_str(), "landing_weibo") == 0)
        address = m_feeds.weiboAddress;
    else if (strcasecmp(elementName.c_str(), "landing_qq") == 0)
        address = m_feeds.qqAddress;
    if (address.empty()) {
        ShowNotice(CPageArea::kNotAvailableNotice, CMainFrame::kNoticeDelay);
        return;
    }
    m_frame.PageArea().Prepare();

    // The address as given: the service's page sets the member's session cookie, which
    // the transport shares with the views and sends with "get_login_info".
    m_frame.HostPage(address, false);
    m_pLogin->OnOK();
    m_frame.ShowElement("window_mask", false);
    m_frame.SetTimer(kExternalLoginTimer, 500);
}

void CMemberSession::StopExternalLoginPoll()
{
    m_frame.KillTimer(kExternalLoginTimer);
}

void CMemberSession::PollExternalLogin()
{
    // The page view may have been destroyed by another path; then there is nothing to watch.
    HWND view = m_frame.CurrentPageView();
    if (view == nullptr || !IsWindow(view))
        return;
    if (platform::WebViewLocation(view) != m_frame.serverAddresses().pageBase + "/" + kMemberCentrePage)
        return;
    m_frame.KillTimer(kExternalLoginTimer);
    SendRequest(PostAddress(), BuildLoginInfoRequest(), RK_LOGIN_INFO);
}

// ---- Feeds ----------------------------------------------------------------------------

void CMemberSession::RequestExamAds()
{
    SendRequest(PostAddress(), BuildExamAdsRequest(), RK_EXAM_ADS);
}

void CMemberSession::OnExamAds(const std::string& answerText)
{
    if (!ReadExamAds(answerText, m_feeds))
        return;
    const std::string digits = CountdownDigits(m_feeds.examDays);
    const char* places[] = {"time_first", "time_mid", "time_last"};
    for (std::size_t i = 0; i < 3 && i < digits.size(); ++i) {
        if (Plugin* digit = GetPluginByName(m_frame.m_hWnd, places[i]))
            digit->SetStyle((std::string("num") + digits[i]).c_str());
    }
    // The view is made once the browser has started, after the start's first frames and
    // answers; the countdown above shows at once.
    if (!m_feeds.topAdAddress.empty())
        platform::PostWhenWebViewsReady(m_frame.m_hWnd, m_topAdMessage);
}

void CMemberSession::HostTopAd()
{
    if (m_feeds.topAdAddress.empty())
        return;
    // A later answer replaces the view instead of stacking another one.
    if (m_hTopAdView && IsWindow(m_hTopAdView))
        ::DestroyWindow(m_hTopAdView);
    m_hTopAdView = nullptr;
    CKavrelHtmlView* view = nullptr;
    if (HostWebPage(m_frame.m_hWnd, "MainFrame_Window", "mainframe_advantage_hwndobj", 2000,
                    m_frame.serverAddresses().pageBase + "/" + m_feeds.topAdAddress, nullptr, &view) == 0 && view)
        m_hTopAdView = view->m_hWnd;
}

void CMemberSession::OnUnreadMessages(const std::string& answerText)
{
    if (!ReadUnreadMessages(answerText, m_feeds))
        return;
    setText(m_frame.m_hWnd, "window_email", m_feeds.unreadCount);
    if (m_feeds.latestSubject.empty() && m_feeds.latestMessage.empty())
        return;
    if (m_feeds.latestMessageId.empty())
        ShowNotice(m_feeds.latestSubject, CMainFrame::kNoticeDelay);
    else
        ShowNoticeLink(m_feeds.latestSubject, m_feeds.latestMessageId, CMainFrame::kNoticeDelay, 1);
}

void CMemberSession::OnForumNotice(const std::string& answerText)
{
    if (!ReadForumNotice(answerText, m_feeds))
        return;
    if (!m_feeds.forumAuthor.empty() || !m_feeds.forumSubject.empty())
        ShowNoticeLink(m_feeds.forumSubject, m_feeds.forumThreadId, CMainFrame::kNoticeDelay, 2);
}

void CMemberSession::OnConnectNotices(const std::string& answerText)
{
    std::vector<ConnectNotice> notices;
    if (!ReadConnectNotices(answerText, notices))
        return;
    bool forcedLogout = false;
    for (const ConnectNotice& notice : notices) {
        if (notice.type == 10)
            forcedLogout = true;
        if (notice.notice.empty())
            continue;
        if (notice.href.empty())
            ShowNotice(notice.notice, CMainFrame::kNoticeDelay);
        else
            ShowNoticeLink(notice.notice, notice.href, CMainFrame::kNoticeDelay, 2);
    }
    if (forcedLogout)
        Logout();
}
