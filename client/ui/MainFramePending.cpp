// Operations of CMainFrame whose real bodies are being written in parallel. Each one
// moves to its own file with its implementation; this file goes away when it is empty.
#include "client/ui/MainFrame.h"

int CMainFrame::OnPending(Plugin*, int, int) { return 0; }


bool CMainFrame::CheckPage(const std::string&) { return false; }


void CMainFrame::HostPage(const std::string&, bool) {}


void CMainFrame::DestroyHostedPage() {}


HWND CMainFrame::CurrentPageView() const { return nullptr; }


void CMainFrame::RefreshMemberPicture() {}


void CMainFrame::StartMemberPictureDownload(const std::string&, const std::string&) {}


void CMainFrame::ShowWhatsNewOnce() {}


void CMainFrame::CreateUpdateParts() {}


bool CMainFrame::OnUpdateMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }
