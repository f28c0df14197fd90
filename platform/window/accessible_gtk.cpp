// The GTK back end's accessibility. Every window's face is a drawing area of our own type
// whose ATK object has one child per node of the window's AccessibleSource. The face
// reads the source again after each change (in an idle, or at once when a screen reader
// asks first) and tells what changed: children added and removed, names, states, text,
// caret, focus and bounds. A notification face announces its message when it appears or
// its message changes. Actions run in an idle: a click may open a modal loop or destroy
// the window, which must not happen inside the screen reader's call.
#include "platform/window/Accessible.h"
#include "platform/window/GtkBackend.h"

#include <gtk/gtk-a11y.h>

#include <string>
#include <vector>

namespace platform::detail {
namespace {

struct FaceState;

// ---- types ----------------------------------------------------------------------------

// A node: the ATK object of one AccessibleNode.
struct NodeData {
    FaceState* face = nullptr; // null once the node left its face (defunct)
    AccessibleNode node;
};

struct KavrelNode {
    AtkObject parent;
    NodeData* data;
};
struct KavrelNodeClass {
    AtkObjectClass parent;
};

// A node with text: edit boxes and labels.
struct KavrelTextNode {
    KavrelNode parent;
};
struct KavrelTextNodeClass {
    KavrelNodeClass parent;
};

struct KavrelFaceAccessible {
    GtkWidgetAccessible parent;
    FaceState* state;
};
struct KavrelFaceAccessibleClass {
    GtkWidgetAccessibleClass parent;
};

struct KavrelFace {
    GtkDrawingArea parent;
    HWND hwnd;
    AtkObject* accessible; // made on the first request of a screen reader (or of GTK's focus tracking)
};
struct KavrelFaceClass {
    GtkDrawingAreaClass parent;
};

// The types are registered by hand: GLib's definition macros cast in our code.
gpointer g_nodeParent = nullptr;
gpointer g_faceAccessibleParent = nullptr;

void nodeInit(GTypeInstance* instance, gpointer);
void nodeClassInit(gpointer klass, gpointer);
void nodeComponentInit(gpointer iface, gpointer);
void nodeActionInit(gpointer iface, gpointer);
void textInit(gpointer iface, gpointer);
void faceAccessibleInit(GTypeInstance* instance, gpointer);
void faceAccessibleClassInit(gpointer klass, gpointer);
void faceClassInit(gpointer klass, gpointer);

GType nodeType()
{
    static const GType type = [] {
        const GType t = g_type_register_static_simple(ATK_TYPE_OBJECT, "KavrelNode", sizeof(KavrelNodeClass),
                                                      nodeClassInit, sizeof(KavrelNode), nodeInit, GTypeFlags(0));
        const GInterfaceInfo component{nodeComponentInit, nullptr, nullptr};
        g_type_add_interface_static(t, ATK_TYPE_COMPONENT, &component);
        const GInterfaceInfo action{nodeActionInit, nullptr, nullptr};
        g_type_add_interface_static(t, ATK_TYPE_ACTION, &action);
        return t;
    }();
    return type;
}

GType textNodeType()
{
    static const GType type = [] {
        const GType t = g_type_register_static_simple(nodeType(), "KavrelTextNode", sizeof(KavrelTextNodeClass),
                                                      nullptr, sizeof(KavrelTextNode), nullptr, GTypeFlags(0));
        const GInterfaceInfo text{textInit, nullptr, nullptr};
        g_type_add_interface_static(t, ATK_TYPE_TEXT, &text);
        return t;
    }();
    return type;
}

GType faceAccessibleType()
{
    static const GType type = g_type_register_static_simple(
        GTK_TYPE_WIDGET_ACCESSIBLE, "KavrelFaceAccessible", sizeof(KavrelFaceAccessibleClass),
        faceAccessibleClassInit, sizeof(KavrelFaceAccessible), faceAccessibleInit, GTypeFlags(0));
    return type;
}

GType faceType()
{
    static const GType type = g_type_register_static_simple(GTK_TYPE_DRAWING_AREA, "KavrelFace",
                                                            sizeof(KavrelFaceClass), faceClassInit,
                                                            sizeof(KavrelFace), nullptr, GTypeFlags(0));
    return type;
}

// ---- the face's state -----------------------------------------------------------------

struct FaceState {
    AtkObject* self = nullptr;
    HWND hwnd = nullptr;
    bool described = false; // the window has a source
    AccessibleFace face;
    std::vector<AtkObject*> children; // one reference each, parallel to face.nodes
    bool dirty = true;
    bool told = false; // the first reading tells nobody: it is what a reader finds
    guint idle = 0;
    const void* focusKey = nullptr;
    std::string announced; // the message announced while the face is mapped
};

NodeData* dataOf(AtkObject* obj) { return reinterpret_cast<KavrelNode*>(obj)->data; }
FaceState* stateOf(AtkObject* obj) { return reinterpret_cast<KavrelFaceAccessible*>(obj)->state; }
KavrelFace* faceOf(GtkWidget* widget)
{
    return G_TYPE_CHECK_INSTANCE_TYPE(widget, faceType()) ? reinterpret_cast<KavrelFace*>(widget) : nullptr;
}
GtkWidget* widgetOf(const FaceState& s) { return gtk_accessible_get_widget(GTK_ACCESSIBLE(s.self)); }
bool faceHasFocus(const FaceState& s)
{
    GtkWidget* widget = widgetOf(s);
    return widget && gtk_widget_has_focus(widget);
}

AtkRole atkRole(AccessibleRole role)
{
    switch (role) {
    case AccessibleRole::Panel: return ATK_ROLE_PANEL;
    case AccessibleRole::Notification: return ATK_ROLE_NOTIFICATION;
    case AccessibleRole::PushButton: return ATK_ROLE_PUSH_BUTTON;
    case AccessibleRole::ToggleButton: return ATK_ROLE_TOGGLE_BUTTON;
    case AccessibleRole::CheckBox: return ATK_ROLE_CHECK_BOX;
    case AccessibleRole::Entry: return ATK_ROLE_ENTRY;
    case AccessibleRole::PasswordText: return ATK_ROLE_PASSWORD_TEXT;
    case AccessibleRole::Link: return ATK_ROLE_LINK;
    case AccessibleRole::Label: return ATK_ROLE_LABEL;
    case AccessibleRole::Image: return ATK_ROLE_IMAGE;
    }
    return ATK_ROLE_UNKNOWN;
}

bool textual(AccessibleRole role)
{
    return role == AccessibleRole::Entry || role == AccessibleRole::PasswordText || role == AccessibleRole::Label;
}

void sync(FaceState& s);

void fresh(FaceState& s)
{
    if (s.dirty)
        sync(s);
}

// The node's description as it is now; null once the node left its face.
const AccessibleNode* current(AtkObject* obj)
{
    NodeData* data = dataOf(obj);
    if (data->face)
        fresh(*data->face);
    return data->face ? &data->node : nullptr;
}

AtkObject* childWithKey(const FaceState& s, const void* key)
{
    if (!key)
        return nullptr;
    for (AtkObject* child : s.children) {
        if (dataOf(child)->node.key == key)
            return child;
    }
    return nullptr;
}

// A node that left stays alive until the screen reader's call in progress has returned.
void releaseLater(AtkObject* obj)
{
    g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, [](gpointer p) {
        g_object_unref(p);
        return gboolean(G_SOURCE_REMOVE);
    }, obj, nullptr);
}

void dropChildren(FaceState& s)
{
    for (AtkObject* child : s.children) {
        dataOf(child)->face = nullptr;
        releaseLater(child);
    }
    s.children.clear();
    s.face = AccessibleFace{};
    s.focusKey = nullptr;
}

void announce(FaceState& s, const std::string& text)
{
    if (text.empty() || text == s.announced)
        return;
    s.announced = text;
    // ATK's announcement signal (newer ATK declares no function for it).
    if (g_signal_lookup("announcement", ATK_TYPE_OBJECT))
        g_signal_emit_by_name(s.self, "announcement", text.c_str());
}

// Character offsets of the part that differs between two UTF-8 texts.
struct TextChange {
    glong start = 0;
    glong removed = 0;
    glong inserted = 0;
};

TextChange diff(const std::string& before, const std::string& after)
{
    const glong a = g_utf8_strlen(before.c_str(), -1), b = g_utf8_strlen(after.c_str(), -1);
    const char* pa = before.c_str();
    const char* pb = after.c_str();
    glong prefix = 0;
    while (prefix < a && prefix < b && g_utf8_get_char(pa) == g_utf8_get_char(pb)) {
        pa = g_utf8_next_char(pa);
        pb = g_utf8_next_char(pb);
        ++prefix;
    }
    glong suffix = 0;
    const char* ea = before.c_str() + before.size();
    const char* eb = after.c_str() + after.size();
    while (suffix < a - prefix && suffix < b - prefix) {
        const char* qa = g_utf8_prev_char(ea);
        const char* qb = g_utf8_prev_char(eb);
        if (g_utf8_get_char(qa) != g_utf8_get_char(qb))
            break;
        ea = qa;
        eb = qb;
        ++suffix;
    }
    return TextChange{prefix, a - prefix - suffix, b - prefix - suffix};
}

std::string substring(const std::string& utf8, glong start, glong end)
{
    const glong count = g_utf8_strlen(utf8.c_str(), -1);
    if (end < 0 || end > count)
        end = count;
    if (start < 0)
        start = 0;
    if (start > end)
        start = end;
    gchar* part = g_utf8_substring(utf8.c_str(), start, end);
    std::string out = part;
    g_free(part);
    return out;
}

void tellChanges(AtkObject* obj, const AccessibleNode& before, const AccessibleNode& after)
{
    if (before.name != after.name)
        g_object_notify(G_OBJECT(obj), "accessible-name");
    if (before.checked != after.checked)
        atk_object_notify_state_change(obj, ATK_STATE_CHECKED, after.checked);
    if (before.enabled != after.enabled) {
        atk_object_notify_state_change(obj, ATK_STATE_SENSITIVE, after.enabled);
        atk_object_notify_state_change(obj, ATK_STATE_ENABLED, after.enabled);
    }
    if (textual(after.role) && before.text != after.text) {
        const TextChange c = diff(before.text, after.text);
        if (c.removed > 0) {
            const std::string gone = substring(before.text, c.start, c.start + c.removed);
            g_signal_emit_by_name(obj, "text-remove", gint(c.start), gint(c.removed), gone.c_str());
        }
        if (c.inserted > 0) {
            const std::string added = substring(after.text, c.start, c.start + c.inserted);
            g_signal_emit_by_name(obj, "text-insert", gint(c.start), gint(c.inserted), added.c_str());
        }
    }
    if (textual(after.role) && after.caret >= 0 && before.caret != after.caret)
        g_signal_emit_by_name(obj, "text-caret-moved", gint(after.caret));
    const RECT& a = before.rect;
    const RECT& b = after.rect;
    if (a.left != b.left || a.top != b.top || a.right != b.right || a.bottom != b.bottom) {
        AtkRectangle r{b.left, b.top, b.width(), b.height()};
        g_signal_emit_by_name(obj, "bounds-changed", &r);
    }
}

AtkObject* newNode(FaceState& s, const AccessibleNode& node)
{
    const GType type = textual(node.role) ? textNodeType() : nodeType();
    auto* obj = ATK_OBJECT(g_object_new(type, nullptr));
    dataOf(obj)->face = &s;
    dataOf(obj)->node = node;
    return obj;
}

void tellFocus(FaceState& s, const void* key)
{
    if (key == s.focusKey)
        return;
    AtkObject* before = childWithKey(s, s.focusKey);
    AtkObject* after = childWithKey(s, key);
    s.focusKey = key;
    if (!s.told || !faceHasFocus(s))
        return;
    if (before)
        atk_object_notify_state_change(before, ATK_STATE_FOCUSED, FALSE);
    // GTK's focus tracking then keeps reporting the node as the face's focus.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    atk_focus_tracker_notify(after ? after : s.self);
    G_GNUC_END_IGNORE_DEPRECATIONS
    atk_object_notify_state_change(after ? after : s.self, ATK_STATE_FOCUSED, TRUE);
}

void sync(FaceState& s)
{
    s.dirty = false;
    if (s.idle) {
        g_source_remove(s.idle);
        s.idle = 0;
    }
    GtkWidget* widget = widgetOf(s);
    AccessibleSource* source = widget ? AccessibleSourceOf(s.hwnd) : nullptr;
    AccessibleFace before = std::move(s.face);
    const bool describedBefore = s.described;
    s.face = source ? source->DescribeFace() : AccessibleFace{};
    s.described = source != nullptr;
    const bool tell = s.told;

    if (tell) {
        if (describedBefore != s.described || before.role != s.face.role)
            g_object_notify(G_OBJECT(s.self), "accessible-role");
        if (before.name != s.face.name)
            g_object_notify(G_OBJECT(s.self), "accessible-name");
        if (before.description != s.face.description)
            g_object_notify(G_OBJECT(s.self), "accessible-description");
    }

    // Children: the same element keeps its object; the order of those that stay is the
    // description's order, so removals (last first) then additions give the new list.
    std::vector<AtkObject*> old = std::move(s.children);
    std::vector<bool> kept(old.size(), false);
    std::vector<AtkObject*> next(s.face.nodes.size(), nullptr);
    std::vector<AccessibleNode> previous(s.face.nodes.size());
    size_t from = 0;
    for (size_t i = 0; i < next.size(); ++i) {
        const AccessibleNode& node = s.face.nodes[i];
        for (size_t j = from; j < old.size(); ++j) {
            // A key may come back as another element (a layout attached again): same role only.
            if (dataOf(old[j])->node.key == node.key && dataOf(old[j])->node.role == node.role) {
                next[i] = old[j];
                kept[j] = true;
                previous[i] = std::move(dataOf(old[j])->node);
                dataOf(old[j])->node = node;
                from = j + 1;
                break;
            }
        }
    }
    std::vector<bool> added(next.size(), false);
    for (size_t i = 0; i < next.size(); ++i) {
        if (!next[i]) {
            next[i] = newNode(s, s.face.nodes[i]);
            added[i] = true;
        }
    }
    s.children = next;
    for (size_t j = old.size(); j-- > 0;) {
        if (kept[j])
            continue;
        dataOf(old[j])->face = nullptr;
        if (tell) {
            g_signal_emit_by_name(s.self, "children-changed::remove", guint(j), old[j]);
            atk_object_notify_state_change(old[j], ATK_STATE_DEFUNCT, TRUE);
        }
        releaseLater(old[j]);
    }
    for (size_t i = 0; i < next.size(); ++i) {
        if (added[i] && tell)
            g_signal_emit_by_name(s.self, "children-changed::add", guint(i), next[i]);
        else if (!added[i] && tell)
            tellChanges(next[i], previous[i], s.face.nodes[i]);
    }

    const void* focusKey = nullptr;
    for (const AccessibleNode& node : s.face.nodes) {
        if (node.focused)
            focusKey = node.key;
    }
    const bool first = !s.told;
    s.told = true;
    if (first) {
        s.focusKey = focusKey;
        // Found focused: GTK's focus tracking reports the node, not the whole face.
        if (AtkObject* focused = childWithKey(s, focusKey); focused && faceHasFocus(s)) {
            G_GNUC_BEGIN_IGNORE_DEPRECATIONS
            atk_focus_tracker_notify(focused);
            G_GNUC_END_IGNORE_DEPRECATIONS
        }
    } else {
        tellFocus(s, focusKey);
    }

    if (s.face.role == AccessibleRole::Notification && widget && gtk_widget_get_mapped(widget))
        announce(s, s.face.description);
}

gboolean syncIdle(gpointer p)
{
    auto* s = static_cast<FaceState*>(p);
    s->idle = 0;
    fresh(*s);
    return G_SOURCE_REMOVE;
}

// ---- node objects ---------------------------------------------------------------------

void nodeInit(GTypeInstance* instance, gpointer) { reinterpret_cast<KavrelNode*>(instance)->data = new NodeData; }

void nodeFinalize(GObject* obj)
{
    delete reinterpret_cast<KavrelNode*>(obj)->data;
    G_OBJECT_CLASS(g_nodeParent)->finalize(obj);
}

// A node that left keeps its last name, so the signal telling of its removal can name it.
const gchar* nodeName(AtkObject* obj)
{
    (void)current(obj);
    return dataOf(obj)->node.name.c_str();
}

AtkRole nodeRole(AtkObject* obj)
{
    // The role stays with a node that left: the element's kind never changes.
    return atkRole(dataOf(obj)->node.role);
}

AtkObject* nodeParent(AtkObject* obj)
{
    NodeData* data = dataOf(obj);
    return data->face ? data->face->self : nullptr;
}

gint nodeIndex(AtkObject* obj)
{
    NodeData* data = dataOf(obj);
    if (!data->face)
        return -1;
    fresh(*data->face);
    if (!data->face)
        return -1;
    const auto& children = data->face->children;
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i] == obj)
            return gint(i);
    }
    return -1;
}

gint nodeChildCount(AtkObject*) { return 0; }
AtkObject* nodeChild(AtkObject*, gint) { return nullptr; }

AtkStateSet* nodeStates(AtkObject* obj)
{
    AtkStateSet* set = ATK_OBJECT_CLASS(g_nodeParent)->ref_state_set(obj);
    const AccessibleNode* n = current(obj);
    if (!n) {
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
        return set;
    }
    GtkWidget* widget = widgetOf(*dataOf(obj)->face);
    atk_state_set_add_state(set, ATK_STATE_VISIBLE);
    if (widget && gtk_widget_get_mapped(widget))
        atk_state_set_add_state(set, ATK_STATE_SHOWING);
    if (n->enabled) {
        atk_state_set_add_state(set, ATK_STATE_SENSITIVE);
        atk_state_set_add_state(set, ATK_STATE_ENABLED);
    }
    if (n->focusable)
        atk_state_set_add_state(set, ATK_STATE_FOCUSABLE);
    if (n->focused && widget && gtk_widget_has_focus(widget))
        atk_state_set_add_state(set, ATK_STATE_FOCUSED);
    if (n->role == AccessibleRole::CheckBox || n->role == AccessibleRole::ToggleButton) {
        atk_state_set_add_state(set, ATK_STATE_CHECKABLE);
        if (n->checked)
            atk_state_set_add_state(set, ATK_STATE_CHECKED);
    }
    if (n->role == AccessibleRole::Entry || n->role == AccessibleRole::PasswordText) {
        atk_state_set_add_state(set, ATK_STATE_EDITABLE);
        atk_state_set_add_state(set, ATK_STATE_SINGLE_LINE);
    }
    return set;
}

void nodeClassInit(gpointer klass, gpointer)
{
    g_nodeParent = g_type_class_peek_parent(klass);
    G_OBJECT_CLASS(klass)->finalize = nodeFinalize;
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = nodeName;
    atk->get_role = nodeRole;
    atk->get_parent = nodeParent;
    atk->get_index_in_parent = nodeIndex;
    atk->get_n_children = nodeChildCount;
    atk->ref_child = nodeChild;
    atk->ref_state_set = nodeStates;
}

void nodeExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType type)
{
    *x = *y = *width = *height = 0;
    auto* obj = ATK_OBJECT(component);
    const AccessibleNode* n = current(obj);
    GtkWidget* widget = n ? widgetOf(*dataOf(obj)->face) : nullptr;
    if (!widget)
        return;
    gint ox = 0, oy = 0;
    if (type != ATK_XY_PARENT) {
        GtkWidget* top = gtk_widget_get_toplevel(widget);
        if (top != widget)
            gtk_widget_translate_coordinates(widget, top, 0, 0, &ox, &oy);
        GdkWindow* window = gtk_widget_get_window(top);
        if (type == ATK_XY_SCREEN && window) {
            gint sx = 0, sy = 0;
            gdk_window_get_origin(window, &sx, &sy);
            ox += sx;
            oy += sy;
        }
    }
    *x = ox + n->rect.left;
    *y = oy + n->rect.top;
    *width = n->rect.width();
    *height = n->rect.height();
}

gboolean nodeGrabFocus(AtkComponent* component)
{
    auto* obj = ATK_OBJECT(component);
    const AccessibleNode* n = current(obj);
    FaceState* face = n ? dataOf(obj)->face : nullptr;
    AccessibleSource* source = face ? AccessibleSourceOf(face->hwnd) : nullptr;
    GtkWidget* widget = face ? widgetOf(*face) : nullptr;
    if (!source || !widget || !n->focusable || !source->Focus(n->key))
        return FALSE;
    gtk_widget_grab_focus(widget);
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    if (GTK_IS_WINDOW(top))
        gtk_window_present(GTK_WINDOW(top));
    return TRUE;
}

AtkLayer nodeLayer(AtkComponent*) { return ATK_LAYER_WIDGET; }

void nodeComponentInit(gpointer p, gpointer)
{
    auto* iface = static_cast<AtkComponentIface*>(p);
    iface->get_extents = nodeExtents;
    iface->grab_focus = nodeGrabFocus;
    iface->get_layer = nodeLayer;
}

struct ClickRequest {
    HWND hwnd;
    const void* key;
};

gint nodeActionCount(AtkAction* action)
{
    const AccessibleNode* n = current(ATK_OBJECT(action));
    return n && n->clickable ? 1 : 0;
}

gboolean nodeDoAction(AtkAction* action, gint i)
{
    auto* obj = ATK_OBJECT(action);
    const AccessibleNode* n = current(obj);
    if (i != 0 || !n || !n->clickable || !n->enabled)
        return FALSE;
    auto* request = new ClickRequest{dataOf(obj)->face->hwnd, n->key};
    g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, [](gpointer p) {
        const auto* r = static_cast<const ClickRequest*>(p);
        if (AccessibleSource* source = AccessibleSourceOf(r->hwnd))
            source->Click(r->key);
        return gboolean(G_SOURCE_REMOVE);
    }, request, [](gpointer p) { delete static_cast<ClickRequest*>(p); });
    return TRUE;
}

const gchar* nodeActionName(AtkAction* action, gint i)
{
    return i == 0 && nodeActionCount(action) ? "click" : nullptr;
}

void nodeActionInit(gpointer p, gpointer)
{
    auto* iface = static_cast<AtkActionIface*>(p);
    iface->get_n_actions = nodeActionCount;
    iface->do_action = nodeDoAction;
    iface->get_name = nodeActionName;
}

// ---- text -----------------------------------------------------------------------------

std::string textOf(AtkText* text)
{
    const AccessibleNode* n = current(ATK_OBJECT(text));
    return n ? n->text : std::string();
}

gchar* textGet(AtkText* text, gint start, gint end) { return g_strdup(substring(textOf(text), start, end).c_str()); }

gint textCount(AtkText* text) { return gint(g_utf8_strlen(textOf(text).c_str(), -1)); }

gint textCaret(AtkText* text)
{
    const AccessibleNode* n = current(ATK_OBJECT(text));
    return n && n->caret >= 0 ? gint(n->caret) : 0;
}

gunichar textCharacter(AtkText* text, gint offset)
{
    const std::string s = textOf(text);
    if (offset < 0 || offset >= g_utf8_strlen(s.c_str(), -1))
        return 0;
    return g_utf8_get_char(g_utf8_offset_to_pointer(s.c_str(), offset));
}

// One line of text: a character, or the whole text for every longer unit.
gchar* textPart(AtkText* text, gint offset, bool character, gint* start, gint* end)
{
    const std::string s = textOf(text);
    const gint count = gint(g_utf8_strlen(s.c_str(), -1));
    if (!character) {
        *start = 0;
        *end = count;
    } else if (offset >= 0 && offset < count) {
        *start = offset;
        *end = offset + 1;
    } else {
        *start = *end = offset < 0 ? 0 : count;
    }
    return g_strdup(substring(s, *start, *end).c_str());
}

gchar* textAtOffset(AtkText* text, gint offset, AtkTextBoundary boundary, gint* start, gint* end)
{
    return textPart(text, offset, boundary == ATK_TEXT_BOUNDARY_CHAR, start, end);
}

gchar* textStringAtOffset(AtkText* text, gint offset, AtkTextGranularity granularity, gint* start, gint* end)
{
    return textPart(text, offset, granularity == ATK_TEXT_GRANULARITY_CHAR, start, end);
}

gint textSelections(AtkText*) { return 0; }

gchar* textSelection(AtkText*, gint, gint* start, gint* end)
{
    *start = *end = 0;
    return nullptr;
}

void textInit(gpointer p, gpointer)
{
    auto* iface = static_cast<AtkTextIface*>(p);
    iface->get_text = textGet;
    iface->get_character_count = textCount;
    iface->get_caret_offset = textCaret;
    iface->get_character_at_offset = textCharacter;
    iface->get_text_at_offset = textAtOffset;
    iface->get_string_at_offset = textStringAtOffset;
    iface->get_n_selections = textSelections;
    iface->get_selection = textSelection;
}

// ---- the face's object ----------------------------------------------------------------

void faceMapped(GtkWidget* widget)
{
    KavrelFace* face = faceOf(widget);
    if (!face || !face->accessible)
        return;
    FaceState& s = *stateOf(face->accessible);
    fresh(s);
    if (s.face.role == AccessibleRole::Notification)
        announce(s, s.face.description);
}

void faceUnmapped(GtkWidget* widget)
{
    KavrelFace* face = faceOf(widget);
    if (face && face->accessible)
        stateOf(face->accessible)->announced.clear();
}

void faceAccessibleInit(GTypeInstance* instance, gpointer)
{
    reinterpret_cast<KavrelFaceAccessible*>(instance)->state = new FaceState;
}

void faceInitialize(AtkObject* obj, gpointer data)
{
    ATK_OBJECT_CLASS(g_faceAccessibleParent)->initialize(obj, data);
    FaceState& s = *stateOf(obj);
    s.self = obj;
    if (KavrelFace* face = faceOf(GTK_WIDGET(data))) {
        s.hwnd = face->hwnd;
        face->accessible = obj;
        g_signal_connect(data, "map", G_CALLBACK(faceMapped), nullptr);
        g_signal_connect(data, "unmap", G_CALLBACK(faceUnmapped), nullptr);
        // Read now: GTK's focus tracking, which often makes this object, asks next which
        // node holds the focus.
        sync(s);
    }
}

void faceWidgetUnset(GtkAccessible* accessible)
{
    FaceState& s = *stateOf(ATK_OBJECT(accessible));
    if (GtkWidget* widget = gtk_accessible_get_widget(accessible)) {
        g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(faceMapped), nullptr);
        g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(faceUnmapped), nullptr);
        if (KavrelFace* face = faceOf(widget))
            face->accessible = nullptr;
    }
    if (s.idle) {
        g_source_remove(s.idle);
        s.idle = 0;
    }
    dropChildren(s);
    s.described = false;
    s.dirty = false;
    auto* parent = GTK_ACCESSIBLE_CLASS(g_faceAccessibleParent);
    if (parent->widget_unset)
        parent->widget_unset(accessible);
}

void faceFinalize(GObject* obj)
{
    FaceState* s = stateOf(ATK_OBJECT(obj));
    if (s->idle)
        g_source_remove(s->idle);
    for (AtkObject* child : s->children) {
        dataOf(child)->face = nullptr;
        g_object_unref(child);
    }
    delete s;
    G_OBJECT_CLASS(g_faceAccessibleParent)->finalize(obj);
}

gint faceChildCount(AtkObject* obj)
{
    FaceState& s = *stateOf(obj);
    fresh(s);
    return gint(s.children.size());
}

AtkObject* faceChild(AtkObject* obj, gint i)
{
    FaceState& s = *stateOf(obj);
    fresh(s);
    if (i < 0 || size_t(i) >= s.children.size())
        return nullptr;
    return ATK_OBJECT(g_object_ref(s.children[size_t(i)]));
}

AtkRole faceRole(AtkObject* obj)
{
    FaceState& s = *stateOf(obj);
    fresh(s);
    return s.described ? atkRole(s.face.role) : ATK_ROLE_DRAWING_AREA;
}

const gchar* faceName(AtkObject* obj)
{
    FaceState& s = *stateOf(obj);
    fresh(s);
    if (s.described && !s.face.name.empty())
        return s.face.name.c_str();
    return ATK_OBJECT_CLASS(g_faceAccessibleParent)->get_name(obj);
}

const gchar* faceDescription(AtkObject* obj)
{
    FaceState& s = *stateOf(obj);
    fresh(s);
    if (s.described && !s.face.description.empty())
        return s.face.description.c_str();
    return ATK_OBJECT_CLASS(g_faceAccessibleParent)->get_description(obj);
}

// The face took or lost the keyboard: the node holding the face's focus is what got it.
void faceFocusEvent(AtkObject* obj, gboolean in)
{
    FaceState& s = *stateOf(obj);
    fresh(s);
    if (in) {
        AtkObject* focused = childWithKey(s, s.focusKey);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        if (focused)
            atk_focus_tracker_notify(focused);
        else if (g_object_get_data(G_OBJECT(obj), "gail-focus-object"))
            atk_focus_tracker_notify(obj); // forgets a node focused before
        G_GNUC_END_IGNORE_DEPRECATIONS
    }
    ATK_OBJECT_CLASS(g_faceAccessibleParent)->focus_event(obj, in);
}

void faceAccessibleClassInit(gpointer klass, gpointer)
{
    g_faceAccessibleParent = g_type_class_peek_parent(klass);
    G_OBJECT_CLASS(klass)->finalize = faceFinalize;
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->initialize = faceInitialize;
    atk->get_n_children = faceChildCount;
    atk->ref_child = faceChild;
    atk->get_role = faceRole;
    atk->get_name = faceName;
    atk->get_description = faceDescription;
    atk->focus_event = faceFocusEvent;
    GTK_ACCESSIBLE_CLASS(klass)->widget_unset = faceWidgetUnset;
}

// ---- the face widget ------------------------------------------------------------------

void faceClassInit(gpointer klass, gpointer)
{
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), faceAccessibleType());
}

} // namespace

GtkWidget* NewFaceWidget(HWND hwnd)
{
    auto* face = reinterpret_cast<KavrelFace*>(g_object_new(faceType(), nullptr));
    face->hwnd = hwnd;
    face->accessible = nullptr;
    return GTK_WIDGET(face);
}

void FaceAccessibleChanged(HWND hwnd)
{
    NativeWindow* n = NativeOf(hwnd);
    KavrelFace* face = n && n->area ? faceOf(n->area) : nullptr;
    if (!face || !face->accessible)
        return;
    FaceState& s = *stateOf(face->accessible);
    s.dirty = true;
    if (!s.idle)
        s.idle = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, syncIdle, &s, nullptr);
}

} // namespace platform::detail
