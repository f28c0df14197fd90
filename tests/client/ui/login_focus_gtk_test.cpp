// The login window on the X server under a real window manager: the first keys the member
// types, sent by the X server's test extension, land in the box the form opened with.
#include "DesktopFrameFixture.h"

#include "client/ui/WndLogin.h"

#include <chrono>
#include <string>

namespace {

// Whether the keyboard is with that X window or one inside it (GDK gives a top-level
// window's focus to a window of its own within it).
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

using LoginFocusGtkTest = testsupport::DesktopFrameTest;

TEST_F(LoginFocusGtkTest, FirstTypedKeysLandInTheNameBoxOrAfterARememberedNameInThePasswordBox)
{
    struct Case {
        const char* stored; // the settings' member lines
        const char* userAfter;
        const char* passwordAfter;
    };
    const Case cases[] = {
        {"", "ab12", ""},
        {"user=zhangsan\r\npassword=\r\nautologin=1\r\n", "zhangsan", "ab12"},
        // Both remembered: the name box, where a different member starts.
        {"user=zhangsan\r\npassword=123456\r\nautologin=2\r\n", "zhangsanab12", "123456"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        makeFrame(c.stored);
        CWndLogin& login = m_frame->LoginWindow();
        std::string user = "(never read)", password = "(never read)";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        // The steps run from a timer inside the form's modal loop.
        HWND driver = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, 0, [&](HWND h, UINT m, WPARAM w, LPARAM l) {
            if (m != WM_TIMER)
                return DefWindowProc(h, m, w, l);
            HWND form = login.m_hWnd;
            Plugin* userBox = form ? GetPluginByName(form, "landing_edit_user") : nullptr;
            Plugin* passwordBox = form ? GetPluginByName(form, "landing_edit_password") : nullptr;
            if (!userBox || !passwordBox)
                return LRESULT{0};
            user = userBox->GetText();
            password = passwordBox->GetText();
            if (std::chrono::steady_clock::now() > deadline) {
                login.OnCancel(); // the texts as they are then tell what went wrong
            } else if (w == 1 && GetActiveWindow() == form && keyboardWithin(platform::NativeWindowId(form))) {
                KillTimer(h, 1);
                testsupport::DesktopPrograms::typeText("ab12");
                SetTimer(h, 2, 50);
            } else if (w == 2 && userBox->GetText().size() + passwordBox->GetText().size()
                                     >= std::string(c.userAfter).size() + std::string(c.passwordAfter).size()) {
                KillTimer(h, 2);
                login.OnCancel();
            }
            return LRESULT{0};
        });
        SetTimer(driver, 1, 50);
        login.DoModal();
        DestroyWindow(driver);
        EXPECT_EQ(c.userAfter, user);
        EXPECT_EQ(c.passwordAfter, password);
        m_frame.reset();
    }
}

} // namespace
