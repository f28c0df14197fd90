// Operations of CMainFrame whose real bodies are being written in parallel. Each one
// moves to its own file with its implementation; this file goes away when it is empty.
#include "client/ui/MainFrame.h"

int CMainFrame::OnPending(Plugin*, int, int) { return 0; }
