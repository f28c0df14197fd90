#include "dulib/Element.h"

#include "dulib/View.h"

namespace dulib {
namespace {

// One axis of the anchored layout: the element keeps its distances to the parent edges it
// is anchored to.
void Place(int start, int size, const OptInt& nearEdge, const OptInt& farEdge, const OptInt& length,
           const OptInt& center, int* outStart, int* outLength)
{
    if (nearEdge && farEdge) {
        *outStart = start + *nearEdge;
        *outLength = size - *nearEdge - *farEdge;
    } else if (nearEdge) {
        *outStart = start + *nearEdge;
        *outLength = length.value_or(0);
    } else if (farEdge) {
        *outLength = length.value_or(0);
        *outStart = start + size - *farEdge - *outLength;
    } else if (length) {
        *outLength = *length;
        *outStart = start + (size - *length) / 2 + center.value_or(0);
    } else {
        *outStart = start;
        *outLength = size;
    }
    if (*outLength < 0) *outLength = 0;
}

} // namespace

size_t GbkCharLength(const std::string& text, size_t i)
{
    auto lead = static_cast<unsigned char>(text[i]);
    return (lead >= 0x81 && lead <= 0xFE && i + 1 < text.size()) ? 2 : 1;
}

Element::Element(View* view, Element* parent, const ElementDesc& desc)
    : m_view(view), m_parent(parent), m_desc(desc), m_name(desc.name), m_text(desc.text),
      m_style(desc.style), m_link(desc.link), m_visible(desc.visible), m_checked(desc.checked),
      m_wrap(desc.wrap)
{
    m_edit.caret = m_edit.anchor = m_text.size();
    for (const auto& c : desc.children) m_children.push_back(std::make_unique<Element>(view, this, c));
}

void Element::GetRect(RECT* rect)
{
    if (rect) *rect = m_rect;
}

Plugin* Element::GetNext()
{
    if (!m_parent) return nullptr;
    const auto& siblings = m_parent->m_children;
    for (size_t i = 0; i + 1 < siblings.size(); ++i) {
        if (siblings[i].get() == this) return siblings[i + 1].get();
    }
    return nullptr;
}

void Element::SetStyle(const char* styleName)
{
    m_style = styleName ? styleName : "";
    m_view->Invalidate();
}

void Element::SetText(const char* text)
{
    m_text = text ? text : "";
    m_edit.caret = m_edit.anchor = m_text.size();
    m_view->Invalidate();
}

void Element::SetPlanText(const char* text)
{
    m_wrap = true;
    SetText(text);
}

void Element::Show(int show)
{
    bool v = show != 0;
    if (v == m_visible) return;
    m_visible = v;
    if (!v) m_view->ForgetElement(this);
    // A row closes up around hidden children, so its whole content moves.
    if (m_parent && m_parent->m_desc.row) m_parent->Relayout(0);
    m_view->root()->SyncHosts();
    m_view->Invalidate();
}

bool Element::shownOnScreen() const
{
    for (const Element* e = this; e; e = e->m_parent) {
        if (!e->m_visible) return false;
    }
    return true;
}

void Element::SetFocus(int focus)
{
    if (focus) m_view->SetFocus(this);
    else if (m_view->focus() == this) m_view->SetFocus(nullptr);
}

void Element::SetState(int state)
{
    m_enabled = state != 0;
    m_forcedLook = (state == 2 || state == 3) ? state : 0;
    m_view->ForgetElement(this);
    m_view->Invalidate();
}

void Element::Relayout(int /*repaint*/)
{
    if (!m_parent) {
        m_rect = RECT{0, 0, m_view->width(), m_view->height()};
        LayoutChildren();
    } else if (m_parent->m_desc.row) {
        m_parent->LayoutChildren();
    } else {
        Layout(m_parent->m_rect, std::nullopt);
    }
    SyncHosts();
    m_view->Invalidate();
}

Element* Element::Find(const std::string& name)
{
    if (m_name == name) return this;
    for (auto& c : m_children) {
        if (Element* e = c->Find(name)) return e;
    }
    return nullptr;
}

Plugin* Element::FindChild(const char* name)
{
    if (!name) return nullptr;
    for (auto& c : m_children) {
        if (Element* e = c->Find(name)) return e;
    }
    return nullptr;
}

int Element::GetCheck()
{
    return (kind() == Kind::Check || kind() == Kind::Toggle) && m_checked ? 1 : 0;
}

void Element::SetCheck(int check)
{
    if (kind() != Kind::Check && kind() != Kind::Toggle) return;
    m_checked = check != 0;
    m_view->Invalidate();
}

void Element::AttachWindow(HWND child)
{
    if (kind() != Kind::Host) return;
    m_hosted = child;
    // Whatever its state now, the window ends up shown exactly when the element is.
    m_hiddenHosted = shownOnScreen();
    SyncHosts();
}

HWND Element::GetWindow()
{
    if (kind() != Kind::Host || !m_hosted) return nullptr;
    if (!m_view->host() || !m_view->host()->WindowAlive(m_hosted)) m_hosted = nullptr;
    return m_hosted;
}

void Element::SetLink(const char* url)
{
    if (kind() == Kind::Link) m_link = url ? url : "";
}

bool Element::Interactive() const
{
    switch (kind()) {
    case Kind::Button:
    case Kind::Toggle:
    case Kind::Check:
    case Kind::Link:
    case Kind::LinkIcon:
    case Kind::DropButton:
    case Kind::ColorImage:
    case Kind::Edit:
    case Kind::Password:
    case Kind::Caption:
        return true;
    default:
        return false;
    }
}

void Element::Layout(const RECT& parentRect, const OptInt& flowX)
{
    const ElementDesc& s = m_desc;
    int x = 0, w = 0, y = 0, h = 0;
    if (flowX) {
        x = *flowX;
        w = s.width.value_or(0);
    } else if (m_layoutA) {
        x = parentRect.left + *m_layoutA;
        w = s.width ? *s.width : (s.right ? parentRect.width() - *m_layoutA - *s.right : 0);
    } else {
        Place(parentRect.left, parentRect.width(), s.left, s.right, s.width, s.centerX, &x, &w);
    }
    Place(parentRect.top, parentRect.height(), s.top, s.bottom, s.height, s.centerY, &y, &h);
    if (w < 0) w = 0;
    m_rect = RECT{x, y, x + w, y + h};
    LayoutChildren();
}

void Element::LayoutChildren()
{
    if (!m_desc.row) {
        for (auto& c : m_children) c->Layout(m_rect, std::nullopt);
        return;
    }
    int x = m_rect.left + m_layoutB.value_or(m_desc.lead);
    int gap = m_desc.gap + m_layoutC;
    for (auto& c : m_children) {
        c->Layout(m_rect, x);
        if (c->m_visible) x += c->m_rect.width() + gap;
    }
}

void Element::SyncHosts()
{
    ViewHost* host = m_view->host();
    if (m_hosted && host) {
        if (!host->WindowAlive(m_hosted)) {
            m_hosted = nullptr;
        } else if (shownOnScreen()) {
            host->PlaceWindow(m_hosted, m_rect);
            if (m_hiddenHosted) host->ShowHostedWindow(m_hosted, true);
            m_hiddenHosted = false;
        } else if (!m_hiddenHosted) {
            host->ShowHostedWindow(m_hosted, false);
            m_hiddenHosted = true;
        }
    }
    for (auto& c : m_children) c->SyncHosts();
}

} // namespace dulib
