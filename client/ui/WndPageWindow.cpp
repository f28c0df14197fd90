#include "client/ui/WndPageWindow.h"

#include "client/ui/MainFrame.h"
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

CWndPageWindow::CWndPageWindow(SkinManager* skin, CWnd* owner, std::string page)
    : CWndWebPage(skin, owner, "window_page", "window_page_hwndobj", std::move(page))
{
    m_bClosedByPage = true;
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

void OpenRequestedWindow(CMainFrame& frame, CWnd* owner, const std::string& address)
{
    if (!IsServiceAddress(frame, address)) {
        ShellOpen(address);
        return;
    }
    CWndPageWindow window(frame.GetSkin(), owner ? owner : &frame, address);
    window.DoModal();
}
