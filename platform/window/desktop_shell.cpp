// The desktop shell's calls (DesktopShell.h, MessageBox, ShellOpen), served by the back
// end of the running window system.
#include "platform/window/DesktopShell.h"
#include "platform/window/NotificationArea.h"

#include "platform/window/WindowCore.h"

#include "platform/CodeLib.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace platform {
namespace {

detail::Backend* backend() { return detail::CurrentBackendObject(); }

} // namespace

bool SetApplicationIcon(const std::string& folder)
{
    if (!backend())
        return false;
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".png")
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return backend()->setApplicationIcon(files);
}

bool AddTrayIcon(HWND target, UINT id, UINT message, const std::string& tipGbk, const std::string& iconFile)
{
    detail::Window* w = detail::FindWindow(target);
    if (!w || !IsWindow(target))
        return false;
    return backend()->addTrayIcon(*w, id, message, CCodeLib::AnsiToUtf8(tipGbk), iconFile);
}

bool RemoveTrayIcon(UINT id) { return backend() && backend()->removeTrayIcon(id); }

bool IsTrayIconShown(UINT id) { return backend() && backend()->isTrayIconShown(id); }

bool HasNotificationArea() { return backend() && backend()->hasNotificationArea(); }

UINT TrackPopupMenu(const std::vector<MenuItem>& items, int x, int y, HWND owner)
{
    if (!backend())
        return 0;
    UINT chosen = backend()->trackPopupMenu(items, x, y);
    // A greyed-out item is never an answer, whatever the back end reported.
    const bool usable = std::any_of(items.begin(), items.end(),
                                    [chosen](const MenuItem& item) { return item.id == chosen && item.enabled; });
    if (!usable)
        chosen = 0;
    if (chosen && IsWindow(owner))
        PostMessage(owner, WM_COMMAND, chosen, 0);
    return chosen;
}

POINT GetCursorPos() { return backend() ? backend()->cursorPos() : POINT{}; }

unsigned long NativeWindowId(HWND hwnd)
{
    detail::Window* w = detail::FindWindow(hwnd);
    return w && IsWindow(hwnd) ? backend()->nativeWindowId(*w) : 0;
}

bool MarkRunningInstance(HWND mainWindow, const char* name)
{
    detail::Window* w = detail::FindWindow(mainWindow);
    if (!w || !IsWindow(mainWindow) || !name || !*name)
        return false;
    SetProp(mainWindow, name, reinterpret_cast<void*>(static_cast<std::uintptr_t>(kInstanceMarkerValue)));
    return backend()->markRunningInstance(*w, name);
}

unsigned long FindRunningInstance(const char* name)
{
    if (!backend() || !name || !*name)
        return 0;
    return backend()->findRunningInstance(name);
}

bool ActivateRunningInstance(const char* name)
{
    unsigned long xid = FindRunningInstance(name);
    return xid != 0 && backend()->activateRunningInstance(xid);
}

} // namespace platform

int MessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    std::string textUtf8 = CCodeLib::AnsiToUtf8(text ? text : "");
    std::string captionUtf8 = CCodeLib::AnsiToUtf8(caption ? caption : "");
    std::fprintf(stderr, "%s: %s\n", captionUtf8.c_str(), textUtf8.c_str());
    std::fflush(stderr);
    platform::detail::Backend* backend = platform::detail::CurrentBackendObject();
    if (!backend)
        return IDOK;
    return backend->messageBox(platform::detail::FindWindow(owner), textUtf8, captionUtf8, type);
}

bool ShellOpen(const std::string& address)
{
    platform::detail::Backend* backend = platform::detail::CurrentBackendObject();
    if (address.empty() || !backend)
        return false;
    std::string uri = address;
    if (uri.find("://") == std::string::npos)
        uri = "http://" + uri;
    return backend->shellOpen(uri);
}
