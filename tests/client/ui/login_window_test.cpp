// The login window run modally over the main window on the headless window system: the
// remember levels and the settings file after each toggle, restoring and automatic login,
// the field checks, the Tab ring, Esc and Enter, the advertisement page and the
// external-account links. Each test's steps run inside the window's modal loop.
#include "SessionFixture.h"

#include "client/service/RequestText.h"
#include "client/ui/HtmlView.h"
#include "platform/MD5.h"
#include "platform/window/WebView.h"

#include <functional>

namespace {

using testsupport::SessionTest;

constexpr UINT kRunScript = WM_USER + 40;

class LoginWindowTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        createFrame();
        m_helper = makeWindow();
        m_answer = [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == kRunScript && m_script) {
                auto script = std::move(m_script);
                m_script = nullptr;
                script();
                return 0;
            }
            return DefWindowProc(h, m, w, l);
        };
    }

    // Runs the login window modally; script runs once the modal loop is running.
    int runLogin(std::function<void()> script)
    {
        m_script = std::move(script);
        PostMessage(m_helper, kRunScript, 0, 0);
        return m_frame->LoginWindow().DoModal();
    }

    HWND login() { return m_frame->LoginWindow().m_hWnd; }
    Plugin* field(const char* name) { return GetPluginByName(login(), name); }
    // A check box changed by the member: the engine sets it, then raises the event.
    void toggle(const char* name, bool on)
    {
        field(name)->SetCheck(on ? 1 : 0);
        raise(login(), name, PE_TOGGLE, on ? 1 : 0);
    }
    void type(const char* userGbk, const char* passwordGbk)
    {
        field("landing_edit_user")->SetText(userGbk);
        field("landing_edit_password")->SetText(passwordGbk);
    }
    bool checked(const char* name) { return field(name)->GetCheck() != 0; }
    std::string settings() const { return m_dir.read("data/config.ini"); }
    void key(int vk) { SendMessage(login(), WM_KEYDOWN, vk, 0); }

    HWND m_helper = nullptr;
    std::function<void()> m_script;
};

const std::string kStart = "[info]\r\nfirstlogin=1\r\n";

TEST_F(LoginWindowTest, RememberTogglesKeepTheirOrderAndWriteTheLevel)
{
    struct Step {
        const char* box;
        bool on;
        const char* settingsAfter; // after kStart
        bool user, pass, autoLogin; // the boxes afterwards
    };
    // The fields hold "zhangsan" / "123456" throughout.
    const Step steps[] = {
        {"cho_remember_user", true, "user=zhangsan\r\npassword=\r\nautologin=1\r\n", true, false, false},
        {"cho_remember_pass", true, "user=zhangsan\r\npassword=123456\r\nautologin=2\r\n", true, true, false},
        // Unchecking the user box while the password box is checked is undone, nothing written.
        {"cho_remember_user", false, "user=zhangsan\r\npassword=123456\r\nautologin=2\r\n", true, true, false},
        {"cho_auto", true, "user=zhangsan\r\npassword=123456\r\nautologin=3\r\n", true, true, true},
        {"cho_remember_pass", false, "user=zhangsan\r\npassword=123456\r\nautologin=3\r\n", true, true, true},
        {"cho_auto", false, "user=zhangsan\r\npassword=123456\r\nautologin=2\r\n", true, true, false},
        {"cho_remember_pass", false, "user=zhangsan\r\npassword=\r\nautologin=1\r\n", true, false, false},
        {"cho_remember_user", false, "user=\r\npassword=\r\nautologin=0\r\n", false, false, false},
        // Automatic login from nothing checks both remember boxes at once.
        {"cho_auto", true, "user=zhangsan\r\npassword=123456\r\nautologin=3\r\n", true, true, true},
    };
    runLogin([&] {
        type("zhangsan", "123456");
        for (const Step& s : steps) {
            SCOPED_TRACE(std::string(s.box) + (s.on ? " on" : " off"));
            toggle(s.box, s.on);
            EXPECT_EQ(kStart + s.settingsAfter, settings());
            EXPECT_EQ(s.user, checked("cho_remember_user"));
            EXPECT_EQ(s.pass, checked("cho_remember_pass"));
            EXPECT_EQ(s.autoLogin, checked("cho_auto"));
        }
        // A later change of a field is stored only by the next toggle or login.
        field("landing_edit_user")->SetText("other");
        EXPECT_EQ(kStart + "user=zhangsan\r\npassword=123456\r\nautologin=3\r\n", settings());
        m_frame->LoginWindow().OnCancel();
    });
    EXPECT_EQ(nullptr, login());
}

TEST_F(LoginWindowTest, EmptyFieldsAreRefusedWithANoticeAndTheFocusMoved)
{
    runLogin([&] {
        key(VK_RETURN);
        EXPECT_EQ(gbk("请输入用户名"), nextNotice());
        EXPECT_EQ(field("landing_edit_user"), GetFocusPlugin(login()));
        field("landing_edit_user")->SetText("zhangsan");
        raise(login(), "landing_landing", PE_CLICK);
        EXPECT_EQ(gbk("请输入密码"), nextNotice());
        EXPECT_EQ(field("landing_edit_password"), GetFocusPlugin(login()));
        EXPECT_EQ("", m_frame->Session().passwordDigest); // nothing was sent
        key(VK_ESCAPE);
    });
    EXPECT_EQ(kStart, settings());
}

TEST_F(LoginWindowTest, LoginDoublesApostrophesForTheServiceButStoresTheTypedTexts)
{
    const std::string user = gbk("王'五");
    const int result = runLogin([&] {
        type(user.c_str(), "it's-me");
        toggle("cho_remember_pass", true);
        key(VK_RETURN);
        EXPECT_EQ(CCodeLib::AnsiToUtf8(gbk("王''五")), m_frame->Session().userID);
        EXPECT_EQ(velmar::md5("it''s-me"), m_frame->Session().passwordDigest);
        // The answer closes the window with OK.
        answer(RK_LOGIN, R"({"success": true, "content": {"loginSuccess": true, "uid": 3}})");
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(kStart + "user=" + user + "\r\npassword=it's-me\r\nautologin=2\r\n", settings());
}

TEST_F(LoginWindowTest, TabGoesRoundTheNineControls)
{
    const char* ring[] = {"landing_edit_user", "landing_edit_password", "cho_remember_user", "cho_remember_pass",
                          "cho_auto", "landing_landing", "landing_cancel", "landing_createuser", "landing_forget"};
    runLogin([&] {
        SetFocusPlugin(login(), nullptr);
        for (int round = 0; round < 2; ++round) {
            for (const char* name : ring) {
                key(VK_TAB);
                EXPECT_EQ(field(name), GetFocusPlugin(login())) << name;
            }
        }
        // From outside the ring (the caption cannot hold the focus: nothing focused) to the user field.
        SetFocusPlugin(login(), nullptr);
        key(VK_TAB);
        EXPECT_EQ(field("landing_edit_user"), GetFocusPlugin(login()));
        raise(login(), "landing_cancel", PE_CLICK);
    });
    EXPECT_TRUE(visible("nonlogin"));
    EXPECT_FALSE(visible("window_mask"));
}

// The form keeps its own Tab ring and its Enter (log in, wherever the focus is); Space acts
// on the focused control as a click would, and the arrows reach what the ring leaves out.
TEST_F(LoginWindowTest, KeyboardKeepsTheFormsRingAndEnterAndReachesTheRestByArrows)
{
    bool closedByKey = false;
    const int result = runLogin([&] {
        SetFocusPlugin(login(), nullptr);
        for (int i = 0; i < 7; ++i)
            key(VK_TAB);
        EXPECT_EQ(field("landing_cancel"), GetFocusPlugin(login()));
        key(VK_RETURN);
        EXPECT_EQ(gbk("请输入用户名"), nextNotice()) << "Enter logs in, it does not press the focused cancel";
        if (!login())
            return;

        SetFocusPlugin(login(), field("cho_remember_user"));
        field("landing_edit_user")->SetText("zhangsan");
        key(VK_SPACE);
        EXPECT_EQ(1, field("cho_remember_user")->GetCheck());
        EXPECT_EQ(kStart + "user=zhangsan\r\npassword=\r\nautologin=1\r\n", settings()) << "the toggle's handler ran";

        SetFocusPlugin(login(), field("landing_forget"));
        key(VK_DOWN);
        EXPECT_EQ(field("landing_qq"), GetFocusPlugin(login()));
        key(VK_LEFT);
        EXPECT_EQ(field("landing_weibo"), GetFocusPlugin(login()));
        SetFocusPlugin(login(), field("landing_edit_user"));
        key(VK_UP);
        EXPECT_EQ(field("landing_window_close"), GetFocusPlugin(login()));
        GetPluginByName(m_frame->m_hWnd, "window_mask")->Show(1);
        key(VK_SPACE); // the close button, as clicked: its handler hides the mask
        closedByKey = !visible("window_mask");
        if (!closedByKey)
            m_frame->LoginWindow().OnCancel(); // the run must end even when the key failed
    });
    EXPECT_TRUE(closedByKey);
    EXPECT_EQ(2, result);
    EXPECT_FALSE(visible("window_mask"));
}

TEST_F(LoginWindowTest, StoredLevelsRestoreTheFormAndLevelThreeLogsInAtOnce)
{
    struct Case {
        int level;
        bool user, pass, autoLogin, sent;
    };
    // Level 3 last: the digest it sends stays in the record until the session is reset.
    const Case cases[] = {{0, false, false, false, false}, {1, true, false, false, false},
                          {2, true, true, false, false},   {7, false, false, false, false},
                          {3, true, true, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        m_dir.write("data/config.ini", kStart + "user=zhangsan\r\npassword=123456\r\nautologin="
                                           + std::to_string(c.level) + "\r\n");
        runLogin([&] {
            EXPECT_EQ(c.user ? "zhangsan" : "", field("landing_edit_user")->GetText());
            EXPECT_EQ(c.pass ? "123456" : "", field("landing_edit_password")->GetText());
            EXPECT_EQ(c.user, checked("cho_remember_user"));
            EXPECT_EQ(c.pass, checked("cho_remember_pass"));
            EXPECT_EQ(c.autoLogin, checked("cho_auto"));
            EXPECT_EQ(c.sent ? velmar::md5("123456") : "", m_frame->Session().passwordDigest);
            raise(login(), "landing_window_close", PE_CLICK);
        });
    }
}

TEST_F(LoginWindowTest, MemberButtonOpensTheFormWithoutAutomaticLogin)
{
    m_dir.write("data/config.ini", kStart + "user=zhangsan\r\npassword=123456\r\nautologin=3\r\n");
    m_script = [&] {
        EXPECT_TRUE(visible("window_mask"));
        EXPECT_TRUE(checked("cho_auto"));
        EXPECT_EQ("", m_frame->Session().passwordDigest);
        key(VK_ESCAPE);
    };
    PostMessage(m_helper, kRunScript, 0, 0);
    EXPECT_EQ(0, raise(frame(), "window_vip", PE_CLICK));
    EXPECT_EQ(nullptr, login());
    EXPECT_FALSE(visible("window_mask"));
}

TEST_F(LoginWindowTest, AdvertisementPageAppearsWhenItsAddressArrives)
{
    runLogin([&] {
        EXPECT_EQ(nullptr, m_frame->LoginWindow().m_pAdView);
        platform::AdvanceClock(1000);
        EXPECT_EQ(nullptr, m_frame->LoginWindow().m_pAdView);
        answer(RK_EXAM_ADS, R"({"ad_address_login": "ad_login.htm"})");
        platform::AdvanceClock(500);
        CKavrelHtmlView* view = m_frame->LoginWindow().m_pAdView;
        ASSERT_NE(nullptr, view);
        EXPECT_EQ(std::vector<std::string>{std::string(kPageBase) + "/ad_login.htm"},
                  platform::WebViewNavigations(view->m_hWnd));
        key(VK_ESCAPE);
    });
    EXPECT_EQ(nullptr, m_frame->LoginWindow().m_pAdView);
    // The next run hosts the page at once.
    runLogin([&] {
        EXPECT_NE(nullptr, m_frame->LoginWindow().m_pAdView);
        key(VK_ESCAPE);
    });
}

TEST_F(LoginWindowTest, AdvertisementPollEndsWithTheWindow)
{
    runLogin([&] { key(VK_ESCAPE); });
    // The address arrives after the form has gone: nothing is hosted for it.
    answer(RK_EXAM_ADS, R"({"ad_address_login": "ad_login.htm"})");
    platform::AdvanceClock(2000);
    EXPECT_EQ(nullptr, m_frame->LoginWindow().m_pAdView);
    EXPECT_EQ(nullptr, login());
}

TEST_F(LoginWindowTest, ExternalAccountLinksOpenTheirPageOrSayNotYet)
{
    answer(RK_EXAM_ADS, R"({"qq_url": "http://host:81/soft/social_login.htm?site=qq"})");
    // No weibo address: a notice, and the form stays.
    const int result = runLogin([&] {
        raise(login(), "landing_weibo", PE_ACTIVATE);
        EXPECT_EQ(gbk("此功能尚未完善、敬请期待！"), nextNotice());
        EXPECT_NE(nullptr, login());
        raise(login(), "landing_qq", PE_ACTIVATE);
    });
    EXPECT_EQ(1, result);
    EXPECT_FALSE(visible("window_mask"));
    EXPECT_TRUE(visible("window_hwndobj"));
}

} // namespace
