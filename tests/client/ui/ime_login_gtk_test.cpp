// Typing a Chinese name into the login window through a real input method (IBus with its
// pinyin engine, in both of its GTK module's modes), on the X server
// under a real window manager, keys sent by the X server's test extension: the composition
// shows inline in the name box, the candidate window stands at the caret and follows the
// window, Enter and Esc during a composition act on it and not on the form, the password
// box gets no composition, and the login request carries the committed name.
#include "DesktopPrograms.h"
#include "DevServiceFixture.h"
#include "DomainVmx.h"
#include "GtkTestSupport.h"
#include "InputMethodDaemon.h"
#include "TempDir.h"

#include "client/service/RequestWorker.h"
#include "client/ui/MainFrame.h"
#include "client/ui/WndLogin.h"
#include "dulib/Element.h"
#include "dulib/View.h"
#include "dulib/dulib.h"
#include "platform/CodeLib.h"
#include "platform/MD5.h"
#include "platform/window/DesktopShell.h"

#include <X11/Xutil.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The input method's candidate window: a mapped top-level window of its panel program
// big enough to hold candidates (the panel keeps 1x1 and 10x10 windows of its own too).
std::optional<ScreenRect> candidateWindow()
{
    const testsupport::XErrorTrap trap;
    Display* dpy = testsupport::DesktopPrograms::display();
    ::Window root = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count))
        return std::nullopt;
    std::optional<ScreenRect> found;
    const std::string program = "ibus-ui-gtk3";
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable || a.width < 30 || a.height < 15)
            continue;
        XClassHint hint{};
        if (!XGetClassHint(dpy, children[i], &hint))
            continue;
        const bool ours = hint.res_name && std::string(hint.res_name).find(program) != std::string::npos;
        XFree(hint.res_name);
        XFree(hint.res_class);
        if (!ours)
            continue;
        int x = 0, y = 0;
        ::Window child = 0;
        XTranslateCoordinates(dpy, children[i], DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
        found = ScreenRect{x, y, a.width, a.height};
    }
    if (children)
        XFree(children);
    return found;
}

void pressKey(const char* keysym, bool control = false)
{
    Display* dpy = testsupport::DesktopPrograms::display();
    const KeyCode ctrl = XKeysymToKeycode(dpy, XStringToKeysym("Control_L"));
    const KeyCode code = XKeysymToKeycode(dpy, XStringToKeysym(keysym));
    if (control)
        XTestFakeKeyEvent(dpy, ctrl, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    if (control)
        XTestFakeKeyEvent(dpy, ctrl, False, CurrentTime);
    XFlush(dpy);
}

// Whether the keyboard is with that X window or one inside it.
bool keyboardWithin(unsigned long xid)
{
    Display* dpy = testsupport::DesktopPrograms::display();
    ::Window at = 0;
    int revert = 0;
    XGetInputFocus(dpy, &at, &revert);
    while (at && at != DefaultRootWindow(dpy) && at != xid) {
        ::Window root = 0, parent = 0;
        ::Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(dpy, at, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        at = parent;
    }
    return at == xid;
}

struct Mode {
    const char* name;
    bool asyncKeys;
};

class ImeLoginGtkTest : public testsupport::GtkWindowTest, public ::testing::WithParamInterface<Mode> {
protected:
    ImeLoginGtkTest() : m_ime(GetParam().asyncKeys) {}

    void SetUp() override
    {
        ASSERT_TRUE(m_ime.ready());
        GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(m_service.started());
        ASSERT_TRUE(m_desktop.startWindowManager());
        ASSERT_TRUE(pumpUntil(testsupport::DesktopPrograms::windowManagerRunning));
        m_skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        ASSERT_TRUE(m_skin->GetError().empty()) << m_skin->GetError();
        m_dir.write("domain.vmx", testsupport::domainVmx(m_service->siteBase(), testsupport::kWebAddress,
                                                         m_service->pageBaseAddress()));
        m_dir.write("data/config.ini", "[info]\r\nfirstlogin=1\r\n");
        m_worker = std::make_unique<CRequestWorker>(m_dir.folder());
        m_frame = std::make_unique<CMainFrame>(m_dir.folder(), m_skin, 0);
        m_frame->UseRequestWorker(m_worker.get());
        ASSERT_TRUE(m_frame->Create());
        m_frame->ShowWindow(SW_SHOW);
    }
    void TearDown() override
    {
        m_frame.reset();
        GtkWindowTest::TearDown();
        m_worker.reset();
        if (m_skin)
            dulib::FreeSkin(m_skin);
    }

    dulib::Element* box(const char* name)
    {
        HWND form = m_frame->LoginWindow().m_hWnd;
        return form ? static_cast<dulib::Element*>(GetPluginByName(form, name)) : nullptr;
    }
    // The caret of the box on the screen.
    ScreenRect caretOnScreen(dulib::Element& e)
    {
        RECT caret = dulib::CaretRect(e.view(), e);
        POINT origin{caret.left, caret.top};
        ClientToScreen(m_frame->LoginWindow().m_hWnd, &origin);
        return ScreenRect{origin.x, origin.y, caret.width(), caret.height()};
    }
    std::vector<devservice::RecordedRequest> logins()
    {
        std::vector<devservice::RecordedRequest> found;
        for (const auto& r : m_service->requests()) {
            if (r.body.find("\"cmd\" : \"login\"") != std::string::npos)
                found.push_back(r);
        }
        return found;
    }

    // The steps of a member's typing, run one after another from a timer inside the login
    // window's modal loop: each acts once, then waits until its condition holds.
    struct Step {
        const char* what;
        std::function<void()> act;
        std::function<bool()> done;
    };
    // Runs the steps in the open login window; answers the step that did not finish (null
    // when all did).
    // watch runs before every check, while the form is open.
    const char* runInLoginWindow(std::vector<Step> steps, const std::function<void()>& watch)
    {
        CWndLogin& login = m_frame->LoginWindow();
        size_t at = 0;
        bool acted = false;
        const char* failed = nullptr;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        HWND driver = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, 0, [&](HWND h, UINT m, WPARAM w, LPARAM l) {
            if (m != WM_TIMER)
                return DefWindowProc(h, m, w, l);
            if (at == steps.size()) {
                KillTimer(h, 1);
                if (login.m_hWnd)
                    login.OnCancel();
                return LRESULT{0};
            }
            if (login.m_hWnd)
                watch();
            if (std::chrono::steady_clock::now() > deadline) {
                failed = steps[at].what;
                at = steps.size();
                return LRESULT{0};
            }
            if (!acted) {
                acted = true;
                if (steps[at].act)
                    steps[at].act();
                return LRESULT{0};
            }
            if (!steps[at].done || steps[at].done()) {
                ++at;
                acted = false;
                deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            }
            return LRESULT{0};
        });
        SetTimer(driver, 1, 50);
        login.DoModal();
        // A step that closed the form ends the run; the rest did not happen.
        if (!failed && at < steps.size())
            failed = steps[at].what;
        DestroyWindow(driver);
        return failed;
    }

    static fs::path screenshotFolder()
    {
        const char* dir = std::getenv("KAVREL_SCREENSHOT_DIR");
        return dir ? fs::path(dir) : fs::path(KAVREL_BINARY_DIR) / "screenshots/ime";
    }

    // Made before the window system starts: the bus, then the input method on it.
    testsupport::DesktopPrograms m_desktop;
    testsupport::InputMethodDaemon m_ime;
    testsupport::DevServiceRunner m_service;
    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
    std::unique_ptr<CRequestWorker> m_worker;
    std::unique_ptr<CMainFrame> m_frame;
};

TEST_P(ImeLoginGtkTest, PinyinComposesInlineAtTheCaretAndTheLoginCarriesTheCommittedName)
{
    const Mode mode = GetParam();
    CWndLogin& login = m_frame->LoginWindow();
    const std::string nihao = CCodeLib::Utf8ToAnsi("你好");
    auto composing = [&] { return box("landing_edit_user") && !box("landing_edit_user")->edit().composition.empty(); };
    auto composed = [&] { return box("landing_edit_user") && box("landing_edit_user")->edit().composition.empty(); };
    auto userText = [&] { return box("landing_edit_user") ? box("landing_edit_user")->text() : std::string("(gone)"); };
    std::optional<ScreenRect> candidates, caret, movedCandidates;
    bool passwordComposed = false;
    RECT before{};
    std::chrono::steady_clock::time_point settled;

    const std::vector<Step> steps = {
        {"the form has the keyboard", nullptr,
         [&] { return login.m_hWnd && GetActiveWindow() == login.m_hWnd && keyboardWithin(platform::NativeWindowId(login.m_hWnd)); }},
        {"the input method is on", [&] { m_ime.activate(); }, nullptr},
        {"the input method composes", [] { testsupport::DesktopPrograms::typeText("nihao"); },
         [&] { return composing() && (candidates = candidateWindow()).has_value(); }},
        {"the composition is on the screen",
         [&] {
             caret = caretOnScreen(*box("landing_edit_user"));
             settled = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
         },
         [&] {
             if (std::chrono::steady_clock::now() < settled)
                 return false; // drawn by then
             RECT r{};
             GetWindowRect(login.m_hWnd, &r);
             before = r;
             candidates = candidateWindow().value_or(*candidates);
             const int right = std::max<int>(r.right, candidates->x + candidates->width) + 10;
             const int bottom = std::max<int>(r.bottom, candidates->y + candidates->height) + 10;
             const fs::path shot = screenshotFolder() / (std::string("login_composition_") + mode.name + ".png");
             fs::create_directories(shot.parent_path());
             EXPECT_TRUE(testsupport::saveScreen(shot.string(), r.left - 10, r.top - 10, right - r.left + 10, bottom - r.top + 10));
             return true;
         }},
        // The input method is told at once; its window moves when it next draws candidates.
        {"the window moves", [&] { MoveWindow(login.m_hWnd, before.left + 60, before.top + 40, before.right - before.left, before.bottom - before.top, true); },
         [&] {
             RECT now{};
             GetWindowRect(login.m_hWnd, &now);
             return now.left == before.left + 60 && now.top == before.top + 40;
         }},
        {"the candidate window follows the window", [] { testsupport::DesktopPrograms::typeText("n"); },
         [&] {
             movedCandidates = candidateWindow();
             // Down with the window; across to where the longer composition's cursor is.
             const ScreenRect now = caretOnScreen(*box("landing_edit_user"));
             return movedCandidates && std::abs(movedCandidates->x - now.x) <= 40
                    && std::abs(movedCandidates->y - (candidates->y + 40)) <= 8;
         }},
        {"Esc cancels the composition only", [] { pressKey("Escape"); }, [&] { return composed() && login.m_hWnd; }},
        {"Enter commits the composition only", [] { testsupport::DesktopPrograms::typeText("nihao"); },
         [&] { return composing(); }},
        {"Enter commits the letters", [] { pressKey("Return"); }, [&] { return composed() && !userText().empty(); }},
        {"select all and delete", [] { pressKey("a", true); pressKey("BackSpace"); }, [&] { return userText().empty(); }},
        {"compose again", [] { testsupport::DesktopPrograms::typeText("nihao"); }, [&] { return composing(); }},
        {"space takes the first candidate", [] { pressKey("space"); }, [&] { return composed() && userText() == nihao; }},
        // An input method that answers later hands Tab back after keys typed meanwhile, as
        // it would to any entry: a member waits for the focus to move.
        {"Tab moves to the password box", [] { pressKey("Tab"); },
         [&] { return GetFocusPlugin(login.m_hWnd) == box("landing_edit_password"); }},
        {"the password box takes plain keys", [] { testsupport::DesktopPrograms::typeText("nihao12"); },
         [&] {
             dulib::Element* password = box("landing_edit_password");
             passwordComposed = passwordComposed || (password && !password->edit().composition.empty());
             return password && password->text() == "nihao12";
         }},
        {"Enter logs in", [] { pressKey("Return"); }, [&] { return logins().size() == 1; }},
    };
    std::string lastUser, lastPassword;
    const char* failed = runInLoginWindow(steps, [&] {
        lastUser = userText();
        lastPassword = box("landing_edit_password") ? box("landing_edit_password")->text() : "(gone)";
    });
    EXPECT_EQ(failed, nullptr) << "did not finish: " << failed << " (name box: \"" << CCodeLib::AnsiToUtf8(lastUser)
                               << "\", password box: \"" << lastPassword << "\")";

    ASSERT_TRUE(candidates && caret);
    // Beside the caret: at most a caret's width to the left (the window's own border) and
    // just below the caret's line.
    EXPECT_NEAR(candidates->x, caret->x, 40) << "candidate window at " << candidates->x << "," << candidates->y
                                             << ", caret at " << caret->x << "," << caret->y;
    EXPECT_GE(candidates->y, caret->y + caret->height - 4);
    EXPECT_LE(candidates->y, caret->y + caret->height + 40);
    EXPECT_FALSE(passwordComposed) << "the password box must never show a composition";

    // Only the last Enter reached the form: one login, with the committed name and the
    // typed password, in the request's own bytes.
    const auto sent = logins();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].body, "{\n"
                            "   \"cmd\" : \"login\",\n"
                            "   \"cmdType\" : \"query\",\n"
                            "   \"content\" : {\n"
                            "      \"encrypt\" : true,\n"
                            "      \"hardwareinfo\" : \"\",\n"
                            "      \"pass\" : \"" + velmar::md5("nihao12") + "\",\n"
                            "      \"source\" : \"cs_v2013\",\n"
                            "      \"userID\" : \"\xe4\xbd\xa0\xe5\xa5\xbd\",\n"
                            "      \"ver\" : \"3.0.0.25\"\n"
                            "   }\n"
                            "}\n");
}

INSTANTIATE_TEST_SUITE_P(InputMethods, ImeLoginGtkTest,
                         ::testing::Values(Mode{"ibus_sync", false}, Mode{"ibus_async", true}),
                         [](const ::testing::TestParamInfo<Mode>& param) { return std::string(param.param.name); });

} // namespace
