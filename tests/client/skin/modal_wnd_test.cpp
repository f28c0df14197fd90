// CModalWnd on the headless window system: results, the owner's state, ending outside a run.
#include "client/skin/ModalWnd.h"

#include "WindowTestSupport.h"

#include <functional>

namespace {

// A modal window that runs `act` once its modal loop is running.
class ScriptedModal : public CModalWnd {
public:
    explicit ScriptedModal(CWnd* owner = nullptr) : CModalWnd(nullptr, owner) {}
    std::function<void(ScriptedModal&)> act;
    bool refuseCreation = false;
    bool ownerWasDisabled = false;
    using CModalWnd::m_nModalResult;

protected:
    int OnCreate(CREATESTRUCT* cs) override
    {
        if (refuseCreation || CreateSkinned(cs, "window_about") == -1)
            return -1;
        PostMessage(WM_USER + 1);
        return 0;
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_USER + 1) {
            HWND owner = GetParent(m_hWnd);
            ownerWasDisabled = owner && !::IsWindowEnabled(owner);
            if (act)
                act(*this);
            return 0;
        }
        return CModalWnd::WindowProc(msg, wParam, lParam);
    }
};

class ModalWndTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        ASSERT_TRUE(m_main.CreateEx(0, "", WS_POPUP, 0, 0, 800, 600, nullptr, 0));
        m_main.ShowWindow(SW_SHOW);
    }
    void TearDown() override
    {
        m_main.DestroyWindow();
        HeadlessWindowTest::TearDown();
    }
    CWnd m_main;
};

struct EndCase {
    const char* label;
    std::function<void(ScriptedModal&)> act;
    int result;
};

TEST_F(ModalWndTest, EndingsGiveTheirResultsAndRestoreTheOwner)
{
    const EndCase cases[] = {
        {"ok", [](ScriptedModal& w) { w.OnOK(); }, 1},
        {"cancel", [](ScriptedModal& w) { w.OnCancel(); }, 2},
        {"close_request", [](ScriptedModal& w) { w.PostMessage(WM_CLOSE); }, 2},
        {"system_close", [](ScriptedModal& w) { w.SendMessage(WM_SYSCOMMAND, SC_CLOSE); }, 2},
        {"end_with_code", [](ScriptedModal& w) { w.EndModal(7); }, 7},
        {"destroyed_without_end", [](ScriptedModal& w) { w.DestroyWindow(); }, 0},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.label);
        ScriptedModal w(&m_main);
        w.act = c.act;
        EXPECT_EQ(c.result, w.DoModal());
        EXPECT_TRUE(w.ownerWasDisabled);
        EXPECT_TRUE(m_main.IsWindowEnabled());
        EXPECT_EQ(nullptr, w.m_hWnd);
        EXPECT_EQ(m_main.m_hWnd, GetActiveWindow());
    }
}

TEST_F(ModalWndTest, CreationFailureAnswersZeroAndReenablesOwner)
{
    ScriptedModal w(&m_main);
    w.refuseCreation = true;
    EXPECT_EQ(0, w.DoModal());
    EXPECT_TRUE(m_main.IsWindowEnabled());
    EXPECT_EQ(nullptr, w.m_hWnd);
}

TEST_F(ModalWndTest, OwnerDisabledBeforeStaysDisabled)
{
    m_main.EnableWindow(false);
    ScriptedModal w(&m_main);
    w.act = [](ScriptedModal& self) { self.OnOK(); };
    EXPECT_EQ(1, w.DoModal());
    EXPECT_FALSE(m_main.IsWindowEnabled());
}

TEST_F(ModalWndTest, EndModalOutsideARunChangesNothing)
{
    ScriptedModal w(&m_main);
    w.EndModal(5); // no window, no run
    EXPECT_EQ(0, w.GetModalResult());
    w.act = [](ScriptedModal& self) { self.OnOK(); };
    EXPECT_EQ(1, w.DoModal());
    w.EndModal(5); // the run is over
    EXPECT_EQ(1, w.GetModalResult());

    // A window that exists but runs no modal loop is not ended either.
    ScriptedModal idle;
    ASSERT_TRUE(idle.CreateEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
    idle.EndModal(3);
    EXPECT_EQ(0, idle.GetModalResult());
    EXPECT_TRUE(IsWindow(idle.m_hWnd));
}

TEST_F(ModalWndTest, RunsAgainAfterARunAndStartsFromZero)
{
    ScriptedModal w(&m_main);
    w.act = [](ScriptedModal& self) { self.OnCancel(); };
    EXPECT_EQ(2, w.DoModal());
    w.act = [](ScriptedModal& self) { self.DestroyWindow(); };
    EXPECT_EQ(0, w.DoModal());
}

TEST_F(ModalWndTest, WithoutOwnerRunsUnowned)
{
    ScriptedModal w;
    w.act = [](ScriptedModal& self) { self.OnOK(); };
    EXPECT_EQ(1, w.DoModal());
    EXPECT_FALSE(w.ownerWasDisabled);
}

} // namespace
