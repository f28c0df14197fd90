// The GTK back end's accessible objects, read in-process through ATK as the AT-SPI
// bridge reads them: a window's face shows its AccessibleSource's nodes with roles, names,
// states, text and rectangles; a change of the source is told as the signals a screen
// reader follows; actions reach the source only after the call returned; a notification
// is announced when it appears.
#include "GtkTestSupport.h"

#include "platform/window/Accessible.h"
#include "platform/window/GtkHost.h" // the face widget: this tests the GTK back end itself

#include <atk/atk.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace {

using platform::AccessibleFace;
using platform::AccessibleNode;
using platform::AccessibleRole;

// Keys are only compared: any distinct addresses do.
const char kButton = 0, kEntry = 0, kLabel = 0, kCheck = 0, kLate = 0;

AccessibleNode makeNode(const void* key, AccessibleRole role, const char* name, RECT rect)
{
    AccessibleNode n;
    n.key = key;
    n.role = role;
    n.name = name;
    n.rect = rect;
    n.focusable = role != AccessibleRole::Label;
    n.clickable = role == AccessibleRole::PushButton || role == AccessibleRole::CheckBox;
    return n;
}

class FakeSource final : public platform::AccessibleSource {
public:
    AccessibleFace DescribeFace() override
    {
        ++reads;
        return face;
    }
    bool Click(const void* key) override
    {
        clicked.push_back(key);
        return true;
    }
    bool Focus(const void* key) override
    {
        focused.push_back(key);
        return true;
    }

    AccessibleFace face;
    int reads = 0;
    std::vector<const void*> clicked;
    std::vector<const void*> focused;
};

// What the objects' signals told; kept by the fixture, since the window's removal in
// TearDown still signals.
struct Heard {
    std::vector<std::string> lines;
};

class AccessibleGtkTest : public testsupport::GtkWindowTest {
protected:
    void SetUp() override
    {
        testsupport::GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        m_source.face.nodes = {
            makeNode(&kButton, AccessibleRole::PushButton, "关闭", RECT{10, 5, 40, 25}),
            makeNode(&kEntry, AccessibleRole::Entry, "用户名", RECT{10, 40, 200, 70}),
            makeNode(&kLabel, AccessibleRole::Label, "你好", RECT{10, 80, 100, 100}),
        };
        m_source.face.nodes[1].text = "张三";
        m_source.face.nodes[1].caret = 1;
        m_source.face.nodes[2].text = "你好";
        m_hwnd = CreateWindowEx(0, "", WS_POPUP, 100, 120, 300, 200, nullptr, 0, nullptr);
        platform::SetAccessibleSource(m_hwnd, &m_source);
        ShowWindow(m_hwnd, SW_SHOW);
        pumpFor(200);
        m_face = gtk_widget_get_accessible(platform::detail::GtkFaceWidget(m_hwnd));
    }
    void TearDown() override
    {
        if (m_hwnd) {
            platform::RemoveAccessibleSource(m_hwnd, &m_source);
            DestroyWindow(m_hwnd);
        }
        testsupport::GtkWindowTest::TearDown();
    }

    AtkObject* child(int i)
    {
        AtkObject* c = atk_object_ref_accessible_child(m_face, i);
        if (c)
            g_object_unref(c); // the face keeps it
        return c;
    }
    // Tells the back end of the source's change and lets its idle run.
    void changed()
    {
        platform::AccessibleChanged(m_hwnd);
        pumpFor(100);
    }
    static bool hasState(AtkObject* obj, AtkStateType state)
    {
        AtkStateSet* set = atk_object_ref_state_set(obj);
        const bool has = atk_state_set_contains_state(set, state);
        g_object_unref(set);
        return has;
    }
    static std::string text(AtkObject* obj)
    {
        gchar* t = atk_text_get_text(ATK_TEXT(obj), 0, -1);
        std::string s = t ? t : "";
        g_free(t);
        return s;
    }

    Heard m_heard;
    FakeSource m_source;
    HWND m_hwnd = nullptr;
    AtkObject* m_face = nullptr;
};

TEST_F(AccessibleGtkTest, FaceShowsTheSourcesNodes)
{
    ASSERT_TRUE(m_face);
    EXPECT_EQ(ATK_ROLE_PANEL, atk_object_get_role(m_face));
    ASSERT_EQ(3, atk_object_get_n_accessible_children(m_face));
    struct Expected {
        AtkRole role;
        const char* name;
        int actions;
    } expected[] = {{ATK_ROLE_PUSH_BUTTON, "关闭", 1}, {ATK_ROLE_ENTRY, "用户名", 0}, {ATK_ROLE_LABEL, "你好", 0}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        AtkObject* c = child(i);
        EXPECT_EQ(expected[i].role, atk_object_get_role(c));
        EXPECT_STREQ(expected[i].name, atk_object_get_name(c));
        EXPECT_EQ(m_face, atk_object_get_parent(c));
        EXPECT_EQ(i, atk_object_get_index_in_parent(c));
        EXPECT_EQ(expected[i].actions, atk_action_get_n_actions(ATK_ACTION(c)));
        EXPECT_TRUE(hasState(c, ATK_STATE_SHOWING));
        EXPECT_TRUE(hasState(c, ATK_STATE_ENABLED));
    }
    EXPECT_STREQ("click", atk_action_get_name(ATK_ACTION(child(0)), 0));
    EXPECT_FALSE(ATK_IS_TEXT(child(0)));
    EXPECT_EQ("张三", text(child(1)));
    EXPECT_EQ(1, atk_text_get_caret_offset(ATK_TEXT(child(1))));
    EXPECT_EQ(2, atk_text_get_character_count(ATK_TEXT(child(1))));
    EXPECT_EQ(gunichar(0x4E09), atk_text_get_character_at_offset(ATK_TEXT(child(1)), 1)); // 三
    EXPECT_TRUE(hasState(child(1), ATK_STATE_EDITABLE));
    EXPECT_FALSE(hasState(child(2), ATK_STATE_FOCUSABLE));

    gint x = 0, y = 0, w = 0, h = 0;
    atk_component_get_extents(ATK_COMPONENT(child(1)), &x, &y, &w, &h, ATK_XY_WINDOW);
    EXPECT_EQ(10, x);
    EXPECT_EQ(40, y);
    EXPECT_EQ(190, w);
    EXPECT_EQ(30, h);
    RECT window;
    ASSERT_TRUE(GetWindowRect(m_hwnd, &window));
    atk_component_get_extents(ATK_COMPONENT(child(1)), &x, &y, &w, &h, ATK_XY_SCREEN);
    EXPECT_EQ(window.left + 10, x);
    EXPECT_EQ(window.top + 40, y);
}

// Removals are told last first, then additions at their new places; kept nodes keep
// their objects and tell what changed about them.
TEST_F(AccessibleGtkTest, ChangesAreToldAsTheSignalsAReaderFollows)
{
    ASSERT_EQ(3, atk_object_get_n_accessible_children(m_face));
    AtkObject* button = child(0);
    AtkObject* entry = child(1);
    AtkObject* label = child(2);
    g_object_ref(button);
    Heard& heard = m_heard;
    g_signal_connect(m_face, "children-changed::remove", G_CALLBACK(+[](AtkObject*, guint i, gpointer c, gpointer d) {
        static_cast<Heard*>(d)->lines.push_back("remove " + std::to_string(i) + " " + atk_object_get_name(ATK_OBJECT(c)));
    }), &heard);
    g_signal_connect(m_face, "children-changed::add", G_CALLBACK(+[](AtkObject*, guint i, gpointer c, gpointer d) {
        static_cast<Heard*>(d)->lines.push_back("add " + std::to_string(i) + " " + atk_object_get_name(ATK_OBJECT(c)));
    }), &heard);
    g_signal_connect(entry, "text-remove", G_CALLBACK(+[](AtkText*, gint at, gint n, gchar* t, gpointer d) {
        static_cast<Heard*>(d)->lines.push_back("remove text " + std::to_string(at) + " " + std::to_string(n) + " " + t);
    }), &heard);
    g_signal_connect(entry, "text-insert", G_CALLBACK(+[](AtkText*, gint at, gint n, gchar* t, gpointer d) {
        static_cast<Heard*>(d)->lines.push_back("insert text " + std::to_string(at) + " " + std::to_string(n) + " " + t);
    }), &heard);
    g_signal_connect(entry, "text-caret-moved", G_CALLBACK(+[](AtkText*, gint at, gpointer d) {
        static_cast<Heard*>(d)->lines.push_back("caret " + std::to_string(at));
    }), &heard);
    g_signal_connect(label, "property-change::accessible-name", G_CALLBACK(+[](AtkObject* o, gpointer, gpointer d) {
        static_cast<Heard*>(d)->lines.push_back(std::string("name ") + atk_object_get_name(o));
    }), &heard);

    m_source.face.nodes.erase(m_source.face.nodes.begin()); // the button hidden
    m_source.face.nodes[0].text = "张小三";
    m_source.face.nodes[0].caret = 2;
    m_source.face.nodes[1].name = "再见";
    m_source.face.nodes[1].text = "再见";
    m_source.face.nodes.push_back(makeNode(&kLate, AccessibleRole::PushButton, "登 录", RECT{10, 110, 100, 140}));
    changed();
    EXPECT_EQ((std::vector<std::string>{"remove 0 关闭", "insert text 1 1 小", "caret 2", "name 再见", "add 2 登 录"}),
              heard.lines);
    EXPECT_EQ(entry, child(0));
    EXPECT_EQ(label, child(1));
    EXPECT_TRUE(hasState(button, ATK_STATE_DEFUNCT));
    g_object_unref(button);

    // Several changes before the idle: read once, told once.
    heard.lines.clear();
    const int reads = m_source.reads;
    m_source.face.nodes[0].text = "张";
    platform::AccessibleChanged(m_hwnd);
    m_source.face.nodes[0].caret = 1;
    platform::AccessibleChanged(m_hwnd);
    pumpFor(100);
    EXPECT_EQ(reads + 1, m_source.reads);
    EXPECT_EQ((std::vector<std::string>{"remove text 1 2 小三", "caret 1"}), heard.lines);
}

TEST_F(AccessibleGtkTest, StatesFollowCheckEnableAndFocus)
{
    m_source.face.nodes.push_back(makeNode(&kCheck, AccessibleRole::CheckBox, "记住我", RECT{10, 110, 100, 130}));
    changed();
    AtkObject* check = child(3);
    ASSERT_TRUE(check);
    std::vector<std::string>& states = m_heard.lines;
    g_signal_connect(check, "state-change", G_CALLBACK(+[](AtkObject*, gchar* name, gboolean on, gpointer d) {
        static_cast<std::vector<std::string>*>(d)->push_back(std::string(name) + (on ? "+" : "-"));
    }), &states);
    EXPECT_TRUE(hasState(check, ATK_STATE_CHECKABLE));
    EXPECT_FALSE(hasState(check, ATK_STATE_CHECKED));
    m_source.face.nodes[3].checked = true;
    m_source.face.nodes[3].enabled = false;
    changed();
    EXPECT_EQ((std::vector<std::string>{"checked+", "sensitive-", "enabled-"}), states);
    EXPECT_TRUE(hasState(check, ATK_STATE_CHECKED));
    EXPECT_FALSE(hasState(check, ATK_STATE_ENABLED));

    // The focus: given by the reader through the source, reported on the node it reached.
    AtkObject* entry = child(1);
    ASSERT_TRUE(atk_component_grab_focus(ATK_COMPONENT(entry)));
    EXPECT_EQ(std::vector<const void*>{&kEntry}, m_source.focused);
    m_source.face.nodes[1].focused = true;
    changed();
    EXPECT_TRUE(pumpUntil([&] { return hasState(entry, ATK_STATE_FOCUSED); }, 3000));
    EXPECT_FALSE(hasState(child(0), ATK_STATE_FOCUSED));
}

// The action returns at once; the click reaches the source from the loop, after the
// reader's call, where it may open a modal loop or close the window.
TEST_F(AccessibleGtkTest, ClickReachesTheSourceAfterTheCall)
{
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(child(1)), 0)); // an entry has no click
    ASSERT_TRUE(atk_action_do_action(ATK_ACTION(child(0)), 0));
    EXPECT_TRUE(m_source.clicked.empty());
    pumpFor(100);
    EXPECT_EQ(std::vector<const void*>{&kButton}, m_source.clicked);

    // A window that goes before its click runs takes the click with it.
    ASSERT_TRUE(atk_action_do_action(ATK_ACTION(child(0)), 0));
    platform::RemoveAccessibleSource(m_hwnd, &m_source);
    pumpFor(100);
    EXPECT_EQ(1u, m_source.clicked.size());
    EXPECT_EQ(0, atk_object_get_n_accessible_children(m_face));
    EXPECT_EQ(ATK_ROLE_DRAWING_AREA, atk_object_get_role(m_face));
}

TEST_F(AccessibleGtkTest, NotificationIsAnnouncedWhenShown)
{
    ShowWindow(m_hwnd, SW_HIDE);
    pumpFor(100);
    m_source.face.role = AccessibleRole::Notification;
    m_source.face.name = "提示";
    m_source.face.description = "欢迎回来";
    changed();
    EXPECT_EQ(ATK_ROLE_NOTIFICATION, atk_object_get_role(m_face));
    EXPECT_STREQ("欢迎回来", atk_object_get_description(m_face));
    std::vector<std::string>& said = m_heard.lines;
    if (!g_signal_lookup("announcement", ATK_TYPE_OBJECT))
        GTEST_SKIP() << "this ATK has no announcement signal";
    g_signal_connect(m_face, "announcement", G_CALLBACK(+[](AtkObject*, gchar* text, gpointer d) {
        static_cast<std::vector<std::string>*>(d)->push_back(text);
    }), &said);
    ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
    pumpFor(200);
    EXPECT_EQ(std::vector<std::string>{"欢迎回来"}, said);
    // A new message while shown is announced too; the same one is not repeated.
    m_source.face.description = "新消息";
    changed();
    changed();
    EXPECT_EQ((std::vector<std::string>{"欢迎回来", "新消息"}), said);
}

} // namespace
