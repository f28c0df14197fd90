// CWnd: the small window object every client window derives from. It creates a window of
// our window system, routes that window's messages to the virtual WindowProc (the class's
// message map: a switch over the messages it handles, passing the rest to its base) and
// forgets the handle when the window is gone.
//
// Threads: user-interface thread only.
//
// Ownership: the object owns its window; destroying the object destroys the window. A
// class whose objects must die with their window (a web view) deletes itself in
// PostNcDestroy.
#pragma once

#include "platform/window/WindowSystem.h"

class Plugin;
struct PluginEvent;
class SkinManager;

class CWnd {
public:
    // skin: the skin whose layouts this window attaches (CreateSkinned); null for a plain
    // window. Not owned.
    explicit CWnd(SkinManager* skin = nullptr) : m_pSkin(skin) {}
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Creates the window; its WM_CREATE reaches this object's WindowProc. False when the
    // window system refuses or the creation handler answers -1.
    [[nodiscard]] bool CreateEx(DWORD exStyle, const char* title, DWORD style, int x, int y, int cx, int cy,
                                HWND parent, int id, void* createParams = nullptr);
    bool DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    SkinManager* GetSkin() const { return m_pSkin; }
    // The object of a window created through CWnd, or null.
    static CWnd* FromHandle(HWND hwnd);

    // Convenience forms of the window-system calls on this window.
    bool ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    bool EnableWindow(bool enable) { return ::EnableWindow(m_hWnd, enable); }
    bool IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    bool CenterWindow(HWND over = nullptr) { return ::CenterWindow(m_hWnd, over); }
    bool InvalidateRect(const RECT* rect = nullptr, bool erase = true) { return ::InvalidateRect(m_hWnd, rect, erase); }
    bool UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    bool MoveWindow(int x, int y, int cx, int cy, bool repaint = true) { return ::MoveWindow(m_hWnd, x, y, cx, cy, repaint); }
    bool GetClientRect(RECT* rect) const { return ::GetClientRect(m_hWnd, rect); }
    bool GetWindowRect(RECT* rect) const { return ::GetWindowRect(m_hWnd, rect); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs) { return ::SetTimer(m_hWnd, id, elapseMs); }
    bool KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return ::PostMessage(m_hWnd, msg, wParam, lParam); }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return ::SendMessage(m_hWnd, msg, wParam, lParam); }

    HWND m_hWnd = nullptr;

protected:
    // The message map. The base handles WM_CREATE (OnCreate), WM_SKINEVENT (OnSkinEvent)
    // and WM_NCDESTROY, and passes everything else to Default().
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // The default handling of the message being handled now.
    LRESULT Default();

    // The creation handler: 0 to go on, -1 to abort the creation.
    virtual int OnCreate(CREATESTRUCT* cs);
    // A skin element event; the answer goes back to the skin engine. Windows with an
    // event table answer through DispatchSkinEvent (SkinEvents.h).
    virtual int OnSkinEvent(Plugin* element, const PluginEvent* event);
    // After the window is gone; m_hWnd is already null.
    virtual void PostNcDestroy() {}

    // The creation step every skinned window shares: the default creation, then the
    // layout of this window's skin attached to it. -1 when the default creation refuses;
    // the attach result is not read.
    int CreateSkinned(CREATESTRUCT* cs, const char* layout);

private:
    LRESULT dispatch(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    struct Current {
        UINT msg = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    } m_current;
    SkinManager* m_pSkin = nullptr;
    bool m_dying = false; // the object is being destroyed: no virtual calls any more
};
