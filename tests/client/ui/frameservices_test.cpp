// The main window's frame services on the headless window system with the shipped skin:
// tray, close, caption double click, the settings drop-down and the windows it opens, the
// colour scheme and the guidance tour.
#include "SessionFixture.h"

#include "client/settings/Settings.h"
#include "client/ui/MainFrame.h"
#include "client/ui/WndAbout.h"
#include "client/ui/WndChangeSkin.h"
#include "dulib/dulib.h"
#include "platform/window/DesktopShell.h"
#include "platform/window/NotificationArea.h"

#include <deque>
#include <map>

namespace {

constexpr UINT kNcLeftButtonDown = 0xA1;
constexpr UINT kStep = WM_USER + 77;

// "版本：3.0.0.25", "发行时间：2012.12.28", "Kavrel官网", "退出" in GBK.
const std::string kVersionText = "\xB0\xE6\xB1\xBE\xA3\xBA" "3.0.0.25";
const std::string kDateText = "\xB7\xA2\xD0\xD0\xCA\xB1\xBC\xE4\xA3\xBA" "2012.12.28";
const std::string kWebSiteItem = "Kavrel\xB9\xD9\xCD\xF8";
const std::string kExitItem = "\xCD\xCB\xB3\xF6";

const char* const kRecolourGroups[] = {
    "review",  "checkpoint", "audio", "rechtssatz", "testyourself", "question", "yijianbangzhu", "shousuo",
    "chongzhigoumai", "kaodian", "fatiao", "zhenti", "dagang", "molikaochang", "shipin", "ziwoceshi", "wenda",
    "yinpin", "jihua", "fudao", "dayin", "wodeziliao", "liti", "changeskin_back", "makeplan", "about_back",
    "landing_back", "login_sysnew", "message_back", "choose", "edit_1", "updatemessage_back", "Yhelp_back",
    "return", "quanzi", "monishiti", "monishijuan", "liaotianshi", "focus_ring",
};

class FrameServicesTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        // Steps queued by runInLoop run from whatever loop fetches them, nested ones too.
        m_stepper = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, 0, [this](HWND h, UINT m, WPARAM w, LPARAM l) {
            if (m == kStep && !m_steps.empty()) {
                auto step = std::move(m_steps.front());
                m_steps.pop_front();
                step();
                return LRESULT{0};
            }
            return DefWindowProc(h, m, w, l);
        });
    }
    void TearDown() override
    {
        m_frame.reset();
        platform::RemoveTrayIcon(128);
        platform::HeadlessSetNotificationArea(true);
        SessionTest::TearDown();
    }

    void makeFrame(int firstRun = 0, SkinManager* skin = nullptr)
    {
        m_frame = std::make_unique<CMainFrame>(m_dir.folder(), skin ? skin : m_skin, firstRun);
        ASSERT_TRUE(m_frame->Create());
        m_frame->ShowWindow(SW_SHOW);
        ASSERT_EQ(hwnd(), GetActiveWindow());
    }
    HWND hwnd() const { return frame(); }
    bool shown(const char* name) const { return visible(name); }

    using SessionTest::raise;
    LRESULT raise(const char* name, int code, int param1 = 0) { return raise(hwnd(), name, code, param1); }

    void runInLoop(std::function<void()> step)
    {
        m_steps.push_back(std::move(step));
        PostMessage(m_stepper, kStep, 0, 0);
    }

    // Posts a left click at a point of the main window's client area.
    void postClick(int x, int y)
    {
        PostMessage(hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        PostMessage(hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    // A point of the main window's client area that lies at (x, y) of the drop-down,
    // which sits 30 pixels left of the settings button's left edge, under the button.
    POINT dropDownPoint(int x, int y) const
    {
        RECT button;
        element("window_sysset")->GetRect(&button);
        return POINT{button.left - 30 + x, button.bottom + y};
    }

    std::map<std::string, std::vector<std::string>> styleValues() const
    {
        std::map<std::string, std::vector<std::string>> values;
        ResourceTable* table = m_skin->GetResources();
        for (const char* name : kRecolourGroups) {
            Resource* group = table->Find(name, RES_STYLE);
            for (int i = 0; group && i < group->Count(); ++i)
                values[name].push_back(group->Item(i)->GetValue());
        }
        values["window_back_change"].push_back(table->Find("window_back_change", RES_STYLE)->Item(0)->GetValue());
        return values;
    }
    std::string storedBackground() const { return Settings(Settings::PathIn(m_dir.folder())).background(); }

    HWND m_stepper = nullptr;
    std::deque<std::function<void()>> m_steps;
};

// ---- Tray, close, maximise, caption --------------------------------------------------

TEST_F(FrameServicesTest, MinimiseHidesToTheTrayAndTheIconsDoubleClickBringsItBack)
{
    makeFrame();
    for (int round = 0; round < 2; ++round) { // a second minimise adds the same icon again
        raise("window_sysmin", PE_CLICK);
        EXPECT_FALSE(IsWindowVisible(hwnd()));
        EXPECT_FALSE(IsIconic(hwnd()));
        EXPECT_TRUE(platform::IsTrayIconShown(128));
        platform::HeadlessTrayGesture(128, WM_LBUTTONDBLCLK);
        pumpAll();
        EXPECT_TRUE(IsWindowVisible(hwnd()));
        EXPECT_EQ(hwnd(), GetActiveWindow());
    }
    EXPECT_TRUE(platform::IsTrayIconShown(128)); // stays while the client runs
    SendMessage(hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(platform::IsTrayIconShown(128)); // and goes with it
}

TEST_F(FrameServicesTest, MinimiseWithoutNotificationAreaIconifiesSoTheWindowCanComeBack)
{
    platform::HeadlessSetNotificationArea(false);
    makeFrame();
    raise("window_sysmin", PE_CLICK);
    EXPECT_TRUE(IsIconic(hwnd()));
    platform::HeadlessTrayGesture(128, WM_LBUTTONDBLCLK); // should a panel appear later
    pumpAll();
    EXPECT_FALSE(IsIconic(hwnd()));
    EXPECT_TRUE(IsWindowVisible(hwnd()));
}

TEST_F(FrameServicesTest, TrayNotificationsAnswerByIconAndGesture)
{
    makeFrame();
    const UINT showTask = RegisterWindowMessage("WM_SHOWTASK");
    ShowWindow(hwnd(), SW_HIDE);
    EXPECT_EQ(1, SendMessage(hwnd(), showTask, 129, WM_LBUTTONDBLCLK)); // another icon
    EXPECT_FALSE(IsWindowVisible(hwnd()));
    EXPECT_EQ(0, SendMessage(hwnd(), showTask, 128, WM_MOUSEMOVE));
    EXPECT_FALSE(IsWindowVisible(hwnd()));
    EXPECT_EQ(0, SendMessage(hwnd(), showTask, 128, WM_LBUTTONDBLCLK));
    EXPECT_TRUE(IsWindowVisible(hwnd()));
}

TEST_F(FrameServicesTest, TrayMenuOpensTheWebSiteAndExits)
{
    makeFrame();
    const UINT showTask = RegisterWindowMessage("WM_SHOWTASK");
    const UINT goTo = RegisterWindowMessage("WM_GOTOKAVREL");
    const UINT closeTask = RegisterWindowMessage("WM_CLOSETASK");

    platform::HeadlessSetMenuChoice(goTo);
    EXPECT_EQ(0, SendMessage(hwnd(), showTask, 128, WM_RBUTTONUP));
    const std::vector<platform::MenuItem> menu = platform::HeadlessLastMenu();
    ASSERT_EQ(2u, menu.size());
    EXPECT_EQ(goTo, menu[0].id);
    EXPECT_EQ(kWebSiteItem, menu[0].text);
    EXPECT_EQ(closeTask, menu[1].id);
    EXPECT_EQ(kExitItem, menu[1].text);
    pumpAll();
    ASSERT_EQ(1u, platform::HeadlessOpenedAddresses().size());
    EXPECT_EQ("http://" + m_frame->WebSite(), platform::HeadlessOpenedAddresses()[0]);
    EXPECT_TRUE(IsWindow(hwnd()));

    HWND frame = hwnd();
    HWND notice = m_frame->NoticeWindow();
    ASSERT_TRUE(IsWindow(notice));
    platform::HeadlessSetMenuChoice(closeTask);
    SendMessage(hwnd(), showTask, 128, WM_RBUTTONUP);
    MSG msg;
    while (PeekMessage(&msg, true) && msg.message != WM_QUIT)
        DispatchMessage(&msg);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(IsWindow(notice));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
}

TEST_F(FrameServicesTest, CaptionDoubleClickTogglesMaximiseAboveLine61UnlessMasked)
{
    makeFrame();
    struct Case {
        int y;
        bool masked;
        bool toggles;
    };
    for (Case c : {Case{60, false, true}, Case{0, false, true}, Case{61, false, false}, Case{200, false, false},
                   Case{10, true, false}}) {
        SCOPED_TRACE(testing::Message() << "y " << c.y << (c.masked ? " masked" : ""));
        element("window_mask")->Show(c.masked ? 1 : 0);
        for (bool zoomedBefore : {false, true}) {
            ShowWindow(hwnd(), zoomedBefore ? SW_SHOWMAXIMIZED : SW_RESTORE);
            SendMessage(hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(400, c.y));
            EXPECT_EQ(c.toggles ? !zoomedBefore : zoomedBefore, IsZoomed(hwnd()));
        }
    }
}

// ---- Settings drop-down -------------------------------------------------------------

TEST_F(FrameServicesTest, DropDownKeepsClicksOffItsItemsAndActsOnAnItem)
{
    makeFrame();
    const POINT margin = dropDownPoint(66, 2); // above the first item
    postClick(margin.x, margin.y);
    PostMessage(hwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
    const POINT webSite = dropDownPoint(66, 22);
    postClick(webSite.x, webSite.y);
    bool stillTracked = false;
    runInLoop([&] { stillTracked = true; }); // fetched only if the item did not end it
    PostMessage(hwnd(), kNcLeftButtonDown, 0, 0);

    EXPECT_EQ(0, raise("window_sysset", PE_ACTIVATE));
    ASSERT_EQ(1u, platform::HeadlessOpenedAddresses().size());
    EXPECT_EQ("http://" + m_frame->WebSite(), platform::HeadlessOpenedAddresses()[0]);
    EXPECT_FALSE(stillTracked);
    pumpAll();
}

TEST_F(FrameServicesTest, DropDownClosesOnAClickOutsideItAndTheMainWindowNeverSeesIt)
{
    makeFrame();
    std::vector<UINT> mainSaw;
    WindowProc old = SetWindowProc(hwnd(), nullptr);
    SetWindowProc(hwnd(), [&mainSaw, old](HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_KEYDOWN || m == WM_LBUTTONDOWN)
            mainSaw.push_back(m);
        return old(h, m, w, l);
    });
    PostMessage(hwnd(), WM_KEYDOWN, 'A', 0);
    postClick(500, 400); // on the home panel, far from the drop-down
    bool stillTracked = false;
    runInLoop([&] { stillTracked = true; });
    PostMessage(hwnd(), kNcLeftButtonDown, 0, 0);

    EXPECT_EQ(0, raise("window_sysset", PE_ACTIVATE));
    EXPECT_FALSE(stillTracked);
    pumpAll();
    SetWindowProc(hwnd(), old);
    // The key and the click went to the drop-down.
    EXPECT_TRUE(mainSaw.empty());
}

TEST_F(FrameServicesTest, QuitWhileTheDropDownIsOpenStillEndsTheClient)
{
    makeFrame();
    PostQuitMessage(3);
    EXPECT_EQ(0, raise("window_sysset", PE_ACTIVATE));
    MSG msg;
    EXPECT_FALSE(GetMessage(&msg));
    EXPECT_EQ(3u, msg.wParam);
}

TEST_F(FrameServicesTest, DropDownOpensTheAboutWindowWithVersionAndDate)
{
    makeFrame();
    const POINT about = dropDownPoint(66, 90);
    postClick(about.x, about.y);
    std::string version, date;
    bool mainDisabled = false;
    runInLoop([&] {
        HWND window = GetActiveWindow();
        mainDisabled = !IsWindowEnabled(hwnd());
        version = GetPluginByName(window, "about_text_3")->GetText();
        date = GetPluginByName(window, "about_text_4")->GetText();
        PostMessage(window, WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(0, raise("window_sysset", PE_ACTIVATE));
    EXPECT_EQ(kVersionText, version);
    EXPECT_EQ(kDateText, date);
    EXPECT_TRUE(mainDisabled);
    EXPECT_TRUE(IsWindowEnabled(hwnd()));
    EXPECT_EQ(hwnd(), GetActiveWindow());
    pumpAll();
}

TEST_F(FrameServicesTest, DropDownOpensTheColourChooserThatStaysOpenWhileColoursAreTried)
{
    makeFrame();
    const POINT colour = dropDownPoint(66, 56);
    postClick(colour.x, colour.y);
    std::vector<std::string> stored;
    bool open = false;
    runInLoop([&] {
        HWND chooser = GetActiveWindow();
        EXPECT_EQ(0, raise(chooser, "window_color_image_Orange", PE_SELECT));
        stored.push_back(storedBackground());
        EXPECT_EQ(0, raise(chooser, "window_color_image_blue", PE_SELECT));
        stored.push_back(storedBackground());
        open = IsWindow(chooser);
        PostMessage(chooser, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(0, raise("window_sysset", PE_ACTIVATE));
    EXPECT_EQ((std::vector<std::string>{"_Orange", ""}), stored);
    EXPECT_TRUE(open);
    pumpAll();
}

// ---- About and colour windows on their own -----------------------------------------

TEST_F(FrameServicesTest, AboutAndColourWindowsEndWithTheirKeysAndButtons)
{
    makeFrame();
    struct Case {
        const char* name;
        bool about;
        std::function<void(HWND)> act;
        int result;
    };
    auto key = [](WPARAM vk) { return [vk](HWND w) { PostMessage(w, WM_KEYDOWN, vk, 0); }; };
    auto click = [this](const char* name) { return [this, name](HWND w) { raise(w, name, PE_CLICK); }; };
    auto ignoredKeyThenEsc = [](HWND w) {
        PostMessage(w, WM_KEYDOWN, VK_SPACE, 0); // dropped: the window stays
        PostMessage(w, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    const Case cases[] = {
        {"about Enter", true, key(VK_RETURN), 1},
        {"about Esc", true, key(VK_ESCAPE), 1},
        {"about other key, then Esc", true, ignoredKeyThenEsc, 1},
        {"about confirm", true, click("window_about_enter"), 1},
        {"about close", true, click("window_about_close"), 2},
        {"about close request", true, [](HWND w) { PostMessage(w, WM_CLOSE, 0, 0); }, 2},
        {"colour Enter", false, key(VK_RETURN), 2},
        {"colour Esc", false, key(VK_ESCAPE), 2},
        {"colour other key, then Esc", false, ignoredKeyThenEsc, 2},
        {"colour close", false, click("window_color_close"), 2},
        {"colour close below", false, click("window_color_close_down"), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        runInLoop([&] { c.act(GetActiveWindow()); });
        if (c.about) {
            CWndAbout about(m_skin, m_frame.get());
            EXPECT_EQ(c.result, about.DoModal());
        } else {
            CWndChangeSkin chooser(m_skin, m_frame.get());
            EXPECT_EQ(c.result, chooser.DoModal());
        }
        EXPECT_EQ(hwnd(), GetActiveWindow());
    }
}

// A chooser whose skin offers more colours than the client knows, one of them in capitals.
TEST_F(FrameServicesTest, ColourChooserIgnoresLetterCaseAndUnknownColours)
{
    makeFrame();
    testsupport::TempDir skinDir;
    skinDir.write("config.xml", R"(<skin>
  <paint name="p" fill="#ffffff"/>
  <layout name="window_skinwin" width="300" height="100" look="p">
    <colorimage name="window_color_image_ORANGE" left="0" top="0" width="90" height="90" look="p"/>
    <colorimage name="window_color_image_green" left="100" top="0" width="90" height="90" look="p"/>
    <colorimage name="window_color_image_BLUE" left="200" top="0" width="90" height="90" look="p"/>
  </layout>
</skin>)");
    SkinManager* chooserSkin = LoadStyleA((skinDir.path() / "config.xml").c_str());
    ASSERT_TRUE(chooserSkin->GetError().empty()) << chooserSkin->GetError();
    const auto blue = styleValues();
    std::vector<LRESULT> answers;
    std::vector<std::string> stored;
    runInLoop([&] {
        HWND chooser = GetActiveWindow();
        for (const char* name : {"window_color_image_green", "window_color_image_ORANGE", "window_color_image_green",
                                 "window_color_image_BLUE"}) {
            answers.push_back(raise(chooser, name, PE_SELECT));
            stored.push_back(storedBackground());
        }
        PostMessage(chooser, WM_KEYDOWN, VK_RETURN, 0);
    });
    {
        CWndChangeSkin chooser(chooserSkin, m_frame.get());
        EXPECT_EQ(2, chooser.DoModal());
    }
    EXPECT_EQ((std::vector<LRESULT>{-1, 0, -1, 0}), answers);
    EXPECT_EQ((std::vector<std::string>{"_blue", "_Orange", "_Orange", ""}), stored);
    EXPECT_EQ(blue, styleValues());
    dulib::FreeSkin(chooserSkin);
}

// ---- Colour scheme -----------------------------------------------------------------

TEST_F(FrameServicesTest, OrangeTwiceEqualsOnceAndBlueRestores)
{
    makeFrame();
    const auto blue = styleValues();
    ASSERT_EQ(std::size(kRecolourGroups) + 1, blue.size()) << "a recolour group is missing from the skin";

    m_frame->ChangeColourScheme("_Orange");
    const auto orange = styleValues();
    for (const auto& [group, values] : orange) {
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(blue.at(group)[i] + "_Orange", values[i]) << group;
    }
    EXPECT_EQ("_Orange", storedBackground());

    m_frame->ChangeColourScheme("_Orange");
    EXPECT_EQ(orange, styleValues());

    m_frame->ChangeColourScheme("");
    EXPECT_EQ(blue, styleValues());
    EXPECT_EQ("", storedBackground());
    EXPECT_EQ("[info]\r\nfirstlogin=1\r\nbackground=\r\n", m_dir.read("data/config.ini"));
}

// What start-up may hand over from the settings file.
TEST_F(FrameServicesTest, SchemeValuesNamingNoSchemeChangeNothing)
{
    makeFrame();
    const auto blue = styleValues();
    m_frame->ChangeColourScheme("_oRANGE");
    EXPECT_EQ("back_Orange", styleValues().at("window_back_change")[0]);
    EXPECT_EQ("_Orange", storedBackground());
    m_frame->ChangeColourScheme("");

    for (const char* value : {"_blue", "_BLUE", "_green", "Orange", "_Orange_Orange"}) {
        SCOPED_TRACE(value);
        m_dir.write("data/config.ini", "[info]\r\nbackground=keep\r\n");
        m_frame->ChangeColourScheme(value);
        EXPECT_EQ(blue, styleValues());
        EXPECT_EQ("[info]\r\nbackground=keep\r\n", m_dir.read("data/config.ini"));
    }
}

// ---- Study-plan panels -----------------------------------------------------------------

// Each shown panel spreads over the width; the divisions truncate toward zero.
TEST_F(FrameServicesTest, PlanPanelsFollowTheWidth)
{
    makeFrame();
    RECT window;
    GetWindowRect(hwnd(), &window);
    auto rect = [&](const char* name) {
        RECT r{};
        element(name)->GetRect(&r);
        return r;
    };
    for (int width : {1008, 1280, 900}) {
        SCOPED_TRACE(testing::Message() << "width " << width);
        element("window_menu")->Show(0);
        element("window_moren")->Show(1);
        MoveWindow(hwnd(), 0, 0, width, window.height());
        EXPECT_EQ((width - 102) / 2 - 99, rect("window_makeplan").left - rect("window_moren").left);

        element("window_moren")->Show(0);
        element("window_menu")->Show(1);
        MoveWindow(hwnd(), 0, 0, width + 1, window.height()); // a size change lays it out
        MoveWindow(hwnd(), 0, 0, width, window.height());
        const int a = (width - 1008) / 5 + 65;
        EXPECT_EQ((a - 61) / 2 + 130, rect("guide_1").left - rect("window_menu_guide").left);
        EXPECT_EQ(a + 27, rect("guide_2").left - rect("guide_1").right);
        EXPECT_EQ(a, rect("window_checkpoint").left - rect("window_review").right);
    }
}

// ---- Guidance tour --------------------------------------------------------------------

const char* const kPages[] = {"window_guidance",  "window_guidance1", "window_guidance2",
                              "window_guidance3", "window_guidance4", "window_guidance5"};

class TourTest : public FrameServicesTest {
protected:
    std::vector<const char*> shownPages() const
    {
        std::vector<const char*> out;
        for (const char* page : kPages) {
            if (shown(page))
                out.push_back(page);
        }
        return out;
    }
};

TEST_F(TourTest, FirstStartShowsTheTourOverTheMaskAndEachNextButtonTheFollowingPage)
{
    makeFrame(1);
    EXPECT_TRUE(shown("window_guidance_parent"));
    EXPECT_TRUE(shown("window_mask"));
    EXPECT_EQ(std::vector<const char*>{"window_guidance"}, shownPages());
    const char* next[] = {"window_button_step1", "window_button_step21", "window_button_step31", "window_button_step41",
                          "window_button_step51"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(0, raise(next[i], PE_CLICK));
        EXPECT_EQ(std::vector<const char*>{kPages[i + 1]}, shownPages()) << next[i];
    }
}

TEST_F(TourTest, LaterStartShowsNoTour)
{
    makeFrame(0);
    EXPECT_FALSE(shown("window_guidance_parent"));
}

TEST_F(TourTest, HelpTourEndsOnAnyEndButtonAndUncoversTheFace)
{
    makeFrame(0);
    bool loginOpened = false;
    for (const char* end : {"window_button_step22", "window_button_step32", "window_button_step42",
                            "window_button_step52", "window_button_step6"}) {
        SCOPED_TRACE(end);
        element("window_mid_part")->Show(0);
        raise("window_button_step1", PE_CLICK); // a page left over from the last tour
        EXPECT_EQ(0, raise("window_syshelp", PE_CLICK));
        EXPECT_TRUE(shown("window_guidance_parent"));
        EXPECT_TRUE(shown("window_mask"));
        EXPECT_TRUE(shown("window_mid_part"));
        EXPECT_EQ(std::vector<const char*>{"window_guidance"}, shownPages());
        // Runs inside a login window's loop only if one wrongly opens, and closes it.
        runInLoop([&] {
            if (GetActiveWindow() != hwnd()) {
                loginOpened = true;
                PostMessage(GetActiveWindow(), WM_CLOSE, 0, 0);
            }
        });
        EXPECT_EQ(0, raise(end, PE_CLICK));
        EXPECT_FALSE(loginOpened);
        EXPECT_FALSE(shown("window_guidance_parent"));
        EXPECT_FALSE(shown("window_mask"));
        pumpAll();
    }
}

TEST_F(TourTest, HelpTourOverAStudyPageDestroysItAndShowsTheHomePanel)
{
    makeFrame(0);
    m_frame->HostPage("http://host:81/soft/./rule_planStudy.htm", false);
    const HWND page = m_frame->CurrentPageView();
    ASSERT_NE(nullptr, page);
    element("window_mid_part")->Show(0);
    element("window_hwndobj")->Show(1);
    EXPECT_EQ(0, raise("window_syshelp", PE_CLICK));
    EXPECT_FALSE(IsWindow(page));
    EXPECT_EQ(nullptr, m_frame->CurrentPageView());
    EXPECT_TRUE(shown("window_mid_part"));
    EXPECT_TRUE(shown("window_hwndobj")); // the page container is left as it was
    EXPECT_TRUE(shown("window_guidance_parent"));
}

TEST_F(TourTest, FirstStartTourEndOpensTheLoginWindowOnAnyPage)
{
    const char* ends[] = {"window_button_step22", "window_button_step32", "window_button_step42",
                          "window_button_step52", "window_button_step6"};
    const char* next[] = {"window_button_step1", "window_button_step21", "window_button_step31",
                          "window_button_step41", "window_button_step51"};
    for (int page = 0; page < 5; ++page) {
        SCOPED_TRACE(ends[page]);
        makeFrame(1);
        for (int i = 0; i < page + 1; ++i)
            raise(next[i], PE_CLICK);
        bool loginOpened = false;
        runInLoop([&] {
            HWND login = GetActiveWindow();
            loginOpened = login != hwnd() && GetPluginByName(login, "window_landing") != nullptr;
            PostMessage(login, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(0, raise(ends[page], PE_CLICK));
        EXPECT_TRUE(loginOpened);
        EXPECT_FALSE(shown("window_guidance_parent"));
        EXPECT_TRUE(shown("window_mask")); // until a member logs in
        m_frame.reset();
    }
}

// A skin without the elements the tour and the colour scheme name: nothing happens, and
// a next button on the last page leaves the tour where it is.
TEST_F(TourTest, MissingElementsAndGroupsAreSkipped)
{
    testsupport::TempDir skinDir;
    skinDir.write("config.xml", R"(<skin>
  <paint name="p" fill="#ffffff"/>
  <layout name="MainFrame_Window" width="800" height="600" look="p">
    <panel name="window_guidance_parent" left="0" top="0" right="0" bottom="0" visible="0">
      <panel name="window_guidance" left="0" top="0" width="100" height="100" look="p">
        <button name="window_button_step1" left="0" top="0" width="10" height="10" look="p"/>
      </panel>
      <panel name="window_guidance1" left="0" top="0" width="100" height="100" look="p" visible="0">
        <button name="window_button_step21" left="0" top="0" width="10" height="10" look="p"/>
      </panel>
    </panel>
    <button name="window_button_step31" left="0" top="0" width="10" height="10" look="p"/>
  </layout>
</skin>)");
    SkinManager* bare = LoadStyleA((skinDir.path() / "config.xml").c_str());
    ASSERT_TRUE(bare->GetError().empty()) << bare->GetError();
    makeFrame(1, bare);
    EXPECT_TRUE(shown("window_guidance_parent"));
    EXPECT_EQ(0, raise("window_syshelp", PE_CLICK));
    EXPECT_EQ(std::vector<const char*>{"window_guidance"}, shownPages());
    EXPECT_EQ(0, raise("window_button_step1", PE_CLICK));
    EXPECT_EQ(std::vector<const char*>{"window_guidance1"}, shownPages());
    EXPECT_EQ(0, raise("window_button_step21", PE_CLICK)); // no page follows
    EXPECT_EQ(std::vector<const char*>{"window_guidance1"}, shownPages());
    EXPECT_EQ(0, raise("window_button_step31", PE_CLICK)); // not on a page
    EXPECT_EQ(std::vector<const char*>{"window_guidance1"}, shownPages());
    m_frame->ChangeColourScheme("_Orange");
    EXPECT_EQ("_Orange", storedBackground());
    m_frame.reset();
    dulib::FreeSkin(bare);
}

} // namespace
