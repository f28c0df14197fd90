// The shipped skin (skin/config.xml) against what the client relies on: every layout and
// element it names, the gestures behind its event rows, the tour's page order, the digit
// styles and the colour schemes, and the real main window laid out at several widths.
#include "client/ui/FunctionTiles.h"
#include "client/ui/MainFrame.h"
#include "dulib/Accessible.h"
#include "dulib/Navigation.h"
#include "dulib/Render.h"
#include "dulib/Skin.h"
#include "dulib/View.h"
#include "platform/window/WindowSystem.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

using dulib::Element;
using dulib::Kind;

class ShippedSkin : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_manager = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        s_skin = static_cast<dulib::Skin*>(s_manager);
    }
    static void TearDownTestSuite() { dulib::FreeSkin(s_manager); }

    std::unique_ptr<dulib::View> view(const std::string& layout)
    {
        const dulib::LayoutDesc* desc = s_skin->FindLayout(layout);
        if (!desc) return nullptr;
        return std::make_unique<dulib::View>(*s_skin, *desc, nullptr);
    }

    static SkinManager* s_manager;
    static dulib::Skin* s_skin;
};

SkinManager* ShippedSkin::s_manager = nullptr;
dulib::Skin* ShippedSkin::s_skin = nullptr;

// Layout -> element names the client looks up or has event rows for; the function tiles
// come on top of these, from the client's own table.
const std::map<std::string, std::vector<std::string>> kNames = {
    {"MainFrame_Window",
     {"MainFrame_Window", "window_mask", "window_guidance_parent", "window_guidance", "window_guidance1",
      "window_guidance2", "window_guidance3", "window_guidance4", "window_guidance5", "window_button_step1",
      "window_button_step21", "window_button_step31", "window_button_step41", "window_button_step51",
      "window_button_step22", "window_button_step32", "window_button_step42", "window_button_step52",
      "window_button_step6", "window_mid_part", "hwndobj_main_lobby_left", "window_hwndobj", "window_moren",
      "window_makeplan", "window_menu", "todayplan", "window_menu_buttom", "window_menu_guide", "top_button",
      "mid_button", "bottom_button", "window_sysmin", "window_sysmax", "window_sysclose", "window_syshelp",
      "window_sysset", "window_return", "window_vip", "window_ZC_returnbj", "window_MN_returnbj",
      "window_last", "vip_login", "nonlogin", "username", "userlevel", "userScore", "time_first", "time_mid", "time_last",
      "mainframe_advantage_hwndobj"}},
    {"window_landing",
     {"window_landing", "landing_edit_user", "landing_edit_password", "cho_remember_user", "cho_remember_pass",
      "cho_auto", "landing_landing", "landing_cancel", "landing_createuser", "landing_forget",
      "landing_advantage_obj", "landing_window_close", "landing_renren", "landing_weibo", "landing_qq"}},
    {"login_sysnew", {"login_sysnew", "window_login_success", "window_login_sysnew_link", "window_login_sysnew_close"}},
    {"window_about", {"window_about", "about_text_3", "about_text_4", "window_about_close", "window_about_enter"}},
    {"window_skinwin",
     {"window_skinwin", "window_color_close", "window_color_close_down", "window_color_image_blue",
      "window_color_image_Orange"}},
    {"window_message", {"window_message", "window_message_close", "window_message_hwndobj"}},
    {"window_Yhelp", {"window_Yhelp", "window_Yhelp_close", "window_Yhelp_hwndobj"}},
    {"window_listbox", {"window_listbox", "window_help_easy", "window_help_color", "window_help_about"}},
    {"window_updatemessage",
     {"window_updatemessage", "update_text", "window_updatemessage_close", "window_updatemessage_enter"}},
};

TEST_F(ShippedSkin, LoadsWithoutError)
{
    EXPECT_EQ(s_manager->GetError(), "");
}

TEST_F(ShippedSkin, EveryLayoutHasEveryElementTheClientNames)
{
    for (const auto& [layout, listed] : kNames) {
        auto v = view(layout);
        ASSERT_NE(v, nullptr) << layout;
        std::set<std::string> seen;
        for (const auto& name : listed) {
            EXPECT_NE(v->Find(name), nullptr) << layout << ": " << name;
            EXPECT_TRUE(seen.insert(name).second) << "listed twice: " << name;
        }
        if (layout == "MainFrame_Window") {
            for (const FunctionTile& tile : kFunctionTiles)
                EXPECT_NE(v->Find(tile.element), nullptr) << layout << ": " << tile.element;
        }
    }
}

TEST_F(ShippedSkin, ElementNamesAreUniqueWithinALayout)
{
    for (const auto& [name, layout] : s_skin->Data().layouts) {
        std::map<std::string, int> count;
        std::function<void(const dulib::ElementDesc&)> walk = [&](const dulib::ElementDesc& e) {
            ++count[e.name];
            for (const auto& c : e.children) walk(c);
        };
        walk(layout.root);
        for (const auto& [element, n] : count) EXPECT_EQ(n, 1) << name << ": " << element;
    }
}

int CodeOf(Kind kind)
{
    switch (kind) {
    case Kind::Button:
    case Kind::Link: return PE_CLICK;
    case Kind::Toggle:
    case Kind::Check: return PE_TOGGLE;
    case Kind::LinkIcon:
    case Kind::DropButton: return PE_ACTIVATE;
    case Kind::ColorImage: return PE_SELECT;
    default: return 0;
    }
}

TEST_F(ShippedSkin, ElementsRaiseTheCodesOfTheClientsEventRows)
{
    struct Row {
        const char* layout;
        std::vector<const char*> names;
        int code;
    };
    const Row rows[] = {
        {"MainFrame_Window",
         {"window_sysmin", "window_sysclose", "window_return", "window_vip", "window_ZC_returnbj",
          "window_MN_returnbj", "window_button_step1", "window_button_step21", "window_button_step31",
          "window_button_step41", "window_button_step51", "window_button_step22", "window_button_step32",
          "window_button_step42", "window_button_step52", "window_button_step6", "window_last", "window_syshelp"},
         PE_CLICK},
        {"MainFrame_Window", {"window_sysmax"}, PE_TOGGLE},
        {"MainFrame_Window", {"window_sysset"}, PE_ACTIVATE},
        {"window_landing", {"landing_window_close", "landing_landing", "landing_cancel"}, PE_CLICK},
        {"window_landing", {"cho_auto", "cho_remember_user", "cho_remember_pass"}, PE_TOGGLE},
        {"window_landing", {"landing_renren", "landing_weibo", "landing_qq"}, PE_ACTIVATE},
        {"login_sysnew", {"window_login_sysnew_close", "window_login_sysnew_link"}, PE_CLICK},
        {"window_about", {"window_about_close", "window_about_enter"}, PE_CLICK},
        {"window_skinwin", {"window_color_close", "window_color_close_down"}, PE_CLICK},
        {"window_skinwin", {"window_color_image_blue", "window_color_image_Orange"}, PE_SELECT},
        {"window_message", {"window_message_close"}, PE_CLICK},
        {"window_Yhelp", {"window_Yhelp_close"}, PE_CLICK},
        {"window_listbox", {"window_help_easy", "window_help_color", "window_help_about"}, PE_CLICK},
        {"window_updatemessage", {"window_updatemessage_close", "window_updatemessage_enter"}, PE_CLICK},
    };
    for (const auto& row : rows) {
        auto v = view(row.layout);
        for (const char* name : row.names) {
            Element* e = v->Find(name);
            ASSERT_NE(e, nullptr) << name;
            EXPECT_EQ(CodeOf(e->kind()), row.code) << row.layout << ": " << name;
        }
    }
    auto mainFace = view("MainFrame_Window");
    for (const FunctionTile& tile : kFunctionTiles) {
        Element* e = mainFace->Find(tile.element);
        ASSERT_NE(e, nullptr) << tile.element;
        EXPECT_EQ(CodeOf(e->kind()), tile.code) << "MainFrame_Window: " << tile.element;
    }
}

TEST_F(ShippedSkin, KindsTheClientDependsOn)
{
    const std::vector<std::tuple<const char*, const char*, Kind>> cases = {
        {"MainFrame_Window", "hwndobj_main_lobby_left", Kind::Host},
        {"MainFrame_Window", "mainframe_advantage_hwndobj", Kind::Host},
        {"window_landing", "landing_advantage_obj", Kind::Host},
        {"window_message", "window_message_hwndobj", Kind::Host},
        {"window_Yhelp", "window_Yhelp_hwndobj", Kind::Host},
        {"window_landing", "landing_forget", Kind::Link},
        {"window_landing", "landing_createuser", Kind::Link},
        {"window_landing", "landing_edit_user", Kind::Edit},
        {"window_landing", "landing_edit_password", Kind::Password},
    };
    for (const auto& [layout, name, kind] : cases) {
        auto v = view(layout);
        ASSERT_NE(v->Find(name), nullptr) << name;
        EXPECT_EQ(v->Find(name)->kind(), kind) << name;
    }
}

TEST_F(ShippedSkin, MainFaceStartsLoggedOutOnTheHomePanel)
{
    auto v = view("MainFrame_Window");
    auto shown = [&](const char* name) { return v->Find(name)->IsVisible() == 1; };
    EXPECT_TRUE(shown("nonlogin"));
    EXPECT_FALSE(shown("vip_login"));
    EXPECT_TRUE(shown("window_mid_part"));
    EXPECT_FALSE(shown("window_hwndobj"));
    EXPECT_TRUE(shown("window_moren"));
    EXPECT_FALSE(shown("window_menu"));
    EXPECT_FALSE(shown("window_guidance_parent"));
    EXPECT_TRUE(shown("window_guidance")) << "the first tour page shows when the tour is shown";
    EXPECT_EQ(v->Find("window_makeplan")->GetParent(), v->Find("window_moren"));
    EXPECT_EQ(v->Find("hwndobj_main_lobby_left")->GetParent(), v->Find("window_hwndobj"));
    EXPECT_EQ(v->Find("todayplan")->GetParent(), v->Find("window_menu"));
}

TEST_F(ShippedSkin, TourNextButtonsLeadToTheFollowingPage)
{
    auto v = view("MainFrame_Window");
    const std::vector<std::pair<const char*, const char*>> steps = {
        {"window_button_step1", "window_guidance1"}, {"window_button_step21", "window_guidance2"},
        {"window_button_step31", "window_guidance3"}, {"window_button_step41", "window_guidance4"},
        {"window_button_step51", "window_guidance5"},
    };
    for (const auto& [button, next] : steps) {
        Plugin* page = v->Find(button)->GetParent();
        ASSERT_NE(page, nullptr) << button;
        EXPECT_EQ(page->GetNext(), v->Find(next)) << button;
    }
}

// The real main window at several widths: its size handling must keep the face inside the
// window from the narrowest width the button groups are made for (789) upwards, with the
// plan button centred and the menu's guide arrows between the step buttons.
TEST_F(ShippedSkin, MainLayoutFitsWithTheClientsLayoutValues)
{
    struct WindowSystemRun {
        WindowSystemRun() : started(platform::InitWindowSystem(platform::Backend::Headless)) {}
        ~WindowSystemRun() { platform::ShutdownWindowSystem(); }
        bool started;
    } run;
    ASSERT_TRUE(run.started);
    testsupport::TempDir dir;
    dir.write("domain.vmx", testsupport::TempDir::readFile(KAVREL_SOURCE_DIR "/data/domain.vmx"));
    CMainFrame frame(dir.folder(), s_manager);
    ASSERT_TRUE(frame.Create());
    const HWND hwnd = frame.GetSafeHwnd();
    auto find = [hwnd](const char* name) { return static_cast<Element*>(GetPluginByName(hwnd, name)); };
    find("window_menu")->Show(1);
    RECT window;
    GetWindowRect(hwnd, &window);

    for (int width : {789, 1008, 1280}) {
        MoveWindow(hwnd, 0, 0, width, window.height());
        for (const char* row : {"top_button", "mid_button", "bottom_button"}) {
            int lastRight = 0;
            for (const auto& c : find(row)->children()) {
                if (!c->visible()) continue;
                EXPECT_GE(c->rect().left, lastRight) << row << " at " << width;
                lastRight = c->rect().right;
            }
            EXPECT_LE(lastRight, width - 10) << row << " at " << width;
        }
        RECT plan = find("window_makeplan")->rect(), panel = find("window_moren")->rect();
        EXPECT_LE(std::abs((plan.left + plan.right) / 2 - (panel.left + panel.right) / 2), 1) << "centred at " << width;
        if (width >= 1008) {
            RECT last = find("window_question")->rect();
            EXPECT_LE(last.right, width - 24) << width;
            RECT arrow = find("window_menu_guide")->children()[0]->rect();
            int mid = (arrow.left + arrow.right) / 2;
            EXPECT_GT(mid, find("window_review")->rect().right) << width;
            EXPECT_LT(mid, find("window_checkpoint")->rect().left) << width;
        }
    }
}

TEST_F(ShippedSkin, DigitStylesDrawTheirDigit)
{
    for (int d = 0; d <= 9; ++d) {
        std::string name = "num" + std::to_string(d);
        Resource* style = s_manager->GetResources()->Find(name.c_str(), RES_STYLE);
        ASSERT_NE(style, nullptr) << name;
        ASSERT_GE(style->Count(), 1);
        const dulib::Paint* paint = s_skin->FindPaint(style->Item(0)->GetValue());
        ASSERT_NE(paint, nullptr) << name;
        EXPECT_EQ(paint->label, std::to_string(d));
    }
}

// A screen reader can name every control of every window, hidden parts too (the tour, the
// covers, the member panel): picture-only ones carry an accname. The notice is a notification.
TEST_F(ShippedSkin, EveryControlHasAnAccessibleName)
{
    using platform::AccessibleRole;
    for (const auto& [name, layout] : s_skin->Data().layouts) {
        auto face = view(name);
        ASSERT_TRUE(face) << name;
        std::function<void(Element&)> showAll = [&](Element& e) {
            e.Show(1);
            for (auto& c : e.children()) showAll(*c);
        };
        showAll(*face->root());
        const platform::AccessibleFace described = dulib::DescribeView(*face);
        for (const platform::AccessibleNode& node : described.nodes) {
            const Element& e = *static_cast<const Element*>(node.key);
            // A control whose whole text the client sets (the notice's link) is named by it.
            const bool drawn = !e.desc().text.empty() || !e.desc().glyph.empty() || !e.desc().image.empty();
            const bool control = node.clickable || e.Editable();
            if (control && drawn) {
                EXPECT_NE("", node.name) << name << ": " << e.name();
            }
        }
        EXPECT_EQ(name == "login_sysnew", described.role == AccessibleRole::Notification) << name;
    }
}

const char* const kRecolour[] = {
    "review", "checkpoint", "audio", "rechtssatz", "testyourself", "question", "yijianbangzhu", "shousuo",
    "chongzhigoumai", "kaodian", "fatiao", "zhenti", "dagang", "molikaochang", "shipin", "ziwoceshi", "wenda",
    "yinpin", "jihua", "fudao", "dayin", "wodeziliao", "liti", "changeskin_back", "makeplan", "about_back",
    "landing_back", "login_sysnew", "message_back", "choose", "edit_1", "updatemessage_back", "Yhelp_back",
    "return", "quanzi", "monishiti", "monishijuan", "liaotianshi", "focus_ring"};

TEST_F(ShippedSkin, EveryRecolourGroupHasAnOrangeVariantOfEveryValue)
{
    EXPECT_EQ(std::size(kRecolour), 39u);
    for (const char* group : kRecolour) {
        Resource* style = s_manager->GetResources()->Find(group, RES_STYLE);
        ASSERT_NE(style, nullptr) << group;
        EXPECT_GE(style->Count(), 1) << group;
        for (int i = 0; i < style->Count(); ++i) {
            std::string value = style->Item(i)->GetValue();
            EXPECT_EQ(value.find("_Orange"), std::string::npos) << group << ": blue is the suffix-less default";
            EXPECT_NE(s_skin->FindPaint(value), nullptr) << group << ": " << value;
            EXPECT_NE(s_skin->FindPaint(value + "_Orange"), nullptr) << group << ": " << value << "_Orange";
        }
    }
    Resource* back = s_manager->GetResources()->Find("window_back_change", RES_STYLE);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Item(0)->GetValue(), "back");
    EXPECT_NE(s_skin->FindPaint("back"), nullptr);
    EXPECT_NE(s_skin->FindPaint("back_Orange"), nullptr);
}

TEST_F(ShippedSkin, EveryLookAndStyleNamedExists)
{
    for (const auto& style : s_skin->Data().styles) {
        for (const auto& item : style.items) EXPECT_NE(s_skin->FindPaint(item), nullptr) << style.name << ": " << item;
    }
    for (const auto& [name, layout] : s_skin->Data().layouts) {
        std::function<void(const dulib::ElementDesc&)> walk = [&](const dulib::ElementDesc& e) {
            if (!e.look.empty()) {
                EXPECT_NE(s_skin->FindPaint(e.look), nullptr) << name << ": " << e.name;
            }
            if (!e.style.empty()) {
                EXPECT_NE(s_manager->GetResources()->Find(e.style.c_str(), RES_STYLE), nullptr) << name << ": " << e.name;
            }
            if (!e.image.empty()) {
                EXPECT_NE(s_manager->GetResources()->Find(e.image.c_str(), RES_IMAGE), nullptr) << e.name;
            }
            for (const auto& c : e.children) walk(c);
        };
        walk(layout.root);
    }
}

TEST_F(ShippedSkin, EveryLayoutRendersInBothSchemes)
{
    testsupport::TempDir dir;
    for (const char* suffix : {"", "_Orange"}) {
        dulib::ApplyColourSuffix(s_manager, suffix, "_Orange");
        for (const auto& [name, layout] : s_skin->Data().layouts) {
            std::string error;
            std::string png = (dir.path() / (name + suffix + ".png")).string();
            EXPECT_TRUE(dulib::RenderLayout(s_manager, name, {}, png, &error)) << error;
        }
    }
    // Switching back restores the blue values exactly.
    EXPECT_EQ(s_manager->GetResources()->Find("kaodian", RES_STYLE)->Item(0)->GetValue(), "tile_a_Orange");
    dulib::ApplyColourSuffix(s_manager, "", "_Orange");
    EXPECT_EQ(s_manager->GetResources()->Find("kaodian", RES_STYLE)->Item(0)->GetValue(), "tile_a");
    EXPECT_EQ(s_manager->GetResources()->Find("window_back_change", RES_STYLE)->Item(0)->GetValue(), "back");
}

// A repaint of part of a window (the area under a page view, one tile, a strip across the
// band's edge, one label, the strip just below a tile where only its shadow falls) draws
// there exactly what a full paint draws.
TEST_F(ShippedSkin, PartialRepaintMatchesTheFullPaintInsideItsClip)
{
    auto v = view("MainFrame_Window");
    ASSERT_NE(v, nullptr);
    const int w = 1008, h = 640;
    v->Resize(w, h);
    auto paint = [&](const RECT* clip) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 1, 0, 1);
        cairo_paint(cr);
        if (clip) {
            cairo_rectangle(cr, clip->left, clip->top, clip->width(), clip->height());
            cairo_clip(cr);
        }
        v->Paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        return s;
    };
    auto at = [](cairo_surface_t* s, int x, int y) {
        const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
        return *reinterpret_cast<const std::uint32_t*>(row + 4 * x) & 0xFFFFFFu;
    };
    ASSERT_NE(v->Find("window_kaodian"), nullptr);
    ASSERT_NE(v->Find("username"), nullptr);
    const RECT tile = v->Find("window_kaodian")->rect();
    const RECT label = v->Find("username")->rect();
    const RECT clips[] = {
        {0, 104, w, h}, tile, {0, 40, w, 70}, label, {tile.left, tile.bottom, tile.right, tile.bottom + 4},
    };
    cairo_surface_t* full = paint(nullptr);
    for (const RECT& clip : clips) {
        SCOPED_TRACE(std::to_string(clip.left) + "," + std::to_string(clip.top) + "-" + std::to_string(clip.right) + ","
                     + std::to_string(clip.bottom));
        cairo_surface_t* part = paint(&clip);
        int differing = 0;
        for (int y = std::max(0, static_cast<int>(clip.top)); y < std::min(h, static_cast<int>(clip.bottom)); ++y) {
            for (int x = std::max(0, static_cast<int>(clip.left)); x < std::min(w, static_cast<int>(clip.right)); ++x)
                differing += at(part, x, y) != at(full, x, y);
        }
        EXPECT_EQ(0, differing);
        cairo_surface_destroy(part);
    }
    cairo_surface_destroy(full);
}

// Every control a click reaches in every shipped face is reached from the keyboard too: by
// Tab where the window walks the reading order, and in the login form, whose Tab ring is
// its own, by the ring and the arrows together.
TEST_F(ShippedSkin, EveryClickableControlIsReachedFromTheKeyboard)
{
    const std::vector<std::string> loginRing = {"landing_edit_user", "landing_edit_password", "cho_remember_user",
                                                "cho_remember_pass", "cho_auto", "landing_landing",
                                                "landing_cancel", "landing_createuser", "landing_forget"};
    for (const auto& [name, layout] : s_skin->Data().layouts) {
        SCOPED_TRACE(name);
        auto v = view(name);
        std::set<Element*> clickable;
        std::function<void(Element&)> walk = [&](Element& e) {
            const RECT& r = e.rect();
            Element* hit = v->HitTest((r.left + r.right) / 2, (r.top + r.bottom) / 2);
            if (hit == &e && e.kind() != Kind::Caption) clickable.insert(&e);
            for (auto& c : e.children()) walk(*c);
        };
        walk(*v->root());
        std::set<Element*> reached;
        std::vector<Element*> todo;
        if (name == "window_landing") {
            for (const std::string& ring : loginRing) todo.push_back(v->Find(ring));
        } else {
            const auto order = dulib::FocusOrder(*v);
            todo.assign(order.begin(), order.end());
        }
        while (!todo.empty()) {
            Element* e = todo.back();
            todo.pop_back();
            if (!e || !reached.insert(e).second) continue;
            for (int key : {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN}) todo.push_back(dulib::NextByArrow(*v, e, key));
        }
        for (Element* e : clickable) EXPECT_TRUE(reached.count(e)) << e->name() << " cannot be reached from the keyboard";
    }
}

// The reading order a member walks with Tab in the main window, logged out and logged in,
// down to the first tile; the tiles are a grid for the arrows.
TEST_F(ShippedSkin, MainWindowTabOrderAndTileGrid)
{
    auto v = view("MainFrame_Window");
    auto names = [&](std::size_t count) {
        std::vector<std::string> out;
        for (Element* e : dulib::FocusOrder(*v)) {
            if (out.size() < count) out.push_back(e->name());
        }
        return out;
    };
    const std::vector<std::string> tail = {"window_syshelp", "window_sysset",  "window_sysmin",        "window_sysmax",
                                           "window_sysclose", "window_return", "window_yijianbangzhu", "window_kaodian"};
    std::vector<std::string> loggedOut = {"window_vip", "window_vip_register", "window_vip_forget"};
    loggedOut.insert(loggedOut.end(), tail.begin(), tail.end());
    EXPECT_EQ(names(loggedOut.size()), loggedOut);
    v->Find("nonlogin")->Show(0);
    v->Find("vip_login")->Show(1);
    std::vector<std::string> loggedIn = {"window_email", "window_last"};
    loggedIn.insert(loggedIn.end(), tail.begin(), tail.end());
    EXPECT_EQ(names(loggedIn.size()), loggedIn);

    const std::vector<std::tuple<const char*, int, const char*>> moves = {
        {"window_kaodian", VK_RIGHT, "window_fatiao"},       {"window_kaodian", VK_DOWN, "window_ziwoceshi"},
        {"window_ziwoceshi", VK_DOWN, "window_shipin"},      {"window_monishijuan", VK_RIGHT, nullptr},
        {"window_chongzhigoumai", VK_UP, "window_liaotianshi"}, {"window_shipin", VK_UP, "window_ziwoceshi"},
    };
    for (const auto& [from, key, to] : moves) {
        Element* next = dulib::NextByArrow(*v, v->Find(from), key);
        EXPECT_EQ(next ? next->name() : std::string(), to ? to : "") << from << " key " << key;
    }
}

} // namespace
