// CWndWebPage: a modal skinned window whose face hosts one web page (the received-messages
// box, the quick help). The page is hosted while the window is created, with identifier
// 2000 and without the cache-buster; when its view cannot be made the window is not
// created and DoModal answers 0. Esc closes the window like its close button.
//
// Threads: user-interface thread only.
#pragma once

#include "client/skin/ModalWnd.h"

#include <string>

class CKavrelHtmlView;

class CWndWebPage : public CModalWnd {
public:
    // The view hosted now, null outside DoModal. It belongs to its window.
    CKavrelHtmlView* View() const { return m_pView; }
    const std::string& Page() const { return m_strPage; }

protected:
    // layout: the layout and the root element of the page; hostElement: the window-host
    // element the page lies over; page: the address, loaded as given.
    CWndWebPage(SkinManager* skin, CWnd* owner, const char* layout, const char* hostElement, std::string page);

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCT* cs) override;

    // The handler of the close button's row.
    int OnClose(Plugin* element, int param1, int param2);

    // The page's window.close() closes the window (a window the page opened itself).
    bool m_bClosedByPage = false;

private:
    const char* m_layout;
    const char* m_hostElement;
    CKavrelHtmlView* m_pView = nullptr;
    const std::string m_strPage;
};
