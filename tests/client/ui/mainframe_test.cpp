// The main window on the headless window system with the shipped skin: server addresses
// read at creation, the element groups spread over the width, and the frame buttons.
#include "DomainVmx.h"
#include "TempDir.h"
#include "WindowTestSupport.h"

#include "client/skin/Wnd.h"
#include "client/ui/MainFrame.h"
#include "dulib/dulib.h"

namespace {

class MainFrameTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        m_skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        ASSERT_TRUE(m_skin->GetError().empty()) << m_skin->GetError();
        m_dir.write("domain.vmx", testsupport::domainVmx("http://host:81", 0, {}, "service/post"));
        m_frame = std::make_unique<CMainFrame>(m_dir.folder(), m_skin);
        ASSERT_TRUE(m_frame->Create());
    }
    void TearDown() override
    {
        m_frame.reset();
        HeadlessWindowTest::TearDown();
        dulib::FreeSkin(m_skin);
    }

    HWND hwnd() const { return m_frame->GetSafeHwnd(); }

    // The space between the first two function buttons of the top row.
    int topRowGap() const
    {
        RECT first, second;
        GetPluginByName(hwnd(), "window_kaodian")->GetRect(&first);
        GetPluginByName(hwnd(), "window_fatiao")->GetRect(&second);
        return second.left - first.right;
    }

    LRESULT raise(const char* element, int code, int param1 = 0)
    {
        PluginEvent event{code, param1, 0};
        return SendMessage(hwnd(), WM_SKINEVENT, reinterpret_cast<WPARAM>(GetPluginByName(hwnd(), element)),
                           reinterpret_cast<LPARAM>(&event));
    }

    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
    std::unique_ptr<CMainFrame> m_frame;
};

TEST_F(MainFrameTest, ReadsServerAddressesWhileCreated)
{
    EXPECT_EQ("http://host:81service/post", m_frame->serverAddresses().postAddress);
    EXPECT_EQ("http://host:81/soft", m_frame->serverAddresses().pageBase);
}

// The rows are laid out for a width of 789; every further 5 pixels widen each gap by one.
TEST_F(MainFrameTest, FunctionRowsSpreadOverTheWidth)
{
    RECT window;
    GetWindowRect(hwnd(), &window);
    const int atCreation = topRowGap();
    struct Case {
        int width;
        int extra; // (width - 789) / 5, truncated toward zero
    };
    int baseGap = 0;
    for (Case c : {Case{789, 0}, Case{788, 0}, Case{784, -1}, Case{1008, 43}, Case{1280, 98}}) {
        MoveWindow(hwnd(), 0, 0, c.width, window.height());
        if (c.width == 789)
            baseGap = topRowGap();
        EXPECT_EQ(baseGap + c.extra, topRowGap()) << "width " << c.width;
    }
    EXPECT_EQ(baseGap + 43, atCreation); // the layout's own width already counts at creation
}

TEST_F(MainFrameTest, FrameButtonsMaximiseRestoreAndClose)
{
    raise("window_sysmax", PE_TOGGLE, 1);
    EXPECT_TRUE(IsZoomed(hwnd()));
    raise("window_sysmax", PE_TOGGLE, 0);
    EXPECT_FALSE(IsZoomed(hwnd()));
    raise("window_sysmin", PE_CLICK);
    EXPECT_FALSE(IsWindowVisible(hwnd())); // into the tray (the headless desktop has one)

    HWND frame = hwnd();
    raise("window_sysclose", PE_CLICK);
    MSG msg;
    while (PeekMessage(&msg, true) && msg.message != WM_QUIT)
        DispatchMessage(&msg);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message); // closing the frame ends the loop
}

} // namespace
