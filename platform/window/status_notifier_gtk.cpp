// The StatusNotifierItem tray icon over GDBus (see StatusNotifierItem.h and the README's
// decision on the tray).
#include "platform/window/StatusNotifierItem.h"

#include <glib/gstdio.h>
#include <unistd.h>

#include <filesystem>

namespace platform::detail {
namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
// The watcher answers at once; a bus that does not answer in this time is taken as none.
constexpr int kCallTimeoutMs = 2000;

constexpr const char* kItemXml = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="IconThemePath" type="s" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus"><arg name="status" type="s"/></signal>
  </interface>
</node>)xml";

GVariant* onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GError**,
                        gpointer data)
{
    return static_cast<const StatusNotifierItem*>(data)->property(name);
}

void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
                  GDBusMethodInvocation* invocation, gpointer data)
{
    static_cast<StatusNotifierItem*>(data)->call(method, invocation);
}

void onWatcherOwner(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                    gpointer data)
{
    const gchar* name = nullptr;
    const gchar* oldOwner = nullptr;
    const gchar* newOwner = nullptr;
    g_variant_get(parameters, "(&s&s&s)", &name, &oldOwner, &newOwner);
    if (newOwner && *newOwner)
        static_cast<StatusNotifierItem*>(data)->watcherAppeared();
}

const GDBusInterfaceVTable kVTable = {onMethodCall, onGetProperty, nullptr, {}};

GVariant* pixmapsVariant(const std::vector<IconPixmap>& pixmaps)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
    for (const IconPixmap& p : pixmaps) {
        GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, p.argb.data(), p.argb.size(), 1);
        g_variant_builder_add(&builder, "(ii@ay)", p.width, p.height, bytes);
    }
    return g_variant_builder_end(&builder);
}

// A method call on the bus, answered within kCallTimeoutMs; null on any failure.
GVariant* callSync(GDBusConnection* bus, const char* name, const char* path, const char* interface,
                   const char* method, GVariant* parameters, const char* replyType)
{
    return g_dbus_connection_call_sync(bus, name, path, interface, method, parameters,
                                       replyType ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                       kCallTimeoutMs, nullptr, nullptr);
}

} // namespace

GDBusConnection* ConnectSessionBus()
{
    std::string address;
    if (const char* set = g_getenv("DBUS_SESSION_BUS_ADDRESS"); set && *set) {
        address = set;
    } else if (const char* runtime = g_getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string socket = std::string(runtime) + "/bus";
        std::error_code error;
        if (std::filesystem::is_socket(socket, error))
            address = "unix:path=" + socket;
    }
    if (address.empty())
        return nullptr;
    const auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                                         | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    return g_dbus_connection_new_for_address_sync(address.c_str(), flags, nullptr, nullptr, nullptr);
}

bool StatusNotifierHostRegistered(GDBusConnection* bus)
{
    if (!bus)
        return false;
    GVariant* reply = callSync(bus, kWatcherName, kWatcherPath, "org.freedesktop.DBus.Properties", "Get",
                               g_variant_new("(ss)", kWatcherName, "IsStatusNotifierHostRegistered"), "(v)");
    if (!reply)
        return false;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool registered = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return registered;
}

StatusNotifierItem::StatusNotifierItem(GDBusConnection* bus, unsigned id, const std::string& appId,
                                       std::function<void(Gesture)> gesture)
    : m_bus(G_DBUS_CONNECTION(g_object_ref(bus))),
      m_busName("org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(id)),
      m_appId(appId),
      m_gesture(std::move(gesture))
{
    m_node = g_dbus_node_info_new_for_xml(kItemXml, nullptr);
    m_object = g_dbus_connection_register_object(m_bus, kItemPath, m_node->interfaces[0], &kVTable, this, nullptr,
                                                 nullptr);
    if (!m_object)
        return;
    // 4: do not queue behind another owner. 1: we are the primary owner.
    if (GVariant* reply = callSync(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   "RequestName", g_variant_new("(su)", m_busName.c_str(), 4u), "(u)")) {
        guint32 result = 0;
        g_variant_get(reply, "(u)", &result);
        m_ownsName = result == 1;
        g_variant_unref(reply);
    }
    if (!m_ownsName)
        return;
    m_watcherSubscription = g_dbus_connection_signal_subscribe(
        m_bus, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged", "/org/freedesktop/DBus", kWatcherName,
        G_DBUS_SIGNAL_FLAGS_NONE, onWatcherOwner, this, nullptr);
    if (GVariant* reply = callSync(m_bus, kWatcherName, kWatcherPath, kWatcherName, "RegisterStatusNotifierItem",
                                   g_variant_new("(s)", m_busName.c_str()), nullptr)) {
        m_registered = true;
        g_variant_unref(reply);
    }
}

StatusNotifierItem::~StatusNotifierItem()
{
    if (m_watcherSubscription)
        g_dbus_connection_signal_unsubscribe(m_bus, m_watcherSubscription);
    if (m_object)
        g_dbus_connection_unregister_object(m_bus, m_object);
    // The watcher drops the item when its name goes.
    if (m_ownsName) {
        g_dbus_connection_call(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "ReleaseName", g_variant_new("(s)", m_busName.c_str()), nullptr,
                               G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
        g_dbus_connection_flush_sync(m_bus, nullptr, nullptr);
    }
    g_dbus_node_info_unref(m_node);
    g_object_unref(m_bus);
}

void StatusNotifierItem::watcherAppeared()
{
    // Not waited for: the new watcher may be slow to serve, and the item is already up.
    g_dbus_connection_call(m_bus, kWatcherName, kWatcherPath, kWatcherName, "RegisterStatusNotifierItem",
                           g_variant_new("(s)", m_busName.c_str()), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                           kCallTimeoutMs, nullptr, nullptr, nullptr);
}

void StatusNotifierItem::setTitle(const std::string& utf8)
{
    if (utf8 == m_title)
        return;
    m_title = utf8;
    emit("NewTitle");
    emit("NewToolTip");
}

void StatusNotifierItem::setIcon(std::vector<IconPixmap> pixmaps, const std::string& iconName)
{
    m_pixmaps = std::move(pixmaps);
    m_iconName = iconName;
    emit("NewIcon");
}

GVariant* StatusNotifierItem::property(const char* name) const
{
    const std::string n = name;
    if (n == "Category")
        return g_variant_new_string("ApplicationStatus");
    if (n == "Id")
        return g_variant_new_string(m_appId.c_str());
    if (n == "Title")
        return g_variant_new_string(m_title.c_str());
    if (n == "Status")
        return g_variant_new_string("Active");
    if (n == "WindowId")
        return g_variant_new_int32(0);
    if (n == "IconName")
        return g_variant_new_string(m_pixmaps.empty() ? m_iconName.c_str() : "");
    if (n == "IconPixmap")
        return pixmapsVariant(m_pixmaps);
    if (n == "ToolTip")
        return g_variant_new("(s@a(iiay)ss)", "", pixmapsVariant({}), m_title.c_str(), "");
    if (n == "ItemIsMenu")
        return g_variant_new_boolean(FALSE);
    return g_variant_new_string(""); // the theme path and the overlay and attention icons
}

void StatusNotifierItem::call(const char* method, GDBusMethodInvocation* invocation)
{
    const std::string m = method;
    // Answered first: what the gesture starts (a menu's own loop) must not hold the host.
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (m == "Activate")
        m_gesture(Gesture::Activate);
    else if (m == "ContextMenu")
        m_gesture(Gesture::ContextMenu);
}

void StatusNotifierItem::emit(const char* signal)
{
    if (m_object)
        g_dbus_connection_emit_signal(m_bus, nullptr, kItemPath, kItemInterface, signal, nullptr, nullptr);
}

} // namespace platform::detail
