#include "client/ui/WndPageWindow.h"

#include "client/ui/MainFrame.h"
#include "dulib/dulib.h"
#include "platform/window/WindowSystem.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace {

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// "host[:port]" of an http or https address, lowered; empty for any other address. The
// default port is spelt out, so "http://a/" and "http://a:80/" are one host.
std::string hostOf(const std::string& address)
{
    const std::string lower = lowered(address);
    std::string rest, port;
    if (lower.rfind("http://", 0) == 0) {
        rest = lower.substr(7);
        port = "80";
    } else if (lower.rfind("https://", 0) == 0) {
        rest = lower.substr(8);
        port = "443";
    } else {
        return {};
    }
    std::string host = rest.substr(0, rest.find_first_of("/?#"));
    // Credentials before the host would let "http://service@elsewhere/" pass as the service.
    if (host.find('@') != std::string::npos || host.empty())
        return {};
    if (host.find(':') == std::string::npos)
        host += ":" + port;
    return host;
}

} // namespace

const EventMapEntry<CWndPageWindow> CWndPageWindow::s_events[] = {
    {"window_page_close", PE_CLICK, &CWndPageWindow::OnClose},
    {nullptr, 0, nullptr},
};

CWndPageWindow::CWndPageWindow(SkinManager* skin, CWnd* owner, std::string page, SIZE pageSize)
    : CWndWebPage(skin, owner, "window_page", "window_page_hwndobj", std::move(page)), m_pageSize(pageSize)
{
    m_bClosedByPage = true;
}

int CWndPageWindow::OnCreate(CREATESTRUCT* cs)
{
    if (CWndWebPage::OnCreate(cs) == -1)
        return -1;
    Plugin* host = GetPluginByName(m_hWnd, "window_page_hwndobj");
    if ((m_pageSize.cx <= 0 && m_pageSize.cy <= 0) || !host)
        return 0;
    // The frame is what the layout puts around its page area; the window is placed (and
    // kept on the work area) by the modal run once it has its size. A part not asked for
    // keeps the layout's.
    RECT window{}, area{};
    GetWindowRect(&window);
    host->GetRect(&area);
    const RECT work = GetWorkArea();
    auto side = [](int asked, int layout, int frame, int screen) {
        return std::min(asked > 0 ? std::max(asked, kMinPageSide) + frame : layout, screen);
    };
    MoveWindow(window.left, window.top, side(m_pageSize.cx, window.width(), window.width() - area.width(), work.width()),
               side(m_pageSize.cy, window.height(), window.height() - area.height(), work.height()));
    return 0;
}

int CWndPageWindow::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}

bool IsServiceAddress(const CMainFrame& frame, const std::string& address)
{
    const std::string host = hostOf(address);
    if (host.empty())
        return false;
    return host == hostOf(frame.serverAddresses().pageBase) || host == hostOf("http://" + frame.webSite());
}

void OpenRequestedWindow(CMainFrame& frame, CWnd* owner, const std::string& address, SIZE pageSize)
{
    if (!IsServiceAddress(frame, address)) {
        ShellOpen(address);
        return;
    }
    CWndPageWindow window(frame.GetSkin(), owner ? owner : &frame, address, pageSize);
    window.DoModal();
}
