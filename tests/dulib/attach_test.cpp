// The engine attached to a real (headless) window: gestures arrive as WM_SKINEVENT, edit
// boxes take typed and input-method text, layouts follow the window's size, hosted windows
// follow their elements.
#include "dulib/dulib.h"

#include "TempDir.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <string>
#include <vector>

namespace {

const char* const kSkin = R"(<skin>
  <paint name="p" fill="#ffffff" color="#000000"/>
  <paint name="t" color="#000000" align="left"/>
  <paint name="edit" fill="#ffffff" content="edit" color="#000000"/>
  <layout name="test" width="300" height="200" look="p">
    <caption name="cap" left="0" top="0" width="150" height="20"/>
    <button name="btn" left="10" top="30" width="50" height="20" look="p"/>
    <toggle name="max" right="10" top="30" width="20" height="20" look="p" follow="maximized"/>
    <check name="chk" left="10" top="60" width="80" height="20" look="p" text="c"/>
    <linkicon name="icon" left="100" top="60" width="20" height="20" look="p"/>
    <dropbutton name="drop" left="130" top="60" width="20" height="20" look="p"/>
    <colorimage name="swatch" left="160" top="60" width="20" height="20" look="p"/>
    <link name="lnk" left="10" top="90" width="80" height="20" look="t" text="go"/>
    <edit name="user" left="10" top="120" width="120" height="24" look="edit" maxlen="8"/>
    <password name="pass" left="140" top="120" width="120" height="24" look="edit"/>
    <panel name="row" left="0" right="0" top="150" height="20" layout="row" lead="5" gap="10">
      <button name="r1" width="30" height="20" look="p"/>
      <button name="r2" width="30" height="20" look="p"/>
      <button name="r3" width="30" height="20" look="p"/>
    </panel>
    <host name="host" left="200" top="60" right="0" height="50"/>
    <button name="under" left="10" top="175" width="40" height="20" look="p"/>
    <panel name="cover" left="0" top="172" width="60" height="28" look="p"/>
    <button name="free" left="70" top="175" width="40" height="20" look="p"/>
    <panel name="hiddencover" left="65" top="172" width="60" height="28" look="p" visible="0"/>
  </layout>
</skin>)";

struct Event {
    Plugin* element;
    std::string name;
    int code;
    int param1;
};

class AttachTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        std::string path = m_dir.write("skin/config.xml", kSkin).string();
        m_skin = LoadStyleA(path.c_str());
        ASSERT_EQ(m_skin->GetError(), "");
        m_answer = [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_SKINEVENT) {
                auto* element = reinterpret_cast<Plugin*>(w);
                auto* event = reinterpret_cast<PluginEvent*>(l);
                m_events.push_back({element, element->GetName(), event->code, event->param1});
                if (m_onEvent) return m_onEvent(h, *event);
                return 0;
            }
            return DefWindowProc(h, m, w, l);
        };
        m_hwnd = makeWindow();
        ASSERT_EQ(WindowManager_Attach(m_skin, m_hwnd, "test"), 1);
    }
    void TearDown() override
    {
        HeadlessWindowTest::TearDown();
        dulib::FreeSkin(m_skin);
    }

    Plugin* el(const char* name) { return GetPluginByName(m_hwnd, name); }

    POINT centre(const char* name)
    {
        RECT r;
        el(name)->GetRect(&r);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void press(POINT p) { SendMessage(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y)); }
    void release(POINT p) { SendMessage(m_hwnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y)); }
    void click(const char* name)
    {
        press(centre(name));
        release(centre(name));
    }
    RECT rectOf(const char* name)
    {
        RECT r;
        el(name)->GetRect(&r);
        return r;
    }
    std::vector<unsigned char> pixels()
    {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 300, 200);
        cairo_t* cr = cairo_create(s);
        PaintWindowTo(m_hwnd, cr);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        unsigned char* data = cairo_image_surface_get_data(s);
        std::vector<unsigned char> out(data, data + cairo_image_surface_get_stride(s) * 200);
        cairo_surface_destroy(s);
        return out;
    }

    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
    HWND m_hwnd = nullptr;
    std::vector<Event> m_events;
    std::function<LRESULT(HWND, const PluginEvent&)> m_onEvent;
};

TEST_F(AttachTest, WindowTakesTheLayoutSizeAndElementsAreFound)
{
    RECT client;
    GetClientRect(m_hwnd, &client);
    EXPECT_EQ(client.width(), 300);
    EXPECT_EQ(client.height(), 200);
    ASSERT_NE(el("btn"), nullptr);
    EXPECT_EQ(el("btn")->GetName(), "btn");
    EXPECT_EQ(el("nothing"), nullptr);
    EXPECT_EQ(el("test")->GetParent(), nullptr) << "the root element carries the layout's name";
    EXPECT_EQ(GetPluginByName(m_hwnd, nullptr), nullptr);
    EXPECT_EQ(WindowManager_Attach(m_skin, makeWindow(), "no_such_layout"), 0);
    EXPECT_EQ(WindowManager_Attach(m_skin, nullptr, "test"), 0);
    EXPECT_EQ(WindowManager_Attach(nullptr, m_hwnd, "test"), 0);
}

struct GestureCase {
    const char* element;
    int code;
    std::vector<int> param1; // of two clicks in a row
};

TEST_F(AttachTest, GesturesRaiseTheirCodesAtTheWindow)
{
    const GestureCase cases[] = {
        {"btn", PE_CLICK, {0, 0}},      {"max", PE_TOGGLE, {1, 0}},    {"chk", PE_TOGGLE, {1, 0}},
        {"icon", PE_ACTIVATE, {0, 0}}, {"drop", PE_ACTIVATE, {0, 0}}, {"swatch", PE_SELECT, {0, 0}},
        {"lnk", PE_CLICK, {0, 0}},
    };
    for (const auto& c : cases) {
        m_events.clear();
        click(c.element);
        click(c.element);
        ASSERT_EQ(m_events.size(), 2u) << c.element;
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(m_events[i].element, el(c.element)) << c.element;
            EXPECT_EQ(m_events[i].code, c.code) << c.element;
            EXPECT_EQ(m_events[i].param1, c.param1[i]) << c.element;
        }
    }
    // The window still gets its mouse messages (the drop-down reads its button presses).
    EXPECT_EQ(received(WM_LBUTTONDOWN).size(), 14u);
}

TEST_F(AttachTest, ActivateIsRaisedOnThePressAndClickOnlyOnReleaseOverTheSameElement)
{
    press(centre("icon"));
    ASSERT_EQ(m_events.size(), 1u);
    EXPECT_EQ(m_events[0].code, PE_ACTIVATE);
    release(centre("icon"));
    EXPECT_EQ(m_events.size(), 1u);

    press(centre("btn"));
    EXPECT_EQ(m_events.size(), 1u);
    release(centre("chk")); // slid off: no click, and the check box is not toggled either
    EXPECT_EQ(m_events.size(), 1u);
    EXPECT_EQ(el("chk")->GetCheck(), 0);
}

TEST_F(AttachTest, MaximiseToggleFollowsTheWindowWithoutEvents)
{
    ShowWindow(m_hwnd, SW_SHOWMAXIMIZED);
    EXPECT_EQ(el("max")->GetCheck(), 1);
    ShowWindow(m_hwnd, SW_RESTORE);
    EXPECT_EQ(el("max")->GetCheck(), 0);
    EXPECT_TRUE(m_events.empty());
    EXPECT_EQ(el("chk")->GetCheck(), 0) << "only toggles marked to follow the window";
}

TEST_F(AttachTest, SecondPressOfADoubleClickStillClicks)
{
    click("chk");
    SendMessage(m_hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(centre("chk").x, centre("chk").y));
    release(centre("chk"));
    ASSERT_EQ(m_events.size(), 2u);
    EXPECT_EQ(m_events[1].param1, 0);
    EXPECT_EQ(received(WM_LBUTTONDBLCLK).size(), 1u) << "the window sees its double click";
}

TEST_F(AttachTest, CheckStateFollowsClicksAndSetCheckRaisesNothing)
{
    el("chk")->SetCheck(1);
    EXPECT_EQ(el("chk")->GetCheck(), 1);
    EXPECT_TRUE(m_events.empty());
    click("chk");
    ASSERT_EQ(m_events.size(), 1u);
    EXPECT_EQ(m_events[0].param1, 0);
    EXPECT_EQ(el("chk")->GetCheck(), 0);
    // The pair belongs to check boxes and toggles only.
    el("btn")->SetCheck(1);
    EXPECT_EQ(el("btn")->GetCheck(), 0);
}

TEST_F(AttachTest, LinkOpensItsAddressAfterTheClick)
{
    click("lnk");
    EXPECT_TRUE(platform::HeadlessOpenedAddresses().empty()) << "no address yet";
    el("lnk")->SetLink("http://127.0.0.1/pass_password.htm");
    el("btn")->SetLink("http://wrong.example/"); // not a link: ignored
    click("lnk");
    click("btn");
    EXPECT_EQ(platform::HeadlessOpenedAddresses(), std::vector<std::string>{"http://127.0.0.1/pass_password.htm"});
}

TEST_F(AttachTest, CoversHiddenElementsAndDisabledElementsDecideWhatIsClicked)
{
    click("under"); // lies below a panel drawn over it
    EXPECT_TRUE(m_events.empty());
    click("free"); // the panel over it is hidden
    ASSERT_EQ(m_events.size(), 1u);
    el("hiddencover")->Show(1);
    click("free");
    EXPECT_EQ(m_events.size(), 1u);
    el("hiddencover")->Show(0);
    el("free")->SetState(0);
    click("free");
    EXPECT_EQ(m_events.size(), 1u) << "disabled";
    el("free")->SetState(1);
    click("free");
    EXPECT_EQ(m_events.size(), 2u);
    Plugin_SetVisible(el("free"), 0);
    EXPECT_EQ(el("free")->IsVisible(), 0);
    click("free");
    EXPECT_EQ(m_events.size(), 2u);
    click("cap");
    EXPECT_EQ(m_events.size(), 2u) << "the caption moves the window, it raises nothing";
}

TEST_F(AttachTest, HandlerThatDestroysTheWindowDoesNotBreakTheEngine)
{
    m_onEvent = [](HWND h, const PluginEvent&) -> LRESULT {
        DestroyWindow(h);
        return 0;
    };
    click("btn");
    EXPECT_FALSE(IsWindow(m_hwnd));
    EXPECT_EQ(GetPluginByName(m_hwnd, "btn"), nullptr);

    m_hwnd = makeWindow();
    ASSERT_EQ(WindowManager_Attach(m_skin, m_hwnd, "test"), 1);
    press(centre("drop")); // code 5 on the press
    EXPECT_FALSE(IsWindow(m_hwnd));
}

TEST_F(AttachTest, EditBoxTakesTypedAndInputMethodText)
{
    Plugin* user = el("user");
    EXPECT_EQ(GetFocusPlugin(m_hwnd), nullptr);
    SendMessage(m_hwnd, WM_CHAR, 'q', 1);
    EXPECT_EQ(user->GetText(), "") << "nothing has the focus";

    SetFocusPlugin(m_hwnd, user);
    EXPECT_EQ(GetFocusPlugin(m_hwnd), user);
    SendMessage(m_hwnd, WM_CHAR, 'a', 1);
    SendMessage(m_hwnd, WM_IME_CHAR, 0xD6D0, 1); // GBK 中
    SendMessage(m_hwnd, WM_IME_CHAR, 'b', 1); // a single-byte input-method character, once
    EXPECT_EQ(user->GetText(), "a\xD6\xD0" "b");
    SendMessage(m_hwnd, WM_KEYDOWN, VK_LEFT, 0);
    SendMessage(m_hwnd, WM_KEYDOWN, VK_BACK, 0); // removes the whole two-byte character
    EXPECT_EQ(user->GetText(), "ab");
    SendMessage(m_hwnd, WM_KEYDOWN, VK_HOME, 0);
    SendMessage(m_hwnd, WM_IME_CHAR, 0xCEC4, 1); // 文
    SendMessage(m_hwnd, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(user->GetText(), "\xCE\xC4" "b");
    // Not characters: control codes, a lone lead byte, an invalid trail byte.
    SendMessage(m_hwnd, WM_CHAR, VK_BACK, 1);
    SendMessage(m_hwnd, WM_CHAR, 0xD6, 1);
    SendMessage(m_hwnd, WM_IME_CHAR, 0xD6, 1);
    SendMessage(m_hwnd, WM_IME_CHAR, 0xD67F, 1);
    SendMessage(m_hwnd, WM_IME_CHAR, 0x12345, 1);
    EXPECT_EQ(user->GetText(), "\xCE\xC4" "b");
    // The limit counts GBK bytes: 8.
    for (char c : std::string("123456")) SendMessage(m_hwnd, WM_CHAR, static_cast<WPARAM>(c), 1);
    EXPECT_EQ(user->GetText(), "\xCE\xC4" "12345b");
    SendMessage(m_hwnd, WM_IME_CHAR, 0xD6D0, 1);
    EXPECT_EQ(user->GetText(), "\xCE\xC4" "12345b");
    // Keys still reach the window (the login window's Tab, Enter and Esc).
    SendMessage(m_hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(received(WM_KEYDOWN).back().wParam, static_cast<WPARAM>(VK_TAB));
    // Clicking a button takes the focus away from the edit box; clicking it gives it back.
    click("btn");
    EXPECT_EQ(GetFocusPlugin(m_hwnd), nullptr);
    click("user");
    EXPECT_EQ(GetFocusPlugin(m_hwnd), user);
    SetFocusPlugin(m_hwnd, nullptr);
    EXPECT_EQ(GetFocusPlugin(m_hwnd), nullptr);
    // The login window's Tab ring also passes check boxes and buttons; panels cannot hold it.
    SetFocusPlugin(m_hwnd, el("chk"));
    EXPECT_EQ(GetFocusPlugin(m_hwnd), el("chk"));
    SendMessage(m_hwnd, WM_CHAR, 'z', 1);
    EXPECT_EQ(user->GetText(), "\xCE\xC4" "12345b") << "typing goes to edit boxes only";
    SetFocusPlugin(m_hwnd, el("row"));
    EXPECT_EQ(GetFocusPlugin(m_hwnd), nullptr);
    HWND other = makeWindow();
    ASSERT_EQ(WindowManager_Attach(m_skin, other, "test"), 1);
    SetFocusPlugin(m_hwnd, user);
    SetFocusPlugin(m_hwnd, GetPluginByName(other, "pass"));
    EXPECT_EQ(GetFocusPlugin(m_hwnd), user) << "another window's element is ignored";
}

TEST_F(AttachTest, PasswordBoxKeepsItsTextButShowsOnlyMasks)
{
    el("pass")->SetText("abc");
    el("user")->SetText("abc");
    auto first = pixels();
    el("pass")->SetText("xyz");
    EXPECT_EQ(pixels(), first) << "the same number of characters looks the same";
    EXPECT_EQ(el("pass")->GetText(), "xyz");
    el("user")->SetText("xyz");
    EXPECT_NE(pixels(), first) << "a plain edit box shows its text";
    SetFocusPlugin(m_hwnd, el("pass"));
    SendMessage(m_hwnd, WM_IME_CHAR, 0xD6D0, 1);
    EXPECT_EQ(el("pass")->GetText(), "xyz\xD6\xD0");
}

TEST_F(AttachTest, AnchoredLayoutFollowsTheWindowSize)
{
    EXPECT_EQ(rectOf("max").left, 270);
    EXPECT_EQ(rectOf("row").right, 300);
    MoveWindow(m_hwnd, 0, 0, 400, 260, true);
    EXPECT_EQ(rectOf("max").left, 370) << "anchored to the right edge";
    EXPECT_EQ(rectOf("max").right, 390);
    EXPECT_EQ(rectOf("btn").left, 10) << "anchored to the left edge";
    EXPECT_EQ(rectOf("row").right, 400) << "stretched between both edges";
    EXPECT_EQ(rectOf("host").right, 400);
    click("max");
    ASSERT_EQ(m_events.size(), 1u) << "hit testing uses the new places";
}

TEST_F(AttachTest, LayoutValuesMoveElementsOnRelayout)
{
    EXPECT_EQ(rectOf("r1").left, 5);
    EXPECT_EQ(rectOf("r2").left, 45);
    EXPECT_EQ(rectOf("r3").left, 85);
    el("row")->SetLayoutC(5); // five pixels more between neighbours
    EXPECT_EQ(rectOf("r2").left, 45) << "applied by the next Relayout";
    el("row")->Relayout(0);
    EXPECT_EQ(rectOf("r2").left, 50);
    EXPECT_EQ(rectOf("r3").left, 95);
    el("row")->SetLayoutC(-12);
    el("row")->SetLayoutB(20);
    el("row")->Relayout(0);
    EXPECT_EQ(rectOf("r1").left, 20);
    EXPECT_EQ(rectOf("r2").left, 48);
    el("r2")->Show(0); // the row closes up
    EXPECT_EQ(rectOf("r3").left, 48);
    el("btn")->SetLayoutA(77);
    el("test")->Relayout(0);
    EXPECT_EQ(rectOf("btn").left, 77);
    EXPECT_EQ(rectOf("btn").right, 127);
    MoveWindow(m_hwnd, 0, 0, 500, 200, true);
    EXPECT_EQ(rectOf("btn").left, 77) << "values stay set across resizes";
    EXPECT_EQ(rectOf("r1").left, 20);
}

TEST_F(AttachTest, TreeNavigation)
{
    Plugin* r1 = el("r1");
    EXPECT_EQ(r1->GetParent(), el("row"));
    EXPECT_EQ(r1->GetNext(), el("r2"));
    EXPECT_EQ(el("r3")->GetNext(), nullptr);
    EXPECT_EQ(el("row")->FindChild("r3"), el("r3"));
    EXPECT_EQ(el("row")->FindChild("btn"), nullptr);
    EXPECT_EQ(el("row")->FindChild("row"), nullptr) << "descendants only";
    EXPECT_EQ(el("test")->FindChild("r2"), el("r2"));
    el("btn")->SetText(nullptr);
    EXPECT_EQ(el("btn")->GetText(), "");
    el("lnk")->SetPlanText("line one\nline two");
    EXPECT_EQ(el("lnk")->GetText(), "line one\nline two");
}

TEST_F(AttachTest, HostKeepsItsWindowOverTheElement)
{
    HWND child = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, m_hwnd, 1000,
                                [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); });
    ASSERT_NE(child, nullptr);
    ShowWindow(m_hwnd, SW_SHOW);
    Plugin* host = el("host");
    EXPECT_EQ(host->GetWindow(), nullptr);
    host->AttachWindow(child);
    EXPECT_EQ(host->GetWindow(), child);
    RECT r;
    GetWindowRect(child, &r);
    POINT origin{0, 0};
    ClientToScreen(m_hwnd, &origin);
    EXPECT_EQ(r.left - origin.x, 200);
    EXPECT_EQ(r.top - origin.y, 60);
    EXPECT_EQ(r.width(), 100);
    EXPECT_EQ(r.height(), 50);
    MoveWindow(m_hwnd, 0, 0, 360, 240, true);
    GetWindowRect(child, &r);
    EXPECT_EQ(r.width(), 160);
    EXPECT_EQ(r.height(), 50);
    EXPECT_TRUE(IsWindowVisible(child));
    host->Show(0);
    EXPECT_FALSE(IsWindowVisible(child));
    host->Show(1);
    EXPECT_TRUE(IsWindowVisible(child));
    DestroyWindow(child);
    EXPECT_EQ(host->GetWindow(), nullptr) << "a destroyed window is forgotten";
    // Not a host: the pair means nothing.
    el("btn")->AttachWindow(m_hwnd);
    EXPECT_EQ(el("btn")->GetWindow(), nullptr);
}

TEST_F(AttachTest, PaintsOnWmPaintAndForwardsOtherMessages)
{
    auto blank = std::vector<unsigned char>(pixels().size(), 0);
    EXPECT_NE(pixels(), blank);
    SendMessage(m_hwnd, WM_USER + 7, 1, 2);
    EXPECT_EQ(received(WM_USER + 7).size(), 1u);
    Plugin_Redraw(el("btn"), 1);
    Plugin_Redraw(nullptr, 1);
    Plugin_SetVisible(nullptr, 0);
}

} // namespace
