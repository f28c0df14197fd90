#include "client/ui/DropDownTracking.h"

#include "client/skin/Wnd.h"

namespace {

// Non-client mouse messages: never made by our window system (skinned windows have no
// frame of their own), but a click on a frame anywhere must still end the tracking.
constexpr UINT kNcMouseMove = 0xA0;
constexpr UINT kNcButtonFirst = 0xA1;
constexpr UINT kNcButtonLast = 0xA9;

bool isKeyboard(UINT msg) { return msg >= WM_KEYFIRST && msg <= WM_KEYLAST; }
bool isMouse(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST; }
bool isNcMouse(UINT msg) { return msg >= kNcMouseMove && msg <= kNcButtonLast; }
bool isInput(UINT msg) { return isKeyboard(msg) || isMouse(msg) || isNcMouse(msg); }

void dispatch(const MSG& msg)
{
    TranslateMessage(&msg);
    DispatchMessage(&msg);
}

} // namespace

void TrackDropDown(HWND owner, CWnd& dropDown, const int& dismissed)
{
    auto tracked = [&] { return dismissed == 0 && dropDown.m_hWnd && GetActiveWindow() == owner; };

    MSG msg;
    bool quit = false;
    for (;;) {
        if (!GetMessage(&msg)) {
            quit = true;
            break;
        }
        if (!tracked()) {
            // Input meant for the drop-down has no one to go to now; the rest belongs to
            // other windows and must not be lost.
            if (!isInput(msg.message))
                dispatch(msg);
            break;
        }
        const HWND drop = dropDown.m_hWnd;
        if (msg.message >= kNcButtonFirst && msg.message <= kNcButtonLast)
            break;
        if (isKeyboard(msg.message) || msg.message == kNcMouseMove || msg.message == WM_MOUSEWHEEL) {
            msg.hwnd = drop;
        } else if (isMouse(msg.message)) {
            POINT pt{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
            if (msg.hwnd != drop) {
                ClientToScreen(msg.hwnd, &pt);
                ScreenToClient(drop, &pt);
            }
            msg.lParam = MAKELPARAM(pt.x, pt.y);
            msg.hwnd = drop;
        }
        dispatch(msg);
        if (!tracked())
            break;
    }

    dropDown.DestroyWindow();
    if (quit)
        PostQuitMessage(static_cast<int>(msg.wParam));
}
