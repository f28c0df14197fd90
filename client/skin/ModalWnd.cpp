#include "client/skin/ModalWnd.h"

CModalWnd::~CModalWnd()
{
    if (m_hWnd)
        DestroyWindow();
}

int CModalWnd::DoModal()
{
    // A run that ends without EndModal reads 0, not what an earlier run of this object
    // (the login window runs many times) left behind.
    m_nModalResult = 0;

    HWND owner = nullptr;
    if (m_pOwner)
        owner = m_pOwner->m_hWnd;
    bool reenable = false;
    if (owner && owner != GetDesktopWindow() && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, false);
        reenable = true;
    }

    if (CreateEx(0, "", WS_POPUP | WS_OVERLAPPEDWINDOW, 0, 0, 400, 400, owner, 0)) {
        CenterWindow(owner);
        ShowWindow(SW_SHOW);
        if (m_hWnd)
            RunModalLoop(m_hWnd);
    }

    if (reenable && IsWindow(owner))
        ::EnableWindow(owner, true);
    if (owner && m_hWnd && GetActiveWindow() == m_hWnd)
        SetActiveWindow(owner);
    if (m_hWnd)
        DestroyWindow();
    return m_nModalResult;
}

void CModalWnd::EndModal(int code)
{
    if (m_hWnd && EndModalLoop(m_hWnd, code))
        m_nModalResult = code;
}

LRESULT CModalWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CLOSE) {
        // A close request is a cancel; then the default handling closes the window.
        EndModal(2);
        return Default();
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}
