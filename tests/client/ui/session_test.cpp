// The member session of the main window on the headless window system: login answers
// switching the face, refusals, logout in every state, the feeds' answers and notices,
// transport failures, and answers of every wrong shape.
#include "SessionFixture.h"

#include "client/service/AnswerRouter.h"
#include "client/service/RequestText.h"

namespace {

using testsupport::SessionTest;

const std::string kZhangsan = R"({"success": true, "content": {"loginSuccess": true, "loginMessage": "欢迎回来，张三！",
    "uid": 1001, "memberRoleName": "VIP会员", "userID": "zhangsan", "username": "zhangsan", "realname": "张三",
    "groupName": "高级学员", "money": 520, "avatar": "", "planIndexResult": {"plan": "今日计划：民法"}}})";
const std::string kLisi = R"({"success": true, "content": {"loginSuccess": true, "loginMessage": "欢迎",
    "href": "15", "uid": 1002, "memberRoleName": "普通会员", "userID": "李四", "username": "lisi", "realname": "李四",
    "groupName": "初级学员", "money": 88}})";
const std::string kRefused = R"({"success": true, "content": {"loginSuccess": false,
    "loginMessage": "用户名或密码错误，请重新输入。"}})";

class MemberSessionTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        createFrame();
    }

    // The face of a logged-in member, as the elements show it.
    bool loggedInFace() const { return visible("vip_login") && !visible("nonlogin") && !visible("window_mask"); }
    bool loggedOutFace() const { return !visible("vip_login") && visible("nonlogin"); }
};

TEST_F(MemberSessionTest, SuccessfulLoginShowsTheMemberPanelAndPlan)
{
    EXPECT_TRUE(visible("window_mask"));
    answer(RK_LOGIN, kZhangsan);
    EXPECT_TRUE(m_frame->IsLoggedIn());
    EXPECT_TRUE(loggedInFace());
    EXPECT_EQ(gbk("张三 【VIP会员】"), element("username")->GetText());
    EXPECT_EQ(gbk("等级：高级学员"), element("userlevel")->GetText());
    EXPECT_EQ(gbk("金币：520"), element("userScore")->GetText());
    EXPECT_TRUE(visible("window_menu"));
    EXPECT_FALSE(visible("window_moren"));
    EXPECT_EQ(gbk("欢迎回来，张三！"), nextNotice());
}

TEST_F(MemberSessionTest, NextMemberWithoutPlanSeesThePlanEntryNotThePreviousPlan)
{
    answer(RK_LOGIN, kZhangsan);
    answer(RK_LOGIN, kLisi);
    EXPECT_EQ(1002, m_frame->Session().uid);
    EXPECT_TRUE(visible("window_moren"));
    EXPECT_FALSE(visible("window_menu"));
    EXPECT_EQ(gbk("李四 【普通会员】"), element("username")->GetText());
    // The login notice links to the forum thread.
    EXPECT_EQ(gbk("欢迎"), nextNotice());
    auto* window = static_cast<CWndLoginsysnew*>(CWnd::FromHandle(notice()));
    EXPECT_EQ(std::string(kPageBase) + "/discuss_forum.htm?tid=15", window->m_strUrl);
    EXPECT_EQ(2, window->m_nKind);
}

TEST_F(MemberSessionTest, RefusedLoginShowsItsMessageAndChangesNothingElse)
{
    answer(RK_LOGIN, kRefused);
    EXPECT_EQ(WrapNoticeText(gbk("用户名或密码错误，请重新输入。")), nextNotice());
    EXPECT_FALSE(m_frame->IsLoggedIn());
    EXPECT_TRUE(visible("window_mask"));
    EXPECT_FALSE(visible("vip_login"));

    // The service's own refusal of the request shows its message and goes no further.
    answer(RK_LOGIN, R"({"success": false, "message": "服务维护中"})");
    EXPECT_EQ(gbk("服务维护中"), nextNotice());
    EXPECT_FALSE(visible("vip_login"));
}

TEST_F(MemberSessionTest, RefusedSecondLoginThenLogoutStillRestoresTheLoggedOutFace)
{
    answer(RK_LOGIN, kZhangsan);
    answer(RK_LOGIN, kRefused); // clears loginSuccess, leaves the face up
    EXPECT_FALSE(m_frame->IsLoggedIn());
    EXPECT_TRUE(loggedInFace());
    m_frame->Logout();
    EXPECT_TRUE(loggedOutFace());
    EXPECT_EQ(0, m_frame->Session().uid);
}

TEST_F(MemberSessionTest, LoginWithoutUidIsUndoneByLogout)
{
    answer(RK_LOGIN, R"({"success": true, "content": {"loginSuccess": true, "username": "x"}})");
    EXPECT_FALSE(m_frame->IsLoggedIn()); // uid 0: pages stay closed
    EXPECT_TRUE(loggedInFace());
    m_frame->Logout();
    EXPECT_TRUE(loggedOutFace());
    EXPECT_FALSE(m_frame->Session().loginSuccess);
}

TEST_F(MemberSessionTest, LogoutButtonLogsOutAndRestoresItsState)
{
    answer(RK_LOGIN, kZhangsan);
    EXPECT_EQ(0, raise(frame(), "window_last", PE_CLICK));
    EXPECT_FALSE(m_frame->IsLoggedIn());
    EXPECT_TRUE(loggedOutFace());
    EXPECT_TRUE(visible("window_mid_part"));
    EXPECT_FALSE(visible("window_hwndobj"));
    // Nobody's plan is left on screen.
    EXPECT_FALSE(visible("window_menu"));
    EXPECT_TRUE(visible("window_moren"));
    // The feed texts are not the session's: they stay.
    answer(RK_UNREAD_MESSAGES, R"({"unreadCount": 2})");
    EXPECT_EQ("2", m_frame->Feeds().unreadCount);
}

TEST_F(MemberSessionTest, TransportFailureShowsTheNoticeAndLogsOut)
{
    answer(RK_LOGIN, kZhangsan);
    nextNotice();
    platform::AdvanceClock(4000);
    fail(RK_CONNECT);
    EXPECT_EQ(WrapNoticeText(kServiceFailureNotice), nextNotice());
    EXPECT_EQ("\r\n" + gbk("服务器通信失败！") + "\r\n", std::string(kServiceFailureNotice));
    EXPECT_FALSE(m_frame->IsLoggedIn());
    EXPECT_TRUE(loggedOutFace());
}

TEST_F(MemberSessionTest, ForcedLogoutNoticeShowsAndLogsOut)
{
    answer(RK_LOGIN, kZhangsan);
    nextNotice();
    platform::AdvanceClock(4000);
    answer(RK_CONNECT, R"({"success": true, "content": {"notices": [{"notice": "新课程上线", "href": "21"},
        {"notice": "您的账号已在其他地方登录", "noticeType": 10}]}})");
    EXPECT_EQ(gbk("您的账号已在其他地方登录"), nextNotice()); // the later notice replaces the earlier
    EXPECT_FALSE(m_frame->IsLoggedIn());
    EXPECT_TRUE(loggedOutFace());
}

TEST_F(MemberSessionTest, FeedAnswersReachTheFaceAndTheNoticeWindow)
{
    auto* window = static_cast<CWndLoginsysnew*>(CWnd::FromHandle(notice()));

    answer(RK_UNREAD_MESSAGES, R"({"success": true, "unreadCount": 3, "latestSubject": "模拟考试", "latestURL": "77"})");
    EXPECT_EQ("3", element("window_email")->GetText());
    EXPECT_EQ(gbk("模拟考试"), nextNotice());
    EXPECT_EQ(std::string(kPageBase) + "/shortMessage_viewReceived.htm?pmid=77", window->m_strUrl);
    platform::AdvanceClock(4000);

    // Only the message filled: the notice still shows the (empty) subject, as a plain one.
    answer(RK_UNREAD_MESSAGES, R"({"unreadCount": 0, "latestMessage": "正文"})");
    EXPECT_EQ("", element("window_email")->GetText());
    platform::AdvanceClock(1100);
    EXPECT_TRUE(IsWindowVisible(notice()));
    EXPECT_FALSE(window->m_bLink);
    platform::AdvanceClock(4000);

    answer(RK_FORUM_NOTICE, R"({"author": "管理员", "subject": "大纲解读", "tid": 15})");
    EXPECT_EQ(gbk("大纲解读"), nextNotice());
    EXPECT_EQ(std::string(kPageBase) + "/discuss_forum.htm?tid=15", window->m_strUrl);
    platform::AdvanceClock(4000);

    // Nothing to announce: no notice.
    answer(RK_FORUM_NOTICE, R"({"success": true})");
    answer(RK_UNREAD_MESSAGES, R"({"unreadCount": 1})");
    EXPECT_EQ("", nextNotice());

    answer(RK_EXAM_ADS, R"({"exam_datetime": "5", "qq_url": "http://q/", "ad_address_login": "ad_login.htm"})");
    EXPECT_EQ("5", m_frame->Feeds().examDays);
    EXPECT_EQ("http://q/", m_frame->Feeds().qqAddress);
    EXPECT_EQ("ad_login.htm", m_frame->Feeds().loginAdAddress);
}

// Every handler, fed text that is not JSON or members of the wrong JSON types, changes
// nothing and shows nothing.
TEST_F(MemberSessionTest, AnswersOfTheWrongShapeChangeNothing)
{
    answer(RK_LOGIN, kZhangsan);
    platform::AdvanceClock(5000);
    const std::string broken[] = {"", "{", "not json", "[1, 2, 3]", "null", R"({"success": "yes"})"};
    const std::string mistyped[] = {
        R"({"success": true, "content": "x", "unreadCount": "3", "subject": 5, "author": [], "tid": "15",
            "exam_datetime": 12, "ad_address_top": {}, "latestSubject": false})",
        R"({"success": true, "content": {"notices": "none"}})",
        R"({"success": true, "content": {"notices": [1, "two", null, {"notice": 3, "noticeType": "10"}]}})",
        R"({"success": true, "latestURL": "77", "unreadCount": 1e300, "tid": -1e300})",
    };
    const int kinds[] = {RK_NONE, RK_LOGIN, 2, 3, RK_EXAM_ADS, RK_UNREAD_MESSAGES, RK_FORUM_NOTICE, RK_CONNECT,
                         RK_LOGIN_INFO, 99};
    for (int kind : kinds) {
        for (const std::string& text : broken) {
            SCOPED_TRACE(std::to_string(kind) + ": " + text);
            answer(kind, text);
            EXPECT_EQ("", nextNotice());
            EXPECT_TRUE(m_frame->IsLoggedIn());
            platform::AdvanceClock(3000);
        }
        // A login answer that passes the envelope is read as a refusal (below).
        for (const std::string& text : mistyped) {
            if (kind == RK_LOGIN || kind == RK_LOGIN_INFO)
                continue;
            SCOPED_TRACE(std::to_string(kind) + ": " + text);
            answer(kind, text);
            EXPECT_EQ("", nextNotice());
            EXPECT_TRUE(m_frame->IsLoggedIn());
            platform::AdvanceClock(3000);
        }
    }
    EXPECT_EQ(1001, m_frame->Session().uid);
    EXPECT_TRUE(loggedInFace());
    EXPECT_EQ("", m_frame->Feeds().topAdAddress);
    EXPECT_EQ("0", m_frame->Feeds().examDays);
    EXPECT_EQ("", m_frame->Feeds().forumThreadId);

    // "loginSuccess" of the wrong type counts as false: a refusal that keeps the member's data.
    answer(RK_LOGIN_INFO, R"({"success": true, "content": {"loginSuccess": "true", "uid": 7}})");
    EXPECT_FALSE(m_frame->Session().loginSuccess);
    EXPECT_EQ(1001, m_frame->Session().uid);
}

TEST_F(MemberSessionTest, ExternalLoginPollWithoutAPageViewDoesNothing)
{
    answer(RK_EXAM_ADS, R"({"qq_url": "http://q/login"})");
    m_frame->OpenSocialLogin("LANDING_QQ"); // names compare without case
    EXPECT_FALSE(visible("window_mask"));
    EXPECT_FALSE(visible("window_mid_part"));
    ASSERT_NE(nullptr, m_frame->CurrentPageView());
    m_frame->DestroyHostedPage(); // another path takes the page away
    platform::AdvanceClock(5000); // the poll finds no live view to read
    EXPECT_FALSE(m_frame->IsLoggedIn());

    m_frame->OpenSocialLogin("landing_renren"); // no renren address
    EXPECT_EQ(gbk("此功能尚未完善、敬请期待！"), nextNotice());
}

} // namespace
