// CDialogWnd: a small skinned modal window (about, colour chooser) that Esc and Enter end
// and that ignores every other key; its close buttons cancel.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/ModalWnd.h"

class CDialogWnd : public CModalWnd {
protected:
    enum class KeysEnd { WithOK, WithCancel };

    // layout: the skin layout attached at creation (a literal, not copied).
    CDialogWnd(SkinManager* skin, CWnd* owner, const char* layout, KeysEnd keys)
        : CModalWnd(skin, owner), m_layout(layout), m_keys(keys)
    {
    }

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;

    // Event handlers for the derived windows' tables.
    int OnCancelButton(Plugin*, int, int)
    {
        OnCancel();
        return 0;
    }
    int OnOKButton(Plugin*, int, int)
    {
        OnOK();
        return 0;
    }

private:
    const char* m_layout;
    KeysEnd m_keys;
};
