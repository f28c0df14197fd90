// Operations of CMainFrame whose real bodies are being written in parallel. Each one
// moves to its own file with its implementation; this file goes away when it is empty.
#include "client/ui/MainFrame.h"

int CMainFrame::OnPending(Plugin*, int, int) { return 0; }




void CMainFrame::ChangeColourScheme(const std::string&) {}


void CMainFrame::ShowGuidance() {}


bool CMainFrame::OnServicesMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }


