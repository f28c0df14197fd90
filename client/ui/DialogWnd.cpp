#include "client/ui/DialogWnd.h"

#include "dulib/dulib.h"

int CDialogWnd::OnCreate(CREATESTRUCT* cs)
{
    if (CreateSkinned(cs, m_layout) == -1)
        return -1;
    WindowManager_SetOwnKeys(m_hWnd, KEYS_ENTER); // Enter ends the dialog; Space acts on the focus
    return 0;
}

LRESULT CDialogWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_KEYDOWN) {
        if (wParam == VK_ESCAPE || wParam == VK_RETURN) {
            if (m_keys == KeysEnd::WithOK)
                OnOK();
            else
                OnCancel();
        }
        return 0;
    }
    return CModalWnd::WindowProc(msg, wParam, lParam);
}
