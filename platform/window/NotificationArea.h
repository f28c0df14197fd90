// Whether the desktop has a notification area that a tray icon (DesktopShell.h) can sit in.
// A window hidden to the tray where there is none could never be brought back, so callers
// iconify it instead.
//
// Threads: user-interface thread only.
#pragma once

namespace platform {

// GTK back end: true while a StatusNotifierItem host is registered with the session bus's
// watcher, or some program owns the X screen's system-tray selection
// ("_NET_SYSTEM_TRAY_S<screen>") that an XEmbed icon embeds into. Asked at the time of the
// call, so a panel started later counts. Headless back end: what
// HeadlessSetNotificationArea (HeadlessControls.h) last set in this run (true at start). False while no window
// system runs.
bool HasNotificationArea();

} // namespace platform
