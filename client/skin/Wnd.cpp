#include "client/skin/Wnd.h"

#include "dulib/dulib.h"

#include <unordered_map>

namespace {

// The objects of the run's windows; the window system drops the map at shutdown, so an
// object whose window never saw WM_NCDESTROY is not found by a later run.
struct WindowObjects {
    std::unordered_map<HWND, CWnd*> byHandle;
};

void forget(HWND hwnd)
{
    if (auto* objects = platform::RunStorage<WindowObjects>())
        objects->byHandle.erase(hwnd);
}

} // namespace

CWnd::~CWnd()
{
    m_dying = true;
    if (m_hWnd && IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    if (m_hWnd)
        forget(m_hWnd);
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    auto* objects = platform::RunStorage<WindowObjects>();
    if (!objects)
        return nullptr;
    auto it = objects->byHandle.find(hwnd);
    return it == objects->byHandle.end() ? nullptr : it->second;
}

bool CWnd::CreateEx(DWORD exStyle, const char* title, DWORD style, int x, int y, int cx, int cy, HWND parent,
                    int id, void* createParams)
{
    if (m_hWnd)
        return false;
    HWND made = ::CreateWindowEx(
        exStyle, title, style, x, y, cx, cy, parent, id,
        [this](HWND h, UINT m, WPARAM w, LPARAM l) { return dispatch(h, m, w, l); }, createParams);
    return made != nullptr;
}

bool CWnd::DestroyWindow()
{
    return m_hWnd && ::DestroyWindow(m_hWnd);
}

LRESULT CWnd::dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (m_dying)
        return ::DefWindowProc(hwnd, msg, wParam, lParam);
    if (!m_hWnd) {
        // The first message (WM_CREATE) binds the handle before any handler runs.
        m_hWnd = hwnd;
        platform::RunStorage<WindowObjects>()->byHandle[hwnd] = this;
    }
    Current saved = m_current;
    m_current = Current{msg, wParam, lParam};
    LRESULT result = WindowProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        // The object may be gone now (PostNcDestroy deletes views); touch nothing.
        return result;
    }
    m_current = saved;
    return result;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCT*>(lParam));
    case WM_SKINEVENT:
        return OnSkinEvent(reinterpret_cast<Plugin*>(wParam), reinterpret_cast<const PluginEvent*>(lParam));
    case WM_NCDESTROY: {
        forget(m_hWnd);
        m_hWnd = nullptr;
        PostNcDestroy();
        return 0;
    }
    default:
        return Default();
    }
}

LRESULT CWnd::Default()
{
    return ::DefWindowProc(m_hWnd, m_current.msg, m_current.wParam, m_current.lParam);
}

int CWnd::OnCreate(CREATESTRUCT*) { return 0; }

int CWnd::OnSkinEvent(Plugin*, const PluginEvent*) { return 0; }

int CWnd::CreateSkinned(CREATESTRUCT* cs, const char* layout)
{
    if (CWnd::OnCreate(cs) == -1)
        return -1;
    // A window whose layout is missing still opens, undrawn; the engine has said why.
    if (m_pSkin)
        (void)WindowManager_Attach(m_pSkin, m_hWnd, layout);
    return 0;
}
