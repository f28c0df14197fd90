// The engine inside the window system: a layout attached to a window hooks its procedure,
// paints on WM_PAINT, turns mouse and keyboard messages into gestures and edit input, and
// sends element events back to the window as WM_SKINEVENT.
#include "dulib/Accessible.h"
#include "dulib/Navigation.h"
#include "dulib/View.h"
#include "dulib/dulib.h"

#include "platform/window/Accessible.h"
#include "platform/window/Clipboard.h"
#include "platform/window/DesktopShell.h"
#include "platform/window/WindowSystem.h"

#include <cairo.h>

#include <cstdio>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace dulib {
namespace {

constexpr WPARAM kSizeRestored = 0; // WM_SIZE kinds
constexpr WPARAM kSizeMaximized = 2;
constexpr WPARAM kMouseShift = 0x0004; // MK_SHIFT

class SkinWindow;
SkinWindow* Lookup(HWND hwnd);

// The window's view, its host and what a screen reader sees of it.
class SkinWindow final : public ViewHost, public platform::AccessibleSource {
public:
    SkinWindow(Skin& skin, const LayoutDesc& layout, HWND hwnd) : m_hwnd(hwnd), m_view(skin, layout, this)
    {
        platform::SetAccessibleSource(hwnd, this);
    }
    ~SkinWindow() { platform::RemoveAccessibleSource(m_hwnd, this); }
    SkinWindow(const SkinWindow&) = delete;
    SkinWindow& operator=(const SkinWindow&) = delete;

    View& view() { return m_view; }
    WindowProc& oldProc() { return m_oldProc; }

    LRESULT RaiseEvent(Element* element, PluginEvent* event) override
    {
        return SendMessage(m_hwnd, WM_SKINEVENT, reinterpret_cast<WPARAM>(static_cast<Plugin*>(element)),
                           reinterpret_cast<LPARAM>(event));
    }
    // Every change of the face repaints it, so this is where a screen reader learns of them.
    void Invalidate() override
    {
        InvalidateRect(m_hwnd, nullptr, false);
        platform::AccessibleChanged(m_hwnd);
    }
    void PaintNow() override { UpdateWindow(m_hwnd); }
    void PlaceWindow(HWND child, const RECT& r) override
    {
        MoveWindow(child, r.left, r.top, r.width(), r.height(), true);
    }
    void ShowHostedWindow(HWND child, bool show) override { ShowWindow(child, show ? SW_SHOW : SW_HIDE); }
    bool WindowAlive(HWND child) override { return IsWindow(child); }
    void OpenLink(const std::string& address) override { ShellOpen(address); }
    void BeginMove() override { BeginMoveDrag(m_hwnd); }

    platform::AccessibleFace DescribeFace() override { return DescribeView(m_view); }
    bool Click(const void* key) override
    {
        Element* element = ElementOfKey(m_view, key);
        const HWND hwnd = m_hwnd;
        if (!element || !ClickElement(m_view, *element)) return false;
        // No pointer made this click: the element keeps no hover look from it.
        if (Lookup(hwnd) == this) m_view.MouseLeave();
        return true;
    }
    bool Focus(const void* key) override
    {
        Element* element = ElementOfKey(m_view, key);
        if (!element || !element->shownOnScreen()) return false;
        m_view.SetFocus(element);
        return m_view.focus() == element;
    }
    void SetClipboardText(bool primary, const std::string& gbk) override
    {
        platform::SetClipboardText(primary ? platform::Clipboard::Primary : platform::Clipboard::Standard, gbk);
    }
    void RequestClipboardText(bool primary, std::function<void(std::optional<std::string>)> done) override
    {
        platform::RequestClipboardText(primary ? platform::Clipboard::Primary : platform::Clipboard::Standard,
                                       std::move(done));
    }
    int PopupMenu(const std::vector<MenuEntry>& entries, int x, int y) override
    {
        std::vector<platform::MenuItem> items;
        for (size_t i = 0; i < entries.size(); ++i)
            items.push_back(platform::MenuItem{static_cast<UINT>(i + 1), entries[i].text, entries[i].enabled});
        POINT at{x, y};
        ClientToScreen(m_hwnd, &at);
        // No owner: the choice is the edit box's, not a command of the window.
        return static_cast<int>(platform::TrackPopupMenu(items, at.x, at.y, nullptr)) - 1;
    }
    void ImeFocus(ImeInput input, const RECT& caret) override
    {
        SetImeMode(m_hwnd, input == ImeInput::Password ? ImeMode::Password
                           : input == ImeInput::Text   ? ImeMode::Text
                                                       : ImeMode::Off);
        if (input != ImeInput::Off) SetImeCursorRect(m_hwnd, caret);
    }

private:
    HWND m_hwnd;
    View m_view;
    WindowProc m_oldProc;
};

// The run's attached windows, dropped by the window system at shutdown. User-interface
// thread only, like every window call.
struct AttachedWindows {
    std::unordered_map<HWND, std::unique_ptr<SkinWindow>> byHandle;
};

AttachedWindows* Attached() { return platform::RunStorage<AttachedWindows>(); }

SkinWindow* Lookup(HWND hwnd)
{
    AttachedWindows* attached = Attached();
    if (!attached) return nullptr;
    auto it = attached->byHandle.find(hwnd);
    return it == attached->byHandle.end() ? nullptr : it->second.get();
}

LRESULT Forward(const WindowProc& proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, msg, wParam, lParam) : DefWindowProc(hwnd, msg, wParam, lParam);
}

LRESULT SkinProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    SkinWindow* sw = Lookup(hwnd);
    if (!sw) return DefWindowProc(hwnd, msg, wParam, lParam);
    // A handler reached from here may destroy the window (and this record): keep what is
    // needed to pass the message on.
    WindowProc old = sw->oldProc();
    View& view = sw->view();
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    switch (msg) {
    case WM_PAINT:
        if (wParam) view.Paint(reinterpret_cast<cairo_t*>(wParam));
        return 0;
    case WM_SIZE:
        view.Resize(LOWORD(static_cast<std::uintptr_t>(lParam)), HIWORD(static_cast<std::uintptr_t>(lParam)));
        if (wParam == kSizeRestored || wParam == kSizeMaximized) view.SetMaximized(wParam == kSizeMaximized);
        break;
    case WM_MOUSEMOVE:
        view.MouseMove(x, y);
        break;
    case WM_MOUSELEAVE:
        view.MouseLeave();
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        view.MouseDown(x, y, msg == WM_LBUTTONDBLCLK, (wParam & kMouseShift) ? kModShift : 0);
        if (!Lookup(hwnd)) return 0;
        if (view.pressed() || view.selecting()) SetCapture(hwnd);
        break;
    case WM_MBUTTONDOWN:
        view.MiddleDown(x, y);
        break;
    case WM_RBUTTONDOWN:
        // The edit box's own menu; elsewhere the window decides.
        if (view.ContextMenu(x, y)) return 0;
        break;
    case WM_IME_COMPOSITION: {
        ImeComposition composition = GetImeComposition(hwnd);
        view.SetComposition(composition.utf8, composition.cursor);
        break;
    }
    case WM_LBUTTONUP:
        if (GetCapture() == hwnd) ReleaseCapture();
        view.MouseUp(x, y);
        if (!Lookup(hwnd)) return 0;
        break;
    case WM_KEYDOWN: {
        const unsigned modifiers = (GetKeyState(VK_SHIFT) < 0 ? kModShift : 0u)
                                   | (GetKeyState(VK_CONTROL) < 0 ? kModControl : 0u);
        if (!view.KeyDown(static_cast<int>(wParam), modifiers)) {
            NavigateByKey(view, static_cast<int>(wParam), (modifiers & kModShift) != 0);
            if (!Lookup(hwnd)) return 0; // an activated control closed the window
        }
        break;
    }
    case WM_CHAR:
        if (view.Char(static_cast<unsigned>(wParam))) return 0;
        break;
    case WM_IME_CHAR:
        // Used here, it must not come back as WM_CHAR from the default handling.
        if (view.ImeChar(static_cast<unsigned>(wParam))) return 0;
        break;
    case WM_NCDESTROY: {
        LRESULT r = Forward(old, hwnd, msg, wParam, lParam);
        if (AttachedWindows* attached = Attached()) attached->byHandle.erase(hwnd);
        return r;
    }
    default:
        break;
    }
    return Forward(old, hwnd, msg, wParam, lParam);
}

View* ViewOf(HWND hwnd)
{
    SkinWindow* sw = Lookup(hwnd);
    return sw ? &sw->view() : nullptr;
}

} // namespace
} // namespace dulib

int WindowManager_Attach(SkinManager* manager, HWND hwnd, const char* layout)
{
    if (!manager || !layout || !IsWindow(hwnd)) return 0;
    auto* skin = static_cast<dulib::Skin*>(manager);
    const dulib::LayoutDesc* desc = skin->FindLayout(layout);
    if (!desc) {
        std::fprintf(stderr, "skin: no layout \"%s\"\n", layout);
        return 0;
    }
    auto& attached = dulib::Attached()->byHandle; // a run is going: the window exists
    WindowProc old;
    if (auto it = attached.find(hwnd); it != attached.end()) {
        old = it->second->oldProc(); // attached again: the window's own procedure stays below
        attached.erase(it);
    }
    auto sw = std::make_unique<dulib::SkinWindow>(*skin, *desc, hwnd);
    dulib::SkinWindow* raw = sw.get();
    attached[hwnd] = std::move(sw);
    WindowProc previous = SetWindowProc(hwnd, dulib::SkinProc);
    raw->oldProc() = old ? old : previous;
    RECT wr;
    GetWindowRect(hwnd, &wr);
    MoveWindow(hwnd, wr.left, wr.top, desc->width, desc->height, true);
    RECT cr;
    if (GetClientRect(hwnd, &cr) && dulib::Lookup(hwnd)) raw->view().Resize(cr.width(), cr.height());
    InvalidateRect(hwnd, nullptr, false);
    return 1;
}

Plugin* GetPluginByName(HWND hwnd, const char* name)
{
    dulib::View* view = dulib::ViewOf(hwnd);
    return view && name ? view->Find(name) : nullptr;
}

void WindowManager_SetOwnKeys(HWND hwnd, int keys)
{
    if (dulib::View* view = dulib::ViewOf(hwnd)) view->SetOwnKeys(keys);
}

Plugin* GetFocusPlugin(HWND hwnd)
{
    dulib::View* view = dulib::ViewOf(hwnd);
    return view ? view->focus() : nullptr;
}

void SetFocusPlugin(HWND hwnd, Plugin* element)
{
    dulib::View* view = dulib::ViewOf(hwnd);
    if (!view) return;
    auto* e = static_cast<dulib::Element*>(element);
    if (e && &e->view() != view) return; // an element of another window
    view->SetFocus(e);
}
