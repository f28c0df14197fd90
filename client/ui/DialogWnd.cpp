#include "client/ui/DialogWnd.h"

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
