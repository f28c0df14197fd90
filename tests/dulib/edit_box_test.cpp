// Edit boxes as a member uses them, on a real (headless) window: keys that select, the
// clipboard and the primary selection, the mouse, the context menu and the input method's
// composition. Texts are GBK inside; the desktop's clipboard holds UTF-8.
#include "dulib/EditBox.h"
#include "dulib/Element.h"
#include "dulib/Skin.h"
#include "dulib/View.h"
#include "dulib/dulib.h"
#include "platform/CodeLib.h"

#include "TempDir.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const kSkin = R"(<skin>
  <paint name="p" fill="#ffffff" color="#000000"/>
  <paint name="edit" fill="#ffffff" content="edit" color="#000000" padding="4"/>
  <layout name="test" width="300" height="200" look="p">
    <edit name="user" left="10" top="20" width="200" height="24" look="edit" maxlen="8"/>
    <edit name="other" left="10" top="60" width="200" height="24" look="edit"/>
    <password name="pass" left="10" top="100" width="200" height="24" look="edit"/>
    <button name="btn" left="10" top="140" width="50" height="20" look="p"/>
  </layout>
</skin>)";

// GBK bytes of 中 and 文.
const std::string kZhong = "\xD6\xD0";
const std::string kWen = "\xCE\xC4";

class EditBoxTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        std::string path = m_dir.write("skin/config.xml", kSkin).string();
        m_skin = LoadStyleA(path.c_str());
        ASSERT_EQ(m_skin->GetError(), "");
        m_hwnd = makeWindow();
        ASSERT_EQ(WindowManager_Attach(m_skin, m_hwnd, "test"), 1);
    }
    void TearDown() override
    {
        HeadlessWindowTest::TearDown();
        dulib::FreeSkin(m_skin);
    }

    dulib::Element* box(const char* name) { return static_cast<dulib::Element*>(GetPluginByName(m_hwnd, name)); }
    std::pair<size_t, size_t> selection(const char* name) { return dulib::edit::Selection(*box(name)); }
    void focus(const char* name, const std::string& text)
    {
        box(name)->SetText(text.c_str());
        SetFocusPlugin(m_hwnd, box(name));
    }

    void key(int vk, bool shift = false, bool control = false)
    {
        if (shift) SendMessage(m_hwnd, WM_KEYDOWN, VK_SHIFT, 0);
        if (control) SendMessage(m_hwnd, WM_KEYDOWN, VK_CONTROL, 0);
        SendMessage(m_hwnd, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
        SendMessage(m_hwnd, WM_KEYUP, static_cast<WPARAM>(vk), 0);
        if (control) SendMessage(m_hwnd, WM_KEYUP, VK_CONTROL, 0);
        if (shift) SendMessage(m_hwnd, WM_KEYUP, VK_SHIFT, 0);
    }
    // A point inside the box at x from its left edge (negative: from its right edge).
    LPARAM at(const char* name, int x)
    {
        const RECT& r = box(name)->rect();
        return MAKELPARAM(x >= 0 ? r.left + x : r.right + x, (r.top + r.bottom) / 2);
    }
    // Where the caret stands after the given text offset, in client x.
    int xAfter(const char* name, size_t offset)
    {
        dulib::Element* e = box(name);
        dulib::EditState saved = e->edit();
        dulib::edit::SetCaret(*e, offset, false);
        int x = dulib::CaretRect(e->view(), *e).left;
        e->edit() = saved;
        return x - e->rect().left;
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
    static std::optional<std::string> clipboard(platform::Clipboard which = platform::Clipboard::Standard)
    {
        return platform::HeadlessClipboardText(which);
    }

    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
    HWND m_hwnd = nullptr;
};

struct Key {
    int vk;
    bool shift = false;
    bool control = false;
};

TEST_F(EditBoxTest, KeysSelectCutCopyAndPasteAsInADesktopEntry)
{
    struct Case {
        const char* what;
        std::string text;
        std::vector<Key> keys;
        std::string clipboardBefore; // UTF-8
        std::string textAfter;
        std::pair<size_t, size_t> selectionAfter;
        std::optional<std::string> clipboardAfter; // UTF-8
    };
    const Case cases[] = {
        {"Shift+Left takes a two-byte character whole", "ab" + kZhong, {{VK_LEFT, true}, {VK_LEFT, true}}, "", "ab" + kZhong, {1, 4}, ""},
        {"Shift+Home from the end selects everything", "abc", {{VK_HOME, true}}, "", "abc", {0, 3}, ""},
        {"a plain arrow ends the selection at its side", "abcd", {{VK_HOME, true}, {VK_RIGHT}}, "", "abcd", {4, 4}, ""},
        {"Shift+Right then Shift+End grows the selection", "abcd", {{VK_HOME}, {VK_RIGHT, true}, {VK_END, true}}, "", "abcd", {0, 4}, ""},
        {"Backspace removes the selection, not one more", "abcd", {{VK_LEFT, true}, {VK_LEFT, true}, {VK_BACK}}, "", "ab", {2, 2}, ""},
        {"Delete removes the selection", "abcd", {{VK_HOME}, {VK_RIGHT, true}, {VK_DELETE}}, "", "bcd", {0, 0}, ""},
        {"Ctrl+A then Ctrl+C copies the whole text as UTF-8", "a" + kZhong, {{'A', false, true}, {'C', false, true}}, "old", "a" + kZhong, {0, 3}, "a中"},
        {"Ctrl+X cuts", "abc", {{'A', false, true}, {'X', false, true}}, "old", "", {0, 0}, "abc"},
        {"Ctrl+C without a selection keeps the clipboard", "abc", {{'C', false, true}}, "old", "abc", {3, 3}, "old"},
        {"Ctrl+V pastes over the selection", "abcd", {{VK_LEFT, true}, {'V', false, true}}, "x", "abcx", {4, 4}, "x"},
        {"a paste stops at the length limit on a character boundary", "123456", {{'V', false, true}}, "中文", "123456" + kZhong, {8, 8}, "中文"},
        {"a paste keeps its first line and drops control characters", "", {{'V', false, true}}, "a\tb\r\nsecond", "ab", {2, 2}, "a\tb\r\nsecond"},
        {"a pasted character GBK lacks becomes ?", "", {{'V', false, true}}, "\xF0\x9F\x98\x80" "a", "?a", {2, 2}, "\xF0\x9F\x98\x80" "a"},
        {"Shift+Delete cuts and Shift+Insert pastes it back", "abc", {{VK_HOME, true}, {VK_DELETE, true}, {VK_INSERT, true}, {VK_INSERT, true}}, "", "abcabc", {6, 6}, "abc"},
        {"Ctrl+Insert copies", "abc", {{VK_LEFT, true}, {VK_INSERT, false, true}}, "", "abc", {2, 3}, "c"},
        {"Ctrl+Left and Ctrl+Right still move the caret", "abc", {{VK_HOME}, {VK_RIGHT, false, true}, {VK_LEFT, false, true}}, "", "abc", {0, 0}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::HeadlessSetClipboardText(platform::Clipboard::Standard, c.clipboardBefore);
        focus("user", c.text);
        for (const Key& k : c.keys) key(k.vk, k.shift, k.control);
        EXPECT_EQ(box("user")->GetText(), c.textAfter);
        EXPECT_EQ(selection("user"), c.selectionAfter);
        EXPECT_EQ(clipboard(), c.clipboardAfter);
        SetFocusPlugin(m_hwnd, nullptr);
    }
}

TEST_F(EditBoxTest, TheWindowStillGetsTabEnterAndEscAndModifiersDoNotLeakIntoTyping)
{
    focus("user", "ab");
    key(VK_HOME, true);
    for (int vk : {VK_TAB, VK_RETURN, VK_ESCAPE}) key(vk);
    std::vector<WPARAM> keys;
    for (const auto& r : received(WM_KEYDOWN)) keys.push_back(r.wParam);
    EXPECT_EQ(keys, (std::vector<WPARAM>{VK_SHIFT, VK_HOME, VK_TAB, VK_RETURN, VK_ESCAPE}));
    // Shift was released: Left no longer extends. (Tab took the focus on to the next
    // control, so the box is given it back first.)
    focus("user", "ab");
    key(VK_RIGHT);
    key(VK_LEFT);
    EXPECT_EQ(selection("user"), (std::pair<size_t, size_t>{1, 1}));
    EXPECT_EQ(box("user")->GetText(), "ab");
}

TEST_F(EditBoxTest, APasswordBoxNeverGivesItsTextOut)
{
    platform::HeadlessSetClipboardText(platform::Clipboard::Standard, "kept");
    focus("pass", "secret");
    key('A', false, true);
    key('C', false, true);
    key('X', false, true);
    key(VK_INSERT, false, true);
    key(VK_DELETE, true);
    SendMessage(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at("pass", 2));
    SendMessage(m_hwnd, WM_MOUSEMOVE, MK_LBUTTON, at("pass", -2));
    SendMessage(m_hwnd, WM_LBUTTONUP, 0, at("pass", -2));
    SendMessage(m_hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, at("pass", 10));
    EXPECT_EQ(clipboard(), "kept");
    EXPECT_EQ(clipboard(platform::Clipboard::Primary), std::nullopt);
    EXPECT_EQ(box("pass")->GetText(), "secret") << "a cut that cannot copy removes nothing";
    // Pasting into it works.
    key('A', false, true);
    key('V', false, true);
    EXPECT_EQ(box("pass")->GetText(), "kept");
}

TEST_F(EditBoxTest, TheMouseSelectsByDragDoubleClickAndShiftClickAndTheMiddleButtonPastesThePrimarySelection)
{
    focus("user", "abc def");
    // A drag from before the first character to past the last selects it all, and offers
    // it as the primary selection on the release.
    SendMessage(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at("user", 1));
    EXPECT_EQ(GetCapture(), m_hwnd) << "the drag goes on outside the box";
    SendMessage(m_hwnd, WM_MOUSEMOVE, MK_LBUTTON, at("user", xAfter("user", 3)));
    EXPECT_EQ(selection("user"), (std::pair<size_t, size_t>{0, 3}));
    EXPECT_EQ(clipboard(platform::Clipboard::Primary), std::nullopt) << "offered on the release only";
    SendMessage(m_hwnd, WM_LBUTTONUP, 0, MAKELPARAM(280, 30));
    EXPECT_EQ(selection("user"), (std::pair<size_t, size_t>{0, 7}));
    EXPECT_EQ(clipboard(platform::Clipboard::Primary), "abc def");
    EXPECT_EQ(GetCapture(), nullptr);

    // A double click on "def" selects the word.
    SendMessage(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at("user", xAfter("user", 5)));
    SendMessage(m_hwnd, WM_LBUTTONUP, 0, at("user", xAfter("user", 5)));
    SendMessage(m_hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, at("user", xAfter("user", 5)));
    SendMessage(m_hwnd, WM_LBUTTONUP, 0, at("user", xAfter("user", 5)));
    EXPECT_EQ(dulib::edit::SelectedText(*box("user")), "def");
    EXPECT_EQ(clipboard(platform::Clipboard::Primary), "def");

    // Shift+click extends from the caret's anchor.
    SendMessage(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at("user", xAfter("user", 1)));
    SendMessage(m_hwnd, WM_LBUTTONUP, 0, at("user", xAfter("user", 1)));
    SendMessage(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON | 0x0004, at("user", xAfter("user", 6)));
    SendMessage(m_hwnd, WM_LBUTTONUP, 0x0004, at("user", xAfter("user", 6)));
    EXPECT_EQ(selection("user"), (std::pair<size_t, size_t>{1, 6}));

    // The middle button pastes the primary selection where it points, in another box too.
    platform::HeadlessSetClipboardText(platform::Clipboard::Primary, "中");
    box("other")->SetText("xy");
    SendMessage(m_hwnd, WM_MBUTTONDOWN, 0x0010, at("other", xAfter("other", 1)));
    EXPECT_EQ(GetFocusPlugin(m_hwnd), box("other"));
    EXPECT_EQ(box("other")->GetText(), "x" + kZhong + "y");
    EXPECT_EQ(clipboard(), std::nullopt) << "the clipboard itself is left alone";
}

TEST_F(EditBoxTest, TheContextMenuOffersWhatAppliesAndDoesIt)
{
    using Items = std::vector<bool>; // cut, copy, paste, delete, select all
    struct Case {
        const char* what;
        const char* name;
        std::string text;
        bool selectAll;
        Items enabled;
    };
    const Case cases[] = {
        {"an empty box", "user", "", false, {false, false, true, false, false}},
        {"text without a selection", "user", "abc", false, {false, false, true, false, true}},
        {"a selection", "user", "abc", true, {true, true, true, true, true}},
        {"a password box's selection", "pass", "abc", true, {false, false, true, true, true}},
    };
    const std::vector<std::string> labels = {"剪切", "复制", "粘贴", "删除", "全选"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        focus(c.name, c.text);
        if (c.selectAll) key('A', false, true);
        platform::HeadlessSetMenuChoice(0);
        SendMessage(m_hwnd, WM_RBUTTONDOWN, 0x0002, at(c.name, 2));
        EXPECT_EQ(selection(c.name).second - selection(c.name).first, c.selectAll ? c.text.size() : 0)
            << "a right click inside the selection keeps it";
        std::vector<platform::MenuItem> menu = platform::HeadlessLastMenu();
        ASSERT_EQ(menu.size(), labels.size());
        for (size_t i = 0; i < menu.size(); ++i) {
            EXPECT_EQ(CCodeLib::AnsiToUtf8(menu[i].text), labels[i]);
            EXPECT_EQ(menu[i].enabled, c.enabled[i]) << labels[i];
        }
        SetFocusPlugin(m_hwnd, nullptr);
    }

    // Cut, then a greyed-out Copy (nothing selected any more) does nothing, then paste.
    platform::HeadlessSetClipboardText(platform::Clipboard::Standard, std::nullopt);
    focus("user", "abc");
    key('A', false, true);
    platform::HeadlessSetMenuChoice(1);
    SendMessage(m_hwnd, WM_RBUTTONDOWN, 0x0002, at("user", 2));
    EXPECT_EQ(box("user")->GetText(), "");
    EXPECT_EQ(clipboard(), "abc");
    platform::HeadlessSetClipboardText(platform::Clipboard::Standard, "zz");
    platform::HeadlessSetMenuChoice(2);
    SendMessage(m_hwnd, WM_RBUTTONDOWN, 0x0002, at("user", 2));
    EXPECT_EQ(clipboard(), "zz");
    platform::HeadlessSetMenuChoice(3);
    SendMessage(m_hwnd, WM_RBUTTONDOWN, 0x0002, at("user", 2));
    EXPECT_EQ(box("user")->GetText(), "zz");
    // A right click elsewhere is the window's.
    size_t menus = received(WM_RBUTTONDOWN).size();
    SendMessage(m_hwnd, WM_RBUTTONDOWN, 0x0002, MAKELPARAM(250, 180));
    EXPECT_EQ(received(WM_RBUTTONDOWN).size(), menus + 1);
}

TEST_F(EditBoxTest, ACompositionIsShownAtTheCaretButIsNoTextUntilCommitted)
{
    focus("user", "a");
    const auto plain = pixels();
    const int caretBefore = platform::HeadlessIme(m_hwnd).caret.left;

    platform::HeadlessImeCompose(m_hwnd, "ni'hao", 6);
    platform::AdvanceClock(0); // dispatches what the input method posted
    EXPECT_EQ(box("user")->GetText(), "a") << "the composition is not text";
    EXPECT_EQ(box("user")->edit().composition, "ni'hao");
    const auto composing = pixels();
    EXPECT_NE(composing, plain);
    EXPECT_GT(platform::HeadlessIme(m_hwnd).caret.left, caretBefore) << "the candidate window follows the composition's cursor";

    // The length limit holds for what is committed.
    platform::HeadlessImeCommit(m_hwnd, "你好世界");
    platform::AdvanceClock(0); // dispatches what the input method posted
    EXPECT_EQ(box("user")->edit().composition, "");
    EXPECT_EQ(box("user")->GetText(), "a" + CCodeLib::Utf8ToAnsi("你好世") ) << "8 GBK bytes at most";

    // Committed text looks like typed text: no composition left on screen.
    const auto committed = pixels();
    const std::string text = box("user")->GetText();
    box("user")->SetText(text.c_str());
    EXPECT_EQ(pixels(), committed);

    // A composition ends with the focus; one for no edit box is ignored.
    platform::HeadlessImeCompose(m_hwnd, "zhong", 5);
    platform::AdvanceClock(0); // dispatches what the input method posted
    SetFocusPlugin(m_hwnd, box("btn"));
    EXPECT_EQ(box("user")->edit().composition, "");
    platform::HeadlessImeCompose(m_hwnd, "wen", 3);
    platform::AdvanceClock(0); // dispatches what the input method posted
    EXPECT_EQ(box("user")->edit().composition, "");
}

TEST_F(EditBoxTest, TheInputMethodIsToldWhatTheFocusedBoxTakes)
{
    struct Case {
        const char* focus;
        ImeMode mode;
    };
    const Case cases[] = {
        {"user", ImeMode::Text},
        {"pass", ImeMode::Password},
        {"btn", ImeMode::Off},
        {"other", ImeMode::Text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focus);
        SetFocusPlugin(m_hwnd, box(c.focus));
        EXPECT_EQ(platform::HeadlessIme(m_hwnd).mode, c.mode);
    }
    // The caret's rectangle lies in the focused box and moves with typing.
    focus("user", "");
    RECT before = platform::HeadlessIme(m_hwnd).caret;
    const RECT& r = box("user")->rect();
    EXPECT_GE(before.left, r.left);
    EXPECT_GE(before.top, r.top);
    EXPECT_LE(before.bottom, r.bottom);
    SendMessage(m_hwnd, WM_CHAR, 'w', 1);
    pixels(); // the caret is told when the box is drawn
    EXPECT_GT(platform::HeadlessIme(m_hwnd).caret.left, before.left);
    // Hiding the focused box leaves nothing for the input method.
    box("user")->Show(0);
    EXPECT_EQ(platform::HeadlessIme(m_hwnd).mode, ImeMode::Off);
}

// A host whose clipboard answers only when the test says, as another program's does.
class LateClipboardHost final : public dulib::ViewHost {
public:
    LRESULT RaiseEvent(dulib::Element*, PluginEvent*) override { return 0; }
    void Invalidate() override {}
    void PaintNow() override {}
    void PlaceWindow(HWND, const RECT&) override {}
    void ShowHostedWindow(HWND, bool) override {}
    bool WindowAlive(HWND) override { return false; }
    void OpenLink(const std::string&) override {}
    void BeginMove() override {}
    void RequestClipboardText(bool, std::function<void(std::optional<std::string>)> done) override
    {
        pending.push_back(std::move(done));
    }
    void answerAll(const std::string& gbk)
    {
        auto answers = std::move(pending);
        for (auto& done : answers) done(gbk);
    }
    std::vector<std::function<void(std::optional<std::string>)>> pending;
};

TEST_F(EditBoxTest, APasteThatArrivesLateGoesNowhereOnceTheBoxLostTheFocusOrTheViewWent)
{
    auto* skin = static_cast<dulib::Skin*>(m_skin);
    LateClipboardHost host;
    {
        dulib::View view(*skin, *skin->FindLayout("test"), &host);
        dulib::Element* user = view.Find("user");
        view.SetFocus(user);
        view.KeyDown('V', dulib::kModControl);
        ASSERT_EQ(host.pending.size(), 1u);
        host.answerAll("late");
        EXPECT_EQ(user->text(), "late") << "an answer while the box has the focus is pasted";

        view.KeyDown('V', dulib::kModControl);
        view.SetFocus(view.Find("other"));
        host.answerAll("lost");
        EXPECT_EQ(user->text(), "late");
        EXPECT_EQ(view.Find("other")->text(), "") << "the paste was the first box's";

        view.KeyDown('V', dulib::kModControl);
    }
    host.answerAll("gone"); // the view is gone: nothing to touch, no crash
    EXPECT_TRUE(host.pending.empty());
}

} // namespace
