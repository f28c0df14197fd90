#include "client/skin/Wnd.h"

#include "dulib/dulib.h"

#include <unordered_map>

namespace {

std::unordered_map<HWND, CWnd*>& objects()
{
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

} // namespace

CWnd::~CWnd()
{
    m_dying = true;
    if (m_hWnd && IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    if (m_hWnd)
        objects().erase(m_hWnd);
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    auto it = objects().find(hwnd);
    return it == objects().end() ? nullptr : it->second;
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
        objects()[hwnd] = this;
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
        HWND gone = m_hWnd;
        objects().erase(gone);
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
    if (m_pSkin)
        WindowManager_Attach(m_pSkin, m_hWnd, layout);
    return 0;
}
