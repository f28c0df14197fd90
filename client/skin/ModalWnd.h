// CModalWnd: the base of every skinned window that runs modally (about, colour chooser,
// login, web-page windows, update notice). The window exists only during DoModal.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/Wnd.h"

class CModalWnd : public CWnd {
public:
    // owner: the window this one runs over (disabled meanwhile), read when DoModal runs,
    // so it may be created later than this object; null for none. Not owned.
    explicit CModalWnd(SkinManager* skin = nullptr, CWnd* owner = nullptr) : CWnd(skin), m_pOwner(owner) {}
    ~CModalWnd() override;

    // Creates the window over its owner (disabled meanwhile), runs it until
    // EndModal and destroys it. Answers 1 after OnOK, 2 after OnCancel or a close
    // request, the code given to EndModal otherwise, 0 when the window cannot be
    // created.
    int DoModal();
    // Ends the modal run with code; does nothing unless a run is in progress.
    void EndModal(int code);

    virtual void OnCancel() { EndModal(2); }
    virtual void OnOK() { EndModal(1); }

    int GetModalResult() const { return m_nModalResult; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    int m_nModalResult = 0;

private:
    CWnd* m_pOwner = nullptr;
};
