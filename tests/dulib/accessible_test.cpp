// What a screen reader is told about a face, without a display: which elements are
// there, their roles, names and states, how they follow the face's changes, and the click
// a screen reader asks for raising exactly what a mouse click raises.
#include "dulib/Accessible.h"
#include "dulib/Skin.h"
#include "dulib/View.h"

#include "platform/CodeLib.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using dulib::Element;
using platform::AccessibleNode;
using platform::AccessibleRole;

const char* const kDescription = R"(<skin>
  <paint name="digit7" label="7"/>
  <style name="num7" items="digit7"/>
  <layout name="face" width="300" height="240">
    <caption name="cap" left="0" top="0" right="30" height="20" text="标题"/>
    <caption name="drag" left="0" top="20" right="30" height="6"/>
    <button name="close" right="0" top="0" width="20" height="20" glyph="@close" accname="关闭"/>
    <button name="tile" left="0" top="30" width="50" height="50" glyph="考" text="考点精讲"/>
    <button name="letter" left="60" top="30" width="20" height="20" glyph="Q"/>
    <button name="bare" left="90" top="30" width="20" height="20" glyph="@gear"/>
    <toggle name="max" left="120" top="30" width="20" height="20" glyph="@max" accname="最大化" checked="1"/>
    <dropbutton name="settings" left="150" top="30" width="20" height="20" glyph="@gear" accname="设置"/>
    <colorimage name="swatch" left="180" top="30" width="20" height="20" text="海洋蓝"/>
    <check name="remember" left="0" top="90" width="80" height="20" text="记住我"/>
    <link name="site" left="90" top="90" width="80" height="20" text="官网" link="http://example.test/"/>
    <linkicon name="social" left="180" top="90" width="20" height="20" glyph="微" accname="微博账号登录"/>
    <edit name="user" left="0" top="120" width="100" height="20" glyph="用户名"/>
    <password name="pass" left="110" top="120" width="100" height="20" glyph="密码"/>
    <text name="hello" left="0" top="150" width="60" height="20" text="你好"/>
    <text name="empty" left="70" top="150" width="60" height="20"/>
    <panel name="digit" left="140" top="150" width="20" height="20" style="num7"/>
    <panel name="plain" left="170" top="150" width="20" height="20" glyph="法"/>
    <image name="avatar" left="0" top="180" width="20" height="20" accname="会员头像"/>
    <image name="deco" left="30" top="180" width="20" height="20"/>
    <host name="page" left="60" top="180" width="20" height="20" text="正在打开页面…"/>
    <panel name="hidden" left="90" top="180" width="40" height="20" visible="0">
      <button name="inside" left="0" top="0" width="40" height="20" text="看不见"/>
    </panel>
    <button name="flat" left="140" top="180" width="0" height="20" text="无宽"/>
    <button name="masked" left="0" top="210" width="40" height="20" text="遮住"/>
    <button name="half" left="50" top="210" width="40" height="20" text="半遮"/>
    <panel name="mask" left="0" top="205" width="70" height="30"/>
  </layout>
  <layout name="notice" width="200" height="100" accrole="notification" accname="提示">
    <text name="message" left="0" top="0" right="0" height="60" wrap="1" text="第一行"/>
    <link name="more" left="0" top="0" right="0" height="60" wrap="1" visible="0" text="看详情"/>
    <text name="footer" left="0" top="70" right="0" height="20" text="落款"/>
  </layout>
</skin>)";

std::string gbk(const char* utf8) { return CCodeLib::Utf8ToAnsi(utf8); }

struct Raised {
    std::string element;
    int code;
    int param;
    bool operator==(const Raised&) const = default;
};

void PrintTo(const Raised& r, std::ostream* os) { *os << r.element << " " << r.code << "/" << r.param; }

class RecordingHost : public dulib::ViewHost {
public:
    LRESULT RaiseEvent(Element* element, PluginEvent* event) override
    {
        raised.push_back({element->name(), event->code, event->param1});
        return 0;
    }
    void Invalidate() override {}
    void PaintNow() override {}
    void PlaceWindow(HWND, const RECT&) override {}
    void ShowHostedWindow(HWND, bool) override {}
    bool WindowAlive(HWND) override { return true; }
    void OpenLink(const std::string& address) override { opened.push_back(address); }
    void BeginMove() override { ++moves; }

    std::vector<Raised> raised;
    std::vector<std::string> opened;
    int moves = 0;
};

class AccessibleFace : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        auto data = dulib::ParseSkinData(kDescription, "", &error);
        ASSERT_TRUE(data) << error;
        m_skin = std::make_unique<dulib::Skin>(std::move(data), "");
        m_view = std::make_unique<dulib::View>(*m_skin, *m_skin->FindLayout("face"), &m_host);
    }

    Element& element(const char* name) { return *m_view->Find(name); }
    // The node of the named element, or null when the face shows none for it.
    const AccessibleNode* node(const platform::AccessibleFace& face, const char* name)
    {
        for (const AccessibleNode& n : face.nodes) {
            if (n.key == &element(name))
                return &n;
        }
        return nullptr;
    }

    RecordingHost m_host;
    std::unique_ptr<dulib::Skin> m_skin;
    std::unique_ptr<dulib::View> m_view;
};

struct Row {
    std::string element;
    AccessibleRole role;
    std::string name;
    bool focusable;
    bool clickable;
    bool checked;
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& r, std::ostream* os)
{
    *os << r.element << " role " << static_cast<int>(r.role) << " \"" << r.name << "\"" << (r.focusable ? " focusable" : "")
        << (r.clickable ? " clickable" : "") << (r.checked ? " checked" : "");
}

// Which elements are there, in reading order, and what each is called: the accname for
// pictures, the text, a glyph that is text, an edit box's hint, a digit panel's label.
// Hidden, sizeless, hosting, empty and picture-only elements without a name are left out.
TEST_F(AccessibleFace, DescribesWhatAMemberReadsOrActsOn)
{
    const platform::AccessibleFace face = dulib::DescribeView(*m_view);
    std::vector<Row> rows;
    for (const AccessibleNode& n : face.nodes) {
        rows.push_back({static_cast<const Element*>(n.key)->name(), n.role, n.name, n.focusable, n.clickable,
                        n.checked});
    }
    const std::vector<Row> expected = {
        {"cap", AccessibleRole::Label, "标题", false, false, false},
        {"close", AccessibleRole::PushButton, "关闭", true, true, false},
        {"tile", AccessibleRole::PushButton, "考点精讲", true, true, false},
        {"letter", AccessibleRole::PushButton, "Q", true, true, false},
        {"bare", AccessibleRole::PushButton, "", true, true, false},
        {"max", AccessibleRole::ToggleButton, "最大化", true, true, true},
        {"settings", AccessibleRole::PushButton, "设置", true, true, false},
        {"swatch", AccessibleRole::PushButton, "海洋蓝", true, true, false},
        {"remember", AccessibleRole::CheckBox, "记住我", true, true, false},
        {"site", AccessibleRole::Link, "官网", true, true, false},
        {"social", AccessibleRole::PushButton, "微博账号登录", true, true, false},
        {"user", AccessibleRole::Entry, "用户名", true, false, false},
        {"pass", AccessibleRole::PasswordText, "密码", true, false, false},
        {"hello", AccessibleRole::Label, "你好", false, false, false},
        {"digit", AccessibleRole::Label, "7", false, false, false},
        {"avatar", AccessibleRole::Image, "会员头像", false, false, false},
        {"masked", AccessibleRole::PushButton, "遮住", true, true, false},
        {"half", AccessibleRole::PushButton, "半遮", true, true, false},
    };
    EXPECT_EQ(expected, rows);
    EXPECT_EQ(AccessibleRole::Panel, face.role);
    EXPECT_EQ("", face.description);
    // Where the element is drawn, in the window's client coordinates.
    const AccessibleNode* tile = node(face, "tile");
    ASSERT_TRUE(tile);
    EXPECT_EQ(0, tile->rect.left);
    EXPECT_EQ(30, tile->rect.top);
    EXPECT_EQ(50, tile->rect.right);
    EXPECT_EQ(80, tile->rect.bottom);
}

// Edit boxes: their text and caret in characters (GBK has one and two-byte characters);
// the password box shows one mask character per character and nothing of the text.
TEST_F(AccessibleFace, EditBoxesTellTextAndCaretThePasswordBoxOnlyItsLength)
{
    element("user").SetText(gbk("张a三").c_str());
    element("user").MoveCaret(-1);
    element("pass").SetText(gbk("学习2013").c_str());
    element("pass").MoveCaret(-1);
    const platform::AccessibleFace face = dulib::DescribeView(*m_view);
    EXPECT_EQ("张a三", node(face, "user")->text);
    EXPECT_EQ(2, node(face, "user")->caret);
    EXPECT_EQ("\u25CF\u25CF\u25CF\u25CF\u25CF\u25CF", node(face, "pass")->text);
    EXPECT_EQ(5, node(face, "pass")->caret);
    EXPECT_EQ(-1, node(face, "hello")->caret);
}

// The description follows text, visibility, enabling, checks and the View's focus.
TEST_F(AccessibleFace, FollowsTheFacesChanges)
{
    element("hello").SetText(gbk("再见").c_str());
    element("empty").SetText(gbk("新的").c_str());
    element("tile").Show(0);
    element("hidden").Show(1);
    element("close").SetState(0);
    element("remember").SetCheck(1);
    element("user").SetFocus(1);
    platform::AccessibleFace face = dulib::DescribeView(*m_view);
    EXPECT_EQ("再见", node(face, "hello")->name);
    EXPECT_EQ("新的", node(face, "empty")->text);
    EXPECT_EQ(nullptr, node(face, "tile"));
    ASSERT_TRUE(node(face, "inside"));
    EXPECT_EQ("看不见", node(face, "inside")->name);
    EXPECT_FALSE(node(face, "close")->enabled);
    EXPECT_TRUE(node(face, "remember")->checked);
    for (const AccessibleNode& n : face.nodes)
        EXPECT_EQ(n.key == &element("user"), n.focused) << static_cast<const Element*>(n.key)->name();

    m_view->SetFocus(&element("tile")); // hidden: no node holds the focus then
    element("user").SetFocus(0);
    face = dulib::DescribeView(*m_view);
    for (const AccessibleNode& n : face.nodes)
        EXPECT_FALSE(n.focused) << static_cast<const Element*>(n.key)->name();
}

struct ClickCase {
    const char* element;
    bool done;
    std::vector<Raised> raised;
    std::vector<std::string> opened;
};

// A screen reader's click raises what the mouse's raises: a click, the new state of a
// toggle or check box, a link's click and address, the press of a drop-down or link icon,
// a colour image's choice. Nothing for elements without a click, disabled or covered ones;
// a partly covered button is clicked where it shows.
TEST_F(AccessibleFace, ClickRaisesWhatTheMouseRaises)
{
    const ClickCase cases[] = {
        {"close", true, {{"close", PE_CLICK, 0}}, {}},
        {"max", true, {{"max", PE_TOGGLE, 0}}, {}},
        {"remember", true, {{"remember", PE_TOGGLE, 1}}, {}},
        {"site", true, {{"site", PE_CLICK, 0}}, {"http://example.test/"}},
        {"settings", true, {{"settings", PE_ACTIVATE, 0}}, {}},
        {"social", true, {{"social", PE_ACTIVATE, 0}}, {}},
        {"swatch", true, {{"swatch", PE_SELECT, 0}}, {}},
        {"half", true, {{"half", PE_CLICK, 0}}, {}},
        {"masked", false, {}, {}},
        {"user", false, {}, {}},
        {"hello", false, {}, {}},
        {"cap", false, {}, {}},
        {"inside", false, {}, {}},
    };
    for (const ClickCase& c : cases) {
        SCOPED_TRACE(c.element);
        m_host.raised.clear();
        m_host.opened.clear();
        EXPECT_EQ(c.done, dulib::ClickElement(*m_view, element(c.element)));
        EXPECT_EQ(c.raised, m_host.raised);
        EXPECT_EQ(c.opened, m_host.opened);
    }
    EXPECT_EQ(0, m_host.moves);
    element("close").SetState(0);
    m_host.raised.clear();
    EXPECT_FALSE(dulib::ClickElement(*m_view, element("close")));
    EXPECT_TRUE(m_host.raised.empty());
}

// Like the mouse's, the click takes the focus from the edit box.
TEST_F(AccessibleFace, ClickTakesTheFocusLikeTheMouse)
{
    m_view->SetFocus(&element("user"));
    ASSERT_TRUE(dulib::ClickElement(*m_view, element("tile")));
    EXPECT_EQ(nullptr, m_view->focus());
}

TEST_F(AccessibleFace, KeysOfGoneElementsFindNothing)
{
    int unrelated = 0;
    EXPECT_EQ(&element("tile"), dulib::ElementOfKey(*m_view, &element("tile")));
    EXPECT_EQ(nullptr, dulib::ElementOfKey(*m_view, &unrelated));
    EXPECT_EQ(nullptr, dulib::ElementOfKey(*m_view, nullptr));
}

// A notification layout: its name from the description, its message the shown multi-line
// text (the link instead once the link is shown), not the footer.
TEST_F(AccessibleFace, NotificationTellsItsShownMessage)
{
    dulib::View notice(*m_skin, *m_skin->FindLayout("notice"), &m_host);
    platform::AccessibleFace face = dulib::DescribeView(notice);
    EXPECT_EQ(AccessibleRole::Notification, face.role);
    EXPECT_EQ("提示", face.name);
    EXPECT_EQ("第一行", face.description);
    notice.Find("message")->Show(0);
    notice.Find("more")->Show(1);
    face = dulib::DescribeView(notice);
    EXPECT_EQ("看详情", face.description);
}

} // namespace
