// The main window's share of the update cycle on the headless window system with the
// shipped skin: the notices for the updater's outcomes and the what's-new window once
// per installed update.
#include "tests/client/ui/SessionFixture.h"

#include "client/ui/WndLoginsysnew.h"
#include "client/update/UpdateIntegration.h"
#include "client/update/WndUpdateMessage.h"

namespace {

class MainFrameUpdateTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        createFrame();
    }

    // The notice that comes up next, as given (the window wraps it for display); empty
    // when none comes up.
    std::string nextNoticeText()
    {
        if (nextNotice().empty())
            return {};
        return static_cast<CWndLoginsysnew*>(CWnd::FromHandle(notice()))->m_strText;
    }
};

TEST_F(MainFrameUpdateTest, CheckOutcomeNotices)
{
    struct Case {
        int exitCode;
        std::string notice; // UTF-8, empty for none
    };
    const Case cases[] = {
        {0, ""},
        {1, ""},
        {2, "系统为您准备好了，需要更新的文件。将会在下次启动时帮你自动更新。"},
        {3, ""}, // the no-update flag is 0 after creation
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(PostMessage(frame(), update::WM_UPDATE_CHECK_DONE, static_cast<WPARAM>(c.exitCode), 0));
        pumpAll();
        EXPECT_EQ(nextNoticeText(), gbk(c.notice)) << "exit code " << c.exitCode;
        platform::AdvanceClock(5000); // the notice has gone again
    }
}

TEST_F(MainFrameUpdateTest, RestartAfterUpdateNotice)
{
    EXPECT_TRUE(PostMessage(frame(), update::WM_UPDATE_APPLIED, 0, 0));
    pumpAll();
    EXPECT_EQ(nextNoticeText(), gbk("您好，系统已为你更新到新的版本。"));
}

// The what's-new window, closed from inside its modal run by a message queued beforehand.
class WhatsNewTest : public MainFrameUpdateTest {
protected:
    // Queues the action that closes the window that will be active then.
    void closeWith(std::function<void(HWND)> close)
    {
        m_closer = makeWindow();
        m_answer = [this, close](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (h == m_closer && m == WM_USER + 1) {
                m_seen = GetActiveWindow();
                if (Plugin* text = GetPluginByName(m_seen, "update_text"))
                    m_text = text->GetText();
                close(m_seen);
                return 0;
            }
            return DefWindowProc(h, m, w, l);
        };
        PostMessage(m_closer, WM_USER + 1, 0, 0);
    }

    HWND m_closer = nullptr;
    HWND m_seen = nullptr;
    std::string m_text;
};

TEST_F(WhatsNewTest, ShownOnceHowEverItIsClosed)
{
    const std::pair<const char*, std::function<void(HWND)>> closings[] = {
        {"Escape", [](HWND w) { SendMessage(w, WM_KEYDOWN, 27, 0); }},
        {"Enter", [](HWND w) { SendMessage(w, WM_KEYDOWN, 13, 0); }},
        {"close button", [this](HWND w) { raise(w, "window_updatemessage_close", PE_CLICK); }},
        {"enter button", [this](HWND w) { raise(w, "window_updatemessage_enter", PE_CLICK); }},
    };
    for (const auto& [name, close] : closings) {
        m_dir.write("data/config.ini", "[info]\r\nfirstlogin=1\r\n"); // hasupdate reads 0
        m_seen = nullptr;
        closeWith(close);
        m_frame->ShowWhatsNewOnce();
        EXPECT_NE(m_seen, frame()) << name;
        EXPECT_NE(m_seen, nullptr) << name;
        EXPECT_EQ(m_text, CWndUpdateMessage::kText) << name;
        EXPECT_FALSE(IsWindow(m_seen)) << name;
        EXPECT_EQ(m_dir.read("data/config.ini"), "[info]\r\nfirstlogin=1\r\nhasupdate=1\r\n") << name;

        // Seen: the next login shows nothing.
        m_seen = nullptr;
        DestroyWindow(m_closer);
        closeWith([](HWND) {});
        m_frame->ShowWhatsNewOnce();
        pumpAll();
        EXPECT_EQ(m_seen, frame()) << name << ": only the main window was active";
        EXPECT_EQ(m_dir.read("data/config.ini"), "[info]\r\nfirstlogin=1\r\nhasupdate=1\r\n") << name;
        DestroyWindow(m_closer);
    }
}

TEST(WndUpdateMessageText, ExactBytes)
{
    EXPECT_STREQ(CWndUpdateMessage::kText, "1.\xd0\xc2\xd4\xf6\xb4\xf2\xd3\xa1\xa1\xa2\xc1\xc4\xcc\xec\xca\xd2\xc4\xa3\xbf"
                                           "\xe9\xa1\xa3\n2.\xd0\xc2\xd4\xf6\xb5\xda\xc8\xfd\xb7\xbd\xb5\xc7\xc2\xbd\xa1\xa3");
}

} // namespace
