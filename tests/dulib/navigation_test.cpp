// Keyboard use of an attached layout: which controls Tab reaches and in which order, where
// the arrows go inside a marked group, that Enter and Space raise exactly what a click
// raises, that a window's own keys are left to it, and that the focus ring is drawn in the
// skin's colour and follows the colour scheme.
#include "dulib/Navigation.h"
#include "dulib/Render.h"
#include "dulib/dulib.h"

#include "TempDir.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// "late" is first in the description but lies on the line of "first" and "box", right of
// them; "off" is disabled by the test, "inhidden" sits in a hidden panel, "under" lies under
// a cover. The grid is an arrow group: g1 g2 g3 over g4 g5, with g6 hidden.
const char* const kSkin = R"(<skin>
  <paint name="p" fill="#ffffff" color="#000000"/>
  <paint name="band" fill="#000080" ring="#ffff00"/>
  <paint name="edit" fill="#ffffff" content="edit" color="#000000"/>
  <paint name="focus_ring" ring="#ff0000" ring_width="2"/>
  <paint name="focus_ring_Orange" base="focus_ring" ring="#00ff00"/>
  <style name="focus_ring" items="focus_ring"/>
  <layout name="form" width="400" height="320" look="p">
    <caption name="cap" left="0" top="0" right="0" height="20"/>
    <button name="late" left="300" top="34" width="60" height="20" look="p"/>
    <button name="first" left="10" top="30" width="60" height="30" look="p"/>
    <check name="box" left="100" top="36" width="60" height="20" look="p" text="c"/>
    <edit name="name" left="10" top="80" width="100" height="24" look="edit"/>
    <link name="site" left="150" top="80" width="60" height="20" look="p" text="go" link="http://127.0.0.1/site.htm"/>
    <button name="off" left="250" top="80" width="40" height="20" look="p"/>
    <panel name="hidden" left="0" top="110" width="100" height="30" visible="0">
      <button name="inhidden" left="0" top="0" width="40" height="20" look="p"/>
    </panel>
    <text name="label" left="200" top="115" width="60" height="20" text="t"/>
    <button name="under" left="10" top="160" width="60" height="20" look="p"/>
    <panel name="cover" left="0" top="150" width="100" height="40" look="p"/>
    <button name="onband" left="300" top="160" width="60" height="20" look="band"/>
    <panel name="grid" left="0" top="200" right="0" height="110" arrows="1">
      <button name="g1" left="10" top="0" width="40" height="40" look="p"/>
      <toggle name="g2" left="60" top="0" width="40" height="40" look="p"/>
      <linkicon name="g3" left="110" top="0" width="40" height="40" look="p"/>
      <dropbutton name="g4" left="10" top="50" width="40" height="40" look="p"/>
      <colorimage name="g5" left="60" top="50" width="40" height="40" look="p"/>
      <button name="g6" left="110" top="50" width="40" height="40" look="p" visible="0"/>
    </panel>
  </layout>
  <layout name="menu" width="100" height="80" look="p" arrows="1">
    <button name="m1" left="4" top="4" right="4" height="20" look="p"/>
    <button name="m2" left="4" top="28" right="4" height="20" look="p"/>
    <button name="m3" left="4" top="52" right="4" height="20" look="p"/>
  </layout>
</skin>)";

struct Event {
    std::string name;
    int code;
    int param1;
    bool operator==(const Event&) const = default;
};

class NavigationTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        m_skin = LoadStyleA(m_dir.write("skin/config.xml", kSkin).string().c_str());
        ASSERT_EQ(m_skin->GetError(), "");
        m_answer = [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_SKINEVENT) {
                auto* event = reinterpret_cast<PluginEvent*>(l);
                m_events.push_back({reinterpret_cast<Plugin*>(w)->GetName(), event->code, event->param1});
                if (m_destroyOnEvent) DestroyWindow(h);
                return 0;
            }
            return DefWindowProc(h, m, w, l);
        };
        m_hwnd = attach("form");
    }
    void TearDown() override
    {
        HeadlessWindowTest::TearDown();
        dulib::FreeSkin(m_skin);
    }

    HWND attach(const char* layout)
    {
        HWND hwnd = makeWindow();
        EXPECT_EQ(WindowManager_Attach(m_skin, hwnd, layout), 1);
        return hwnd;
    }
    Plugin* el(const char* name) { return GetPluginByName(m_hwnd, name); }
    std::string focused()
    {
        Plugin* f = GetFocusPlugin(m_hwnd);
        return f ? f->GetName() : "";
    }
    void focus(const char* name) { SetFocusPlugin(m_hwnd, name ? el(name) : nullptr); }
    // Through the queue, as the back end delivers keys, so the Shift state is the one of the
    // message in hand.
    void key(int vk, bool shift = false)
    {
        if (shift) PostMessage(m_hwnd, WM_KEYDOWN, VK_SHIFT, 0);
        PostMessage(m_hwnd, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
        PostMessage(m_hwnd, WM_KEYUP, static_cast<WPARAM>(vk), 0);
        if (shift) PostMessage(m_hwnd, WM_KEYUP, VK_SHIFT, 0);
        pumpAll();
    }
    void clickAt(const char* name)
    {
        RECT r;
        el(name)->GetRect(&r);
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessage(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessage(m_hwnd, WM_LBUTTONUP, 0, at);
    }
    // The colour at (x, y) of the window's face as 0xRRGGBB.
    unsigned pixel(int x, int y)
    {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 400, 320);
        cairo_t* cr = cairo_create(s);
        PaintWindowTo(m_hwnd, cr);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        unsigned value = *reinterpret_cast<const std::uint32_t*>(row + 4 * x) & 0xFFFFFFu;
        cairo_surface_destroy(s);
        return value;
    }

    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
    HWND m_hwnd = nullptr;
    std::vector<Event> m_events;
    bool m_destroyOnEvent = false;
};

TEST_F(NavigationTest, TabWalksReachableControlsInReadingOrderOnly)
{
    el("off")->SetState(0);
    const std::vector<std::string> expected = {"first", "box", "late", "name", "site", "onband",
                                               "g1", "g2", "g3", "g4", "g5"};
    std::vector<std::string> walked;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        key(VK_TAB);
        walked.push_back(focused());
    }
    EXPECT_EQ(walked, expected) << "no caption, text, disabled, hidden or covered element";
    key(VK_TAB);
    EXPECT_EQ(focused(), "first") << "after the last, the first";

    std::vector<std::string> back;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        key(VK_TAB, true);
        back.push_back(focused());
    }
    EXPECT_EQ(back, std::vector<std::string>(expected.rbegin(), expected.rend())) << "Shift+Tab walks back";
}

TEST_F(NavigationTest, TabFromNowhereOrFromAnElementThatWentAway)
{
    struct Case {
        const char* from;
        bool shift;
        const char* to;
    };
    const Case cases[] = {
        {nullptr, false, "first"}, {nullptr, true, "g5"}, {"g5", false, "first"}, {"first", true, "g5"},
        {"name", false, "site"},  {"name", true, "late"},  {"late", false, "name"},
    };
    for (const Case& c : cases) {
        focus(c.from);
        key(VK_TAB, c.shift);
        EXPECT_EQ(focused(), c.to) << (c.from ? c.from : "(none)") << (c.shift ? " Shift+Tab" : " Tab");
    }
    focus("g2");
    el("grid")->Show(0); // the focused control's panel is hidden
    key(VK_TAB);
    EXPECT_EQ(focused(), "first");
    el("grid")->Show(1);
    el("cover")->Show(0); // uncovered, the button under it is reachable again
    const auto order = dulib::FocusOrder(static_cast<dulib::Element*>(el("form"))->view());
    EXPECT_NE(std::find(order.begin(), order.end(), el("under")), order.end());
}

TEST_F(NavigationTest, ArrowsMoveInsideTheirGroupOnly)
{
    struct Case {
        const char* from;
        int key;
        const char* to; // "" = the key is not used, the focus stays
    };
    const Case cases[] = {
        {"g1", VK_RIGHT, "g2"}, {"g2", VK_RIGHT, "g3"}, {"g3", VK_RIGHT, ""},   {"g2", VK_LEFT, "g1"},
        {"g1", VK_LEFT, ""},    {"g1", VK_DOWN, "g4"},  {"g2", VK_DOWN, "g5"},  {"g3", VK_DOWN, "g5"},
        {"g5", VK_UP, "g2"},    {"g4", VK_UP, "g1"},    {"g1", VK_UP, ""},      {"g4", VK_RIGHT, "g5"},
        {"g5", VK_RIGHT, ""}, // g6 is hidden
        {"first", VK_RIGHT, ""}, {"box", VK_DOWN, ""}, // outside any group
    };
    for (const Case& c : cases) {
        focus(c.from);
        key(c.key);
        EXPECT_EQ(focused(), *c.to ? c.to : c.from) << c.from << " key " << c.key;
    }
    EXPECT_TRUE(m_events.empty()) << "moving raises nothing";
}

TEST_F(NavigationTest, ArrowInAMenuWithNothingFocusedGoesToTheFirstItem)
{
    m_hwnd = attach("menu");
    key(VK_DOWN);
    EXPECT_EQ(focused(), "m1");
    key(VK_DOWN);
    key(VK_DOWN);
    EXPECT_EQ(focused(), "m3");
    key(VK_DOWN);
    EXPECT_EQ(focused(), "m3") << "no wrap at the end";
    key(VK_UP);
    EXPECT_EQ(focused(), "m2");
    key(VK_RETURN);
    EXPECT_EQ(m_events, (std::vector<Event>{{"m2", PE_CLICK, 0}}));
}

TEST_F(NavigationTest, EnterAndSpaceRaiseExactlyWhatAClickRaises)
{
    const char* const controls[] = {"first", "box", "site", "g1", "g2", "g3", "g4", "g5"};
    for (int vk : {VK_RETURN, VK_SPACE}) {
        for (const char* name : controls) {
            // Twice, so the toggles show both states.
            m_events.clear();
            clickAt(name);
            clickAt(name);
            const std::vector<Event> byMouse = m_events;
            const int checkAfterMouse = el(name)->GetCheck();
            m_events.clear();
            focus(name);
            key(vk);
            key(vk);
            EXPECT_EQ(m_events, byMouse) << name << " key " << vk;
            EXPECT_EQ(el(name)->GetCheck(), checkAfterMouse) << name;
            EXPECT_EQ(focused(), name) << "the focus stays on the control";
        }
    }
    // The link opened its address once per activation, mouse and keys alike.
    EXPECT_EQ(platform::HeadlessOpenedAddresses(), std::vector<std::string>(8, "http://127.0.0.1/site.htm"));
}

TEST_F(NavigationTest, KeysThatActOnNothing)
{
    focus("name");
    key(VK_SPACE);
    key(VK_RETURN);
    EXPECT_TRUE(m_events.empty()) << "an edit box is not activated";
    focus("first");
    el("first")->SetState(0);
    key(VK_RETURN);
    EXPECT_TRUE(m_events.empty()) << "a disabled control raises nothing";
    focus(nullptr);
    key(VK_RETURN);
    EXPECT_TRUE(m_events.empty());
}

TEST_F(NavigationTest, KeysTheWindowHandlesItselfAreLeftToIt)
{
    WindowManager_SetOwnKeys(m_hwnd, KEYS_TAB | KEYS_ENTER);
    focus("box");
    key(VK_TAB);
    EXPECT_EQ(focused(), "box") << "the window walks its own ring";
    key(VK_RETURN);
    EXPECT_TRUE(m_events.empty()) << "Enter acts on the window";
    key(VK_SPACE);
    EXPECT_EQ(m_events, (std::vector<Event>{{"box", PE_TOGGLE, 1}})) << "Space still acts on the focus";
    EXPECT_EQ(received(WM_KEYDOWN).size(), 3u) << "every key still reaches the window";
}

TEST_F(NavigationTest, ControlThatClosesTheWindowOnEnterDoesNotBreakTheEngine)
{
    m_destroyOnEvent = true;
    for (const char* name : {"first", "g3"}) { // a click, and an event raised on the press
        m_hwnd = attach("form");
        focus(name);
        key(VK_RETURN);
        EXPECT_FALSE(IsWindow(m_hwnd)) << name;
    }
}

TEST_F(NavigationTest, FocusRingIsDrawnInTheSkinsColourAndFollowsTheScheme)
{
    // Just outside the button's left edge, where the ring runs.
    const int x = 8, y = 45;
    EXPECT_EQ(pixel(x, y), 0xFFFFFFu);
    focus("first");
    EXPECT_EQ(pixel(x, y), 0xFF0000u);
    dulib::ApplyColourSuffix(m_skin, "_Orange", "_Orange");
    EXPECT_EQ(pixel(x, y), 0x00FF00u) << "the orange scheme's ring";

    focus("onband");
    EXPECT_EQ(pixel(298, 170), 0xFFFF00u) << "a paint's own ring colour wins";
    EXPECT_EQ(pixel(x, y), 0xFFFFFFu) << "only the focused control wears the ring";

    focus("name");
    EXPECT_EQ(pixel(8, 92), 0xFFFFFFu) << "edit boxes show their focus by their own look";
    clickAt("first");
    EXPECT_EQ(focused(), "") << "a click leaves no ring behind";
}

} // namespace
