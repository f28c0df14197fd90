// The member session of the main window: the request worker's answers, the login exchange
// and the session record, logout, the account feeds and their timers, the notice window
// and the login window.
#include "client/log/BugReport.h"
#include "client/service/RequestText.h"
#include "client/service/RequestWorker.h"
#include "client/settings/Settings.h"
#include "client/ui/HtmlView.h"
#include "client/ui/MainFrame.h"
#include "dulib/dulib.h"
#include "platform/CodeLib.h"
#include "platform/MD5.h"
#include "platform/window/WebView.h"

#include <cstdio>
#include <random>
#include <strings.h>

namespace {

// Feed and poll timers of the main window.
constexpr UINT_PTR kUnreadTimer = 1001;
constexpr UINT_PTR kForumTimer = 1006;
constexpr UINT_PTR kConnectTimer = 1007;

// The page an external-account login ends on.
constexpr const char kMemberCentrePage[] = "memberCenter_testCenter.htm";

// The query parameter that ties an external-account login to this client: the login page
// carries it to the service, and "get_login_info" is posted with the same value.
constexpr const char kLoginTokenParameter[] = "login_token";

std::string withQueryParameter(const std::string& address, const char* name, const std::string& value)
{
    return address + (address.find('?') != std::string::npos ? "&" : "?") + name + "=" + value;
}

std::string newLoginToken()
{
    std::random_device random;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
        token += part;
    }
    return token;
}

void setVisible(HWND window, const char* name, int visible)
{
    Plugin_SetVisible(GetPluginByName(window, name), visible);
}

void setText(HWND window, const char* name, const std::string& text)
{
    if (Plugin* element = GetPluginByName(window, name))
        element->SetText(text.c_str());
}

} // namespace

void CMainFrame::CreateSessionParts()
{
    m_succMessage = RegisterWindowMessage("HTTP_RETURN_SUCC");
    m_failMessage = RegisterWindowMessage("HTTP_RETURN_FAIL");
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
    m_pLogin = std::make_unique<CWndLogin>(GetSkin(), this);

    ResetSession();
    m_pNotice = std::make_unique<CWndLoginsysnew>(GetSkin(), this);
    m_pNotice->Create();
}

void CMainFrame::DestroySessionParts()
{
    for (UINT_PTR id : {kUnreadTimer, kForumTimer, kConnectTimer, kExternalLoginTimer})
        KillTimer(id);
    if (m_pServerClock)
        m_pServerClock->Stop();
    if (m_pNotice)
        m_pNotice->DestroyWindow();
}

bool CMainFrame::OnSessionMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (msg == 0)
        return false;
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
    if (msg != WM_TIMER)
        return false;
    switch (wParam) {
    case kUnreadTimer: SendRequest(m_addresses.postAddress, BuildUnreadMessagesRequest(), RK_UNREAD_MESSAGES); break;
    case kForumTimer: SendRequest(m_addresses.postAddress, BuildForumNoticeRequest(), RK_FORUM_NOTICE); break;
    case kConnectTimer: SendRequest(m_addresses.postAddress, BuildConnectRequest(m_session.uid), RK_CONNECT); break;
    case kExternalLoginTimer: PollExternalLogin(); break;
    default: return false;
    }
    *result = 0;
    return true;
}

void CMainFrame::SendRequest(const std::string& address, const std::string& body, int kind)
{
    // "logout" alone goes without a window: its answer is not read.
    if (m_pWorker)
        m_pWorker->Enqueue(address, body, new std::string, kind == RK_NONE ? nullptr : m_hWnd, kind);
}

// ---- Notices --------------------------------------------------------------------------

void CMainFrame::ShowNotice(const std::string& text, int delay)
{
    if (m_pNotice && m_pNotice->m_hWnd)
        m_pNotice->SetNotice(text, delay);
}

void CMainFrame::ShowNoticeLink(const std::string& text, const std::string& param, int delay, int kind)
{
    if (!m_pNotice || !m_pNotice->m_hWnd)
        return;
    std::string url = param;
    if (kind == 1)
        url = m_addresses.pageBase + "/shortMessage_viewReceived.htm?pmid=" + param;
    else if (kind == 2)
        url = m_addresses.pageBase + "/discuss_forum.htm?tid=" + param;
    m_pNotice->SetNoticeLink(text, url, delay, kind);
}

// ---- Session --------------------------------------------------------------------------

bool CMainFrame::IsLoggedIn() const
{
    return m_session.IsLoggedIn();
}

void CMainFrame::ResetSession()
{
    if (m_pWorker)
        m_pWorker->Restart();
    m_session.Reset();
    m_bVipLogin = false;
}

void CMainFrame::RequestLogin(const std::string& userIdUtf8, const std::string& password)
{
    m_session.userID = userIdUtf8;
    m_session.password = password;
    m_session.passwordDigest = velmar::md5(password);
    SendRequest(m_addresses.postAddress,
                BuildLoginRequest(m_session.userID, m_session.passwordDigest, m_session.hardwareinfo), RK_LOGIN);
}

void CMainFrame::HandleLoginAnswer(const std::string& answerText)
{
    const std::optional<LoginAnswer> answer = ReadLoginAnswer(answerText, m_session, BugReportTime(std::time(nullptr)));
    if (!answer)
        return;
    if (answer->link.empty())
        ShowNotice(answer->message, kNoticeDelay);
    else
        ShowNoticeLink(answer->message, answer->link, kNoticeDelay, 2);
    if (!answer->loginSuccess)
        return;

    m_pServerClock->SetFromText(answer->serverTime);
    ShowElement("vip_login", true);
    setVisible(m_hWnd, "nonlogin", 0);
    ShowElement("window_mask", false);
    m_bLoggedInFace = true;

    setText(m_hWnd, "username", MemberNameLine(m_session));
    setText(m_hWnd, "userlevel", MemberLevelLine(m_session));
    setText(m_hWnd, "userScore", MemberCoinsLine(m_session));

    // The previous member's picture goes at once; the new one shows when it has arrived.
    const std::string picture = m_strAppDir + "skin/vip_login_pic.png";
    std::remove(picture.c_str());
    if (m_session.avatar.empty())
        RefreshMemberPicture();
    else
        StartMemberPictureDownload(m_session.avatar, picture);

    // Without a plan the plan entry shows, not the previous member's plan.
    ShowPlanPanels();
    if (!m_session.plan.empty()) {
        if (Plugin* today = GetPluginByName(m_hWnd, "todayplan"))
            today->SetPlanText(CCodeLib::Utf8ToAnsi(m_session.plan).c_str());
    }
    RECT client;
    GetClientRect(&client);
    OnSize(client.width());

    SetTimer(kUnreadTimer, 30000);
    SetTimer(kForumTimer, 50000);
    SetTimer(kConnectTimer, 15000);
    InvalidateRect();
    UpdateWindow();
    if (m_pLogin)
        m_pLogin->OnOK();
}

void CMainFrame::Logout()
{
    // The service hears of the logout only from a member it logged in; but the feed
    // timers stop and a logged-in face goes in every case.
    if (m_session.IsLoggedIn()) {
        SendRequest(m_addresses.postAddress,
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
    InvalidateRect();
    UpdateWindow();
    for (UINT_PTR id : {kUnreadTimer, kForumTimer, kConnectTimer})
        KillTimer(id);
}

void CMainFrame::ShowLoggedOutFace()
{
    setVisible(m_hWnd, "vip_login", 0);
    ShowElement("nonlogin", true);
    ShowElement("window_mid_part", true);
    setVisible(m_hWnd, "window_hwndobj", 0);
    // The member's plan goes with the member: the plan entry shows instead.
    ShowElement("window_moren", true);
    ShowElement("window_menu", false);
    RECT client;
    GetClientRect(&client);
    OnSize(client.width());
    m_bLoggedInFace = false;
}

// ---- Login window and external accounts ------------------------------------------------

void CMainFrame::LoginFlow()
{
    if (m_pLogin->DoModal() == 1)
        ShowWhatsNewOnce();
    InvalidateRect();
    UpdateWindow();
}

int CMainFrame::OnMemberButton(Plugin*, int, int)
{
    KillTimer(kExternalLoginTimer);
    ShowElement("window_mid_part", true);
    DestroyHostedPage();
    ShowElement("window_mask", true);
    m_bVipLogin = true;
    m_pLogin->DoModal();
    InvalidateRect();
    UpdateWindow();
    return 0;
}

int CMainFrame::OnLogoutButton(Plugin* element, int, int)
{
    Logout();
    if (element)
        element->SetState(1);
    return 0;
}

void CMainFrame::OpenSocialLogin(const std::string& elementName)
{
    std::string address;
    if (strcasecmp(elementName.c_str(), "landing_renren") == 0)
        address = m_feeds.renrenAddress;
    else if (strcasecmp(elementName.c_str(), "landing_weibo") == 0)
        address = m_feeds.weiboAddress;
    else if (strcasecmp(elementName.c_str(), "landing_qq") == 0)
        address = m_feeds.qqAddress;
    if (address.empty()) {
        ShowNotice(kNotAvailableNotice, kNoticeDelay);
        return;
    }
    DestroyHostedPage();
    ShowElement("window_mid_part", false);
    ShowElement("window_hwndobj", true);
    InvalidateRect();
    UpdateWindow();

    m_strLoginToken = newLoginToken();
    HostPage(withQueryParameter(address, kLoginTokenParameter, m_strLoginToken), false);
    m_pLogin->OnOK();
    ShowElement("window_mask", false);
    SetTimer(kExternalLoginTimer, 500);
}

void CMainFrame::PollExternalLogin()
{
    // The page view may have been destroyed by another path; then there is nothing to watch.
    HWND view = CurrentPageView();
    if (view == nullptr || !IsWindow(view))
        return;
    if (platform::WebViewLocation(view) != m_addresses.pageBase + "/" + kMemberCentrePage)
        return;
    KillTimer(kExternalLoginTimer);
    SendRequest(withQueryParameter(m_addresses.postAddress, kLoginTokenParameter, m_strLoginToken),
                BuildLoginInfoRequest(), RK_LOGIN_INFO);
}

// ---- Feeds ----------------------------------------------------------------------------

void CMainFrame::RequestExamAds()
{
    SendRequest(m_addresses.postAddress, BuildExamAdsRequest(), RK_EXAM_ADS);
}

void CMainFrame::OnExamAds(const std::string& answerText)
{
    if (!ReadExamAds(answerText, m_feeds))
        return;
    const std::string digits = CountdownDigits(m_feeds.examDays);
    const char* places[] = {"time_first", "time_mid", "time_last"};
    for (std::size_t i = 0; i < 3 && i < digits.size(); ++i) {
        if (Plugin* digit = GetPluginByName(m_hWnd, places[i]))
            digit->SetStyle((std::string("num") + digits[i]).c_str());
    }
    if (m_feeds.topAdAddress.empty())
        return;
    // A later answer replaces the view instead of stacking another one.
    if (m_hTopAdView && IsWindow(m_hTopAdView))
        ::DestroyWindow(m_hTopAdView);
    m_hTopAdView = nullptr;
    CKavrelHtmlView* view = nullptr;
    if (HostWebPage(m_hWnd, "MainFrame_Window", "mainframe_advantage_hwndobj", 2000,
                    m_addresses.pageBase + "/" + m_feeds.topAdAddress, nullptr, &view) == 0 && view)
        m_hTopAdView = view->m_hWnd;
}

void CMainFrame::OnUnreadMessages(const std::string& answerText)
{
    if (!ReadUnreadMessages(answerText, m_feeds))
        return;
    setText(m_hWnd, "window_email", m_feeds.unreadCount);
    if (m_feeds.latestSubject.empty() && m_feeds.latestMessage.empty())
        return;
    if (m_feeds.latestMessageId.empty())
        ShowNotice(m_feeds.latestSubject, kNoticeDelay);
    else
        ShowNoticeLink(m_feeds.latestSubject, m_feeds.latestMessageId, kNoticeDelay, 1);
}

void CMainFrame::OnForumNotice(const std::string& answerText)
{
    if (!ReadForumNotice(answerText, m_feeds))
        return;
    if (!m_feeds.forumAuthor.empty() || !m_feeds.forumSubject.empty())
        ShowNoticeLink(m_feeds.forumSubject, m_feeds.forumThreadId, kNoticeDelay, 2);
}

void CMainFrame::OnConnectNotices(const std::string& answerText)
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
            ShowNotice(notice.notice, kNoticeDelay);
        else
            ShowNoticeLink(notice.notice, notice.href, kNoticeDelay, 2);
    }
    if (forcedLogout)
        Logout();
}
