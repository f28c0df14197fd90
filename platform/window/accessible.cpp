// The windows' accessibility sources, one run's worth; the GTK back end reads them.
#include "platform/window/Accessible.h"

#include "platform/window/WindowSystem.h"

#include <unordered_map>

namespace platform {
namespace detail {
void FaceAccessibleChanged(HWND hwnd); // the GTK back end (accessible_gtk.cpp)
} // namespace detail

namespace {

struct AccessibleSources {
    std::unordered_map<HWND, AccessibleSource*> byWindow;
};

AccessibleSources* Sources() { return RunStorage<AccessibleSources>(); }

} // namespace

void SetAccessibleSource(HWND hwnd, AccessibleSource* source)
{
    AccessibleSources* sources = Sources();
    if (!sources || !hwnd)
        return;
    if (source)
        sources->byWindow[hwnd] = source;
    else
        sources->byWindow.erase(hwnd);
    AccessibleChanged(hwnd);
}

void RemoveAccessibleSource(HWND hwnd, AccessibleSource* source)
{
    AccessibleSources* sources = Sources();
    if (!sources)
        return;
    auto it = sources->byWindow.find(hwnd);
    if (it == sources->byWindow.end() || it->second != source)
        return;
    sources->byWindow.erase(it);
    AccessibleChanged(hwnd);
}

AccessibleSource* AccessibleSourceOf(HWND hwnd)
{
    AccessibleSources* sources = Sources();
    if (!sources)
        return nullptr;
    auto it = sources->byWindow.find(hwnd);
    return it == sources->byWindow.end() ? nullptr : it->second;
}

void AccessibleChanged(HWND hwnd)
{
    if (CurrentBackend() == Backend::Gtk)
        detail::FaceAccessibleChanged(hwnd);
}

} // namespace platform
