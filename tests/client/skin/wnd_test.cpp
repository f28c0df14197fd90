// CWnd and the skin engine keep records by window handle; those records belong to one run
// of the window system. A window whose procedure never passes WM_NCDESTROY on (a careless
// subclass) would otherwise leave its object and attached view to be found in the next
// run, long after the objects they point at are gone.
#include "client/skin/Wnd.h"

#include "TempDir.h"

#include "dulib/dulib.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const char* const kSkin = R"(<skin>
  <paint name="p" fill="#ffffff"/>
  <layout name="face" width="120" height="80" look="p">
    <button name="btn" left="10" top="10" width="40" height="20" look="p"/>
  </layout>
</skin>)";

class SkinnedWindow : public CWnd {
public:
    using CWnd::CWnd;

protected:
    int OnCreate(CREATESTRUCT* cs) override { return CreateSkinned(cs, "face"); }
};

class WndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_skin = LoadStyleA(m_dir.write("skin/config.xml", kSkin).string().c_str());
        ASSERT_EQ(m_skin->GetError(), "");
    }
    void TearDown() override
    {
        platform::ShutdownWindowSystem();
        dulib::FreeSkin(m_skin);
    }

    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
};

TEST_F(WndTest, RecordsOfAWindowThatMissedItsLastMessageEndWithTheRun)
{
    ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless));
    auto window = std::make_unique<SkinnedWindow>(m_skin);
    ASSERT_TRUE(window->CreateEx(0, "", WS_POPUP, 0, 0, 120, 80, nullptr, 0));
    const HWND hwnd = window->GetSafeHwnd();
    ASSERT_EQ(CWnd::FromHandle(hwnd), window.get());
    ASSERT_NE(GetPluginByName(hwnd, "btn"), nullptr);
    // A subclass that swallows WM_NCDESTROY: neither the view nor the object hears of the end.
    WindowProc below;
    below = SetWindowProc(hwnd, [&below](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        return m == WM_NCDESTROY ? 0 : below(h, m, w, l);
    });
    platform::ShutdownWindowSystem();

    ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless));
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
    EXPECT_EQ(GetPluginByName(hwnd, "btn"), nullptr);
    // The object outlives its window; destroying it now touches nothing of the new run.
    window.reset();
    SkinnedWindow again(m_skin);
    ASSERT_TRUE(again.CreateEx(0, "", WS_POPUP, 0, 0, 120, 80, nullptr, 0));
    EXPECT_EQ(CWnd::FromHandle(again.GetSafeHwnd()), &again);
    EXPECT_NE(GetPluginByName(again.GetSafeHwnd(), "btn"), nullptr);
}

} // namespace
