// The desktop shell's calls, dispatched to the back end; the headless forms live here.
#include "platform/window/DesktopShell.h"

#include "platform/window/WindowCore.h"

#include "platform/CodeLib.h"

#include <map>

namespace platform::detail {

// Implemented by shell_gtk.cpp.
bool GtkAddTrayIcon(HWND target, UINT id, UINT message, const std::string& tipUtf8, const std::string& iconFile);
bool GtkRemoveTrayIcon(UINT id);
UINT GtkTrackPopupMenu(const std::vector<MenuItem>& items, int x, int y, HWND owner);
POINT GtkCursorPos();
unsigned long GtkNativeWindowId(HWND hwnd);
bool GtkMarkRunningInstance(HWND hwnd, const char* name);
unsigned long GtkFindRunningInstance(const char* name);
bool GtkActivateRunningInstance(unsigned long xid);

} // namespace platform::detail

namespace platform {
namespace {

struct TrayRecord {
    HWND target = nullptr;
    UINT message = 0;
};

// User-interface thread only.
std::map<UINT, TrayRecord> g_tray;
UINT g_menuChoice = 0;
std::vector<MenuItem> g_lastMenu;

bool gtk() { return CurrentBackend() == Backend::Gtk; }

} // namespace

bool AddTrayIcon(HWND target, UINT id, UINT message, const std::string& tipGbk, const std::string& iconFile)
{
    if (!IsWindow(target))
        return false;
    if (gtk() && !detail::GtkAddTrayIcon(target, id, message, CCodeLib::AnsiToUtf8(tipGbk), iconFile))
        return false;
    g_tray[id] = TrayRecord{target, message};
    return true;
}

bool RemoveTrayIcon(UINT id)
{
    if (!g_tray.erase(id))
        return false;
    if (gtk())
        detail::GtkRemoveTrayIcon(id);
    return true;
}

bool IsTrayIconShown(UINT id) { return g_tray.count(id) != 0; }

void HeadlessTrayGesture(UINT id, UINT mouseMessage)
{
    auto it = g_tray.find(id);
    if (it == g_tray.end() || gtk())
        return;
    PostMessage(it->second.target, it->second.message, id, static_cast<LPARAM>(mouseMessage));
}

UINT TrackPopupMenu(const std::vector<MenuItem>& items, int x, int y, HWND owner)
{
    UINT chosen = 0;
    if (gtk()) {
        chosen = detail::GtkTrackPopupMenu(items, x, y, owner);
    } else {
        g_lastMenu = items;
        chosen = g_menuChoice;
        g_menuChoice = 0;
    }
    if (chosen && IsWindow(owner))
        PostMessage(owner, WM_COMMAND, chosen, 0);
    return chosen;
}

void HeadlessSetMenuChoice(UINT id) { g_menuChoice = id; }
std::vector<MenuItem> HeadlessLastMenu() { return g_lastMenu; }

POINT GetCursorPos() { return gtk() ? detail::GtkCursorPos() : POINT{}; }

unsigned long NativeWindowId(HWND hwnd) { return gtk() && IsWindow(hwnd) ? detail::GtkNativeWindowId(hwnd) : 0; }

bool MarkRunningInstance(HWND mainWindow, const char* name)
{
    if (!IsWindow(mainWindow) || !name || !*name)
        return false;
    SetProp(mainWindow, name, reinterpret_cast<void*>(static_cast<std::uintptr_t>(kInstanceMarkerValue)));
    return gtk() ? detail::GtkMarkRunningInstance(mainWindow, name) : true;
}

unsigned long FindRunningInstance(const char* name)
{
    if (!gtk() || !name || !*name)
        return 0;
    return detail::GtkFindRunningInstance(name);
}

bool ActivateRunningInstance(const char* name)
{
    unsigned long xid = FindRunningInstance(name);
    return xid != 0 && detail::GtkActivateRunningInstance(xid);
}

} // namespace platform
