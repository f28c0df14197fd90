#include "dulib/Accessible.h"

#include "platform/CodeLib.h"

#include <optional>

namespace dulib {
namespace {

using platform::AccessibleNode;
using platform::AccessibleRole;

// What a click acts on: the interactive elements other than edit boxes and captions.
bool Clickable(const Element& e)
{
    return e.Interactive() && !e.Editable() && e.kind() != Kind::Caption;
}

// A glyph that is text (a tile's letter, an edit box's hint), not a built-in icon.
std::string TextGlyph(const ElementDesc& desc)
{
    return !desc.glyph.empty() && desc.glyph[0] != '@' ? desc.glyph : std::string();
}

long CharactersIn(const std::string& gbk, size_t bytes)
{
    long count = 0;
    for (size_t i = 0; i < bytes && i < gbk.size(); i += GbkCharLength(gbk, i)) ++count;
    return count;
}

// A panel that shows a fixed text of its paint (the countdown digits) reads as that text.
std::string PaintLabel(View& view, const Element& e)
{
    std::string paint = e.desc().look;
    if (!e.style().empty()) {
        ResourceImpl* style = view.skin().Resources().FindImpl(e.style(), RES_STYLE);
        StyleItem* normal = style ? style->Item(0) : nullptr;
        paint = normal ? normal->GetValue() : std::string();
    }
    const Paint* p = paint.empty() ? nullptr : view.skin().FindPaint(paint);
    return p ? p->label : std::string();
}

std::optional<AccessibleRole> RoleOf(const Element& e)
{
    switch (e.kind()) {
    case Kind::Button:
    case Kind::LinkIcon:
    case Kind::DropButton:
    case Kind::ColorImage: return AccessibleRole::PushButton;
    case Kind::Toggle: return AccessibleRole::ToggleButton;
    case Kind::Check: return AccessibleRole::CheckBox;
    case Kind::Link: return AccessibleRole::Link;
    case Kind::Edit: return AccessibleRole::Entry;
    case Kind::Password: return AccessibleRole::PasswordText;
    case Kind::Text:
    case Kind::Caption:
    case Kind::Panel: return AccessibleRole::Label;
    case Kind::Image: return AccessibleRole::Image;
    case Kind::Host: return std::nullopt; // its window speaks for itself
    }
    return std::nullopt;
}

// The element as a node, or nothing when it has nothing to read or act on.
std::optional<AccessibleNode> NodeOf(View& view, const Element& e)
{
    std::optional<AccessibleRole> role = RoleOf(e);
    if (!role) return std::nullopt;
    const ElementDesc& desc = e.desc();
    AccessibleNode node;
    node.key = &e;
    node.role = *role;
    node.rect = e.rect();
    node.enabled = e.enabled();
    node.clickable = Clickable(e);
    node.focusable = e.Interactive() && e.kind() != Kind::Caption;
    node.focused = view.focus() == &e;
    node.checked = (e.kind() == Kind::Check || e.kind() == Kind::Toggle) && e.checked();
    std::string name = desc.accName;
    switch (*role) {
    case AccessibleRole::Label: {
        const std::string shown = e.kind() == Kind::Panel ? PaintLabel(view, e) : e.text();
        if (shown.empty()) return std::nullopt;
        node.text = CCodeLib::AnsiToUtf8(shown);
        if (name.empty()) name = shown;
        break;
    }
    case AccessibleRole::Image:
        if (name.empty()) name = e.text();
        if (name.empty()) return std::nullopt; // a picture that says nothing
        break;
    case AccessibleRole::Entry:
    case AccessibleRole::PasswordText:
        if (name.empty()) name = TextGlyph(desc);
        node.caret = CharactersIn(e.text(), e.caret());
        if (*role == AccessibleRole::Entry) {
            node.text = CCodeLib::AnsiToUtf8(e.text());
        } else {
            for (long i = CharactersIn(e.text(), e.text().size()); i > 0; --i) node.text += kPasswordMask;
        }
        break;
    default:
        if (name.empty()) name = e.text();
        if (name.empty()) name = TextGlyph(desc);
        break;
    }
    node.name = CCodeLib::AnsiToUtf8(name);
    return node;
}

// Shown and drawn: what the painter leaves out (hidden, or of no size) is not there.
bool Drawn(const Element& e)
{
    return e.visible() && e.rect().width() > 0 && e.rect().height() > 0;
}

void Collect(View& view, const Element& e, platform::AccessibleFace* face, std::string* message)
{
    for (const auto& child : e.children()) {
        if (!Drawn(*child)) continue;
        if (std::optional<AccessibleNode> node = NodeOf(view, *child)) face->nodes.push_back(std::move(*node));
        const bool saysMessage = child->kind() == Kind::Text || child->kind() == Kind::Link;
        if (saysMessage && child->wrap() && !child->text().empty()) {
            if (!message->empty()) *message += '\n';
            *message += child->text();
        }
        Collect(view, *child, face, message);
    }
}

Element* FindKey(Element& e, const void* key)
{
    if (&e == key) return &e;
    for (const auto& child : e.children()) {
        if (Element* found = FindKey(*child, key)) return found;
    }
    return nullptr;
}

} // namespace

platform::AccessibleFace DescribeView(View& view)
{
    platform::AccessibleFace face;
    Element& root = *view.root();
    face.role = root.desc().notification ? AccessibleRole::Notification : AccessibleRole::Panel;
    face.name = CCodeLib::AnsiToUtf8(root.desc().accName);
    std::string message;
    if (Drawn(root)) Collect(view, root, &face, &message);
    if (root.desc().notification) face.description = CCodeLib::AnsiToUtf8(message);
    return face;
}

Element* ElementOfKey(View& view, const void* key)
{
    return key ? FindKey(*view.root(), key) : nullptr;
}

bool ClickElement(View& view, Element& element)
{
    if (!Clickable(element) || !element.shownOnScreen() || !element.enabled()) return false;
    // The centre, else the first point of a grid over the element that a click reaches
    // (a part may lie under a later element).
    const RECT& r = element.rect();
    std::optional<POINT> at;
    auto tryAt = [&](int x, int y) {
        if (!at && view.HitTest(x, y) == &element) at = POINT{x, y};
    };
    tryAt(r.left + r.width() / 2, r.top + r.height() / 2);
    constexpr int kGrid = 8;
    for (int i = 1; i < kGrid && !at; ++i) {
        for (int j = 1; j < kGrid && !at; ++j) tryAt(r.left + r.width() * i / kGrid, r.top + r.height() * j / kGrid);
    }
    if (!at) return false;
    const Kind kind = element.kind();
    view.MouseDown(at->x, at->y);
    // These raise their event on the press, which may have closed the window.
    if (kind == Kind::LinkIcon || kind == Kind::DropButton) return true;
    view.MouseUp(at->x, at->y);
    return true;
}

} // namespace dulib
