// A tray icon as a StatusNotifierItem: the session-bus protocol that today's panels host
// (org.kde.StatusNotifierItem, registered with org.kde.StatusNotifierWatcher), served with
// GDBus. GTK back-end files only; user-interface thread only.
#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::detail {

// A connection of our own to the session bus when one is known (DBUS_SESSION_BUS_ADDRESS,
// else the user's bus socket in XDG_RUNTIME_DIR), never starting one; null otherwise. Not
// GIO's shared connection, which would end the process when the bus goes away.
GDBusConnection* ConnectSessionBus();
// Whether the bus's StatusNotifierWatcher says a host (a panel that shows items) is
// registered; false when there is no watcher.
bool StatusNotifierHostRegistered(GDBusConnection* bus);

// One picture of the icon: ARGB32 pixels, each in network byte order (A, R, G, B bytes).
struct IconPixmap {
    int width = 0, height = 0;
    std::vector<std::uint8_t> argb;
};

class StatusNotifierItem {
public:
    enum class Gesture { Activate, ContextMenu };
    // Takes the bus name "org.kde.StatusNotifierItem-<pid>-<id>", serves the item at
    // /StatusNotifierItem and registers it with the watcher; registered() tells whether
    // all of that worked. gesture is called from our main loop for the host's requests.
    StatusNotifierItem(GDBusConnection* bus, unsigned id, const std::string& appId,
                       std::function<void(Gesture)> gesture);
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    bool registered() const { return m_registered; }
    // The title and tip; the host hears of the change.
    void setTitle(const std::string& utf8);
    // The pictures the host picks its size from, or a themed icon name when there are none.
    void setIcon(std::vector<IconPixmap> pixmaps, const std::string& iconName);

    // A watcher (re)started after us, as when the panel restarts: the item registers again.
    void watcherAppeared();

    // D-Bus handlers (the vtable's C callbacks end here).
    GVariant* property(const char* name) const;
    void call(const char* method, GDBusMethodInvocation* invocation);

private:
    void emit(const char* signal);

    GDBusConnection* m_bus = nullptr;
    GDBusNodeInfo* m_node = nullptr;
    std::string m_busName;
    std::string m_appId;
    guint m_object = 0;
    guint m_watcherSubscription = 0;
    bool m_ownsName = false;
    bool m_registered = false;
    std::function<void(Gesture)> m_gesture;
    std::string m_title;
    std::vector<IconPixmap> m_pixmaps;
    std::string m_iconName;
};

} // namespace platform::detail
