// CMainFrame's guidance tour: shown on the first start (the login follows it) and from the
// help button (it only uncovers the face when it ends).
#include "client/ui/MainFrame.h"

namespace {

// The tour's pages in tour order; in the skin they are siblings, each next button a direct
// child of its page.
constexpr const char* kTourPages[] = {"window_guidance",  "window_guidance1", "window_guidance2",
                                      "window_guidance3", "window_guidance4", "window_guidance5"};

} // namespace

void CMainFrame::HideTourPages()
{
    for (const char* page : kTourPages)
        Plugin_SetVisible(GetPluginByName(m_hWnd, page), 0);
}

void CMainFrame::ShowGuidance()
{
    m_bTourFromHelp = 0;
    ShowElement("window_guidance_parent", true);
}

int CMainFrame::OnSysHelp(Plugin*, int, int)
{
    m_member.StopExternalLoginPoll();
    m_pages.DestroyHostedPage();
    for (const char* name : {"window_mid_part", "window_mask", "window_guidance_parent"})
        ShowElement(name, true);
    HideTourPages();
    if (Plugin* first = GetPluginByName(m_hWnd, kTourPages[0]))
        first->Show(1);
    m_bTourFromHelp = 1;
    InvalidateRect();
    return 0;
}

int CMainFrame::OnTourNext(Plugin* element, int, int)
{
    // A button outside the page order leaves the tour where it is rather than blank.
    Plugin* page = element->GetParent();
    Plugin* next = page ? page->GetNext() : nullptr;
    if (!next)
        return 0;
    HideTourPages();
    next->Show(1);
    InvalidateRect();
    return 0;
}

int CMainFrame::OnTourEnd(Plugin*, int, int)
{
    ShowElement("window_guidance_parent", false);
    if (m_bTourFromHelp)
        ShowElement("window_mask", false);
    else
        LoginFlow();
    InvalidateRect();
    return 0;
}
