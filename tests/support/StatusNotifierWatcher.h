// A StatusNotifierWatcher, as a panel's tray runs it, on a session bus: it owns
// org.kde.StatusNotifierWatcher, says whether a host is registered and records the items
// that register. It serves from a thread of its own, so the program under test may ask it
// with blocking calls from its user-interface thread. ItemCall reads an item from the
// test's own loop: the item answers from the user-interface thread the test pumps.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class StatusNotifierWatcher {
public:
    StatusNotifierWatcher(const std::string& busAddress, bool hostRegistered) : m_hostRegistered(hostRegistered)
    {
        std::promise<bool> ready;
        std::future<bool> started = ready.get_future();
        m_thread = std::thread([this, busAddress, &ready] { serve(busAddress, ready); });
        m_started = started.get();
    }
    ~StatusNotifierWatcher()
    {
        if (m_context) {
            g_main_context_invoke(m_context, [](gpointer loop) {
                g_main_loop_quit(static_cast<GMainLoop*>(loop));
                return G_SOURCE_REMOVE;
            }, m_loop);
        }
        m_thread.join();
    }
    StatusNotifierWatcher(const StatusNotifierWatcher&) = delete;
    StatusNotifierWatcher& operator=(const StatusNotifierWatcher&) = delete;

    // Whether the watcher's name is on the bus.
    bool started() const { return m_started; }
    // The services that registered, in order.
    std::vector<std::string> items() const
    {
        std::lock_guard lock(m_mutex);
        return m_items;
    }

private:
    static constexpr const char* kXml = R"xml(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
  </interface>
</node>)xml";

    void serve(const std::string& address, std::promise<bool>& ready)
    {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GMainLoop* loop = g_main_loop_new(context, FALSE);
        const auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                                             | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(address.c_str(), flags, nullptr, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kXml, nullptr);
        static const GDBusInterfaceVTable vtable = {onCall, onProperty, nullptr, {}};
        bool owned = false;
        if (bus && g_dbus_connection_register_object(bus, "/StatusNotifierWatcher", node->interfaces[0], &vtable, this,
                                                     nullptr, nullptr)) {
            GVariant* reply = g_dbus_connection_call_sync(
                bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                g_variant_new("(su)", "org.kde.StatusNotifierWatcher", 4u), G_VARIANT_TYPE("(u)"),
                G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
            if (reply) {
                guint32 result = 0;
                g_variant_get(reply, "(u)", &result);
                owned = result == 1;
                g_variant_unref(reply);
            }
        }
        m_context = context;
        m_loop = loop;
        ready.set_value(owned);
        if (owned)
            g_main_loop_run(loop);
        if (bus) {
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
        g_dbus_node_info_unref(node);
        g_main_loop_unref(loop);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    static void onCall(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data)
    {
        auto* self = static_cast<StatusNotifierWatcher*>(data);
        if (std::string(method) == "RegisterStatusNotifierItem") {
            const gchar* service = nullptr;
            g_variant_get(parameters, "(&s)", &service);
            // A path alone names an object of the caller.
            std::lock_guard lock(self->m_mutex);
            self->m_items.push_back(service[0] == '/' ? sender : service);
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    static GVariant* onProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                                GError**, gpointer data)
    {
        auto* self = static_cast<StatusNotifierWatcher*>(data);
        const std::string n = name;
        if (n == "IsStatusNotifierHostRegistered")
            return g_variant_new_boolean(self->m_hostRegistered);
        if (n == "ProtocolVersion")
            return g_variant_new_int32(0);
        std::lock_guard lock(self->m_mutex);
        GVariantBuilder items;
        g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
        for (const std::string& item : self->m_items)
            g_variant_builder_add(&items, "s", item.c_str());
        return g_variant_builder_end(&items);
    }

    const bool m_hostRegistered;
    bool m_started = false;
    GMainContext* m_context = nullptr;
    GMainLoop* m_loop = nullptr;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_items;
    std::thread m_thread;
};

// A call made from the test's thread and answered while pump runs the test's loop (the
// item lives on that loop). The reply, or null on an error or when the bus never answered.
inline GVariant* CallWhilePumping(GDBusConnection* bus, const std::string& name, const char* path,
                                  const char* interface, const char* method, GVariant* parameters,
                                  const std::function<bool(const std::function<bool()>&)>& pump)
{
    struct Call {
        bool done = false;
        GVariant* reply = nullptr;
    } call;
    g_dbus_connection_call(bus, name.c_str(), path, interface, method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE,
                           5000, nullptr,
                           [](GObject* source, GAsyncResult* result, gpointer data) {
                               auto* c = static_cast<Call*>(data);
                               c->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
                               c->done = true;
                           },
                           &call);
    pump([&call] { return call.done; });
    // A call still outstanding would write to this frame later; it ends within its time-out.
    while (!call.done)
        g_main_context_iteration(nullptr, TRUE);
    return call.reply;
}

} // namespace testsupport
