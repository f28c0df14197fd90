// A skinned modal window on the X server: a real click on a named element of the shipped
// skin reaches its event table as code 13 and ends the modal run.
#include "client/skin/ModalWnd.h"
#include "client/skin/SkinEvents.h"

#include "GtkTestSupport.h"

#include "platform/window/DesktopShell.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class CWndAboutProbe : public CModalWnd {
public:
    using CModalWnd::CModalWnd;
    std::vector<std::pair<std::string, int>> events; // element name, event code
    static const EventMapEntry<CWndAboutProbe> s_events[];

    int OnCloseClicked(Plugin* element, int, int)
    {
        events.push_back({element->GetName(), PE_CLICK});
        OnCancel();
        return 0;
    }

protected:
    int OnCreate(CREATESTRUCT* cs) override
    {
        if (CreateSkinned(cs, "window_about") == -1)
            return -1;
        SetTimer(1, std::getenv("KAVREL_SCREENSHOT") ? 1500 : 300); // clicks once the window is on screen
        return 0;
    }
    int OnSkinEvent(Plugin* element, const PluginEvent* event) override
    {
        return DispatchSkinEvent(this, s_events, element, event);
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_TIMER && wParam == 1) {
            KillTimer(1);
            if (const char* shot = std::getenv("KAVREL_SCREENSHOT"))
                std::system((std::string("import -window root ") + shot).c_str());
            Plugin* close = GetPluginByName(m_hWnd, "window_about_close");
            if (close) {
                RECT r;
                close->GetRect(&r);
                testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(m_hWnd), (r.left + r.right) / 2,
                                                    (r.top + r.bottom) / 2);
            }
            SetTimer(2, 10000); // a click that never arrives must not hang the test
            return 0;
        }
        if (msg == WM_TIMER && wParam == 2) {
            EndModal(99);
            return 0;
        }
        return CModalWnd::WindowProc(msg, wParam, lParam);
    }
};

const EventMapEntry<CWndAboutProbe> CWndAboutProbe::s_events[] = {
    {"window_about_close", PE_CLICK, &CWndAboutProbe::OnCloseClicked},
    {nullptr, 0, nullptr},
};

class SkinnedWindowDisplayTest : public testsupport::GtkWindowTest {
protected:
    void SetUp() override
    {
        GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        m_skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        ASSERT_TRUE(m_skin->GetError().empty()) << m_skin->GetError();
    }
    void TearDown() override
    {
        GtkWindowTest::TearDown();
        if (m_skin)
            dulib::FreeSkin(m_skin);
    }
    SkinManager* m_skin = nullptr;
};

TEST_F(SkinnedWindowDisplayTest, ClickOnCloseButtonRaisesClickEventAndCancels)
{
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, "", WS_POPUP, 100, 100, 800, 600, nullptr, 0));
    owner.ShowWindow(SW_SHOW);
    CWndAboutProbe about(m_skin, &owner);
    int result = about.DoModal();
    EXPECT_EQ(2, result);
    std::vector<std::pair<std::string, int>> expected = {{"window_about_close", PE_CLICK}};
    EXPECT_EQ(expected, about.events);
    EXPECT_TRUE(owner.IsWindowEnabled());
}

} // namespace
