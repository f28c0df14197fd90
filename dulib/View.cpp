#include "dulib/View.h"

#include "dulib/Navigation.h"

#include <functional>

namespace dulib {
namespace {

bool Contains(const RECT& r, int x, int y)
{
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Topmost shown element under the point: later siblings lie above earlier ones.
Element* Deepest(Element* e, int x, int y)
{
    if (!e->visible() || !Contains(e->rect(), x, y)) return nullptr;
    const auto& kids = e->children();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        if (Element* hit = Deepest(it->get(), x, y)) return hit;
    }
    return e;
}

bool ValidGbkPair(unsigned lead, unsigned trail)
{
    return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

} // namespace

View::View(Skin& skin, const LayoutDesc& layout, ViewHost* host)
    : m_skin(skin), m_host(host), m_alive(std::make_shared<bool>(true))
{
    m_root = std::make_unique<Element>(this, nullptr, layout.root);
    m_width = layout.width;
    m_height = layout.height;
    m_root->Relayout(0);
}

View::~View()
{
    *m_alive = false;
}

void View::Resize(int width, int height)
{
    m_width = width < 0 ? 0 : width;
    m_height = height < 0 ? 0 : height;
    m_root->Relayout(0);
}

void View::Paint(_cairo* cr)
{
    PaintElement(cr, *this, *m_root);
    PaintFocusRing(cr, *this);
}

Element* View::HitTest(int x, int y)
{
    for (Element* e = Deepest(m_root.get(), x, y); e; e = e->parent()) {
        if (e->Interactive()) return e->enabled() ? e : nullptr;
    }
    return nullptr;
}

void View::SetMaximized(bool maximized)
{
    std::function<void(Element&)> walk = [&](Element& e) {
        if (e.desc().followsMaximized && e.checked() != maximized) {
            e.setChecked(maximized);
            Invalidate();
        }
        for (auto& c : e.children()) walk(*c);
    };
    walk(*m_root);
}

void View::Invalidate()
{
    if (m_host) m_host->Invalidate();
}

void View::ForgetElement(Element* element)
{
    auto inside = [element](Element* e) {
        for (; e; e = e->parent()) {
            if (e == element) return true;
        }
        return false;
    };
    if (inside(m_hover)) m_hover = nullptr;
    if (inside(m_pressed)) m_pressed = nullptr;
    if (!element->visible() && inside(m_focus)) SetFocus(nullptr);
}

void View::SetFocus(Element* element)
{
    // Edit boxes take typing; other interactive elements can hold the focus for the look.
    if (element && (!element->Interactive() || element->kind() == Kind::Caption)) element = nullptr;
    if (element == m_focus) return;
    m_focus = element;
    if (m_focus && m_focus->Editable()) m_focus->CaretEnd();
    Invalidate();
}

LRESULT View::Raise(Element* element, std::int32_t code, std::int32_t param1)
{
    PluginEvent event;
    event.code = code;
    event.param1 = param1;
    return m_host ? m_host->RaiseEvent(element, &event) : 0;
}

bool View::MouseMove(int x, int y)
{
    Element* e = HitTest(x, y);
    if (e == m_hover) return false;
    m_hover = e;
    Invalidate();
    return true;
}

void View::MouseLeave()
{
    if (!m_hover) return;
    m_hover = nullptr;
    Invalidate();
}

void View::MouseDown(int x, int y, bool secondOfDouble)
{
    Element* e = HitTest(x, y);
    m_hover = e;
    SetFocus(e && e->Editable() ? e : nullptr);
    if (!e) return;
    switch (e->kind()) {
    case Kind::Button:
    case Kind::Toggle:
    case Kind::Check:
    case Kind::Link:
    case Kind::ColorImage:
        m_pressed = e;
        Invalidate();
        break;
    case Kind::LinkIcon:
    case Kind::DropButton:
        Press(e);
        break;
    case Kind::Caption:
        if (m_host && !secondOfDouble) m_host->BeginMove();
        break;
    default:
        break;
    }
}

void View::MouseUp(int x, int y)
{
    Element* pressed = m_pressed;
    m_pressed = nullptr;
    if (!pressed) return;
    Invalidate();
    if (HitTest(x, y) != pressed) return; // released elsewhere: no click
    Click(pressed);
}

void View::Press(Element* e)
{
    // Raised on the press: a drop-down opens while the button is held.
    m_pressed = e;
    Invalidate();
    std::shared_ptr<bool> alive = m_alive;
    Raise(e, PE_ACTIVATE, 0);
    if (*alive) {
        m_pressed = nullptr;
        Invalidate();
    }
}

void View::Click(Element* e)
{
    std::shared_ptr<bool> alive = m_alive;
    switch (e->kind()) {
    case Kind::Button:
        Raise(e, PE_CLICK, 0);
        break;
    case Kind::Toggle:
    case Kind::Check:
        e->setChecked(!e->checked());
        Raise(e, PE_TOGGLE, e->checked() ? 1 : 0);
        break;
    case Kind::Link: {
        std::string address = e->link();
        Raise(e, PE_CLICK, 0);
        if (*alive && !address.empty() && m_host) m_host->OpenLink(address);
        break;
    }
    case Kind::ColorImage:
        Raise(e, PE_SELECT, 0);
        break;
    default:
        break;
    }
    if (*alive) Invalidate();
}

bool View::Activate(Element* e)
{
    if (!e || !e->enabled() || !e->shownOnScreen()) return false;
    switch (e->kind()) {
    case Kind::LinkIcon:
    case Kind::DropButton:
        Press(e);
        return true;
    case Kind::Button:
    case Kind::Toggle:
    case Kind::Check:
    case Kind::Link:
    case Kind::ColorImage:
        Click(e);
        return true;
    default:
        return false;
    }
}

bool View::KeyDown(int virtualKey)
{
    Element* e = m_focus;
    if (!e || !e->Editable() || !e->shownOnScreen()) return false;
    switch (virtualKey) {
    case VK_BACK: e->DeleteBack(); break;
    case VK_DELETE: e->DeleteForward(); break;
    case VK_LEFT: e->MoveCaret(-1); break;
    case VK_RIGHT: e->MoveCaret(1); break;
    case VK_HOME: e->CaretHome(); break;
    case VK_END: e->CaretEnd(); break;
    default: return false;
    }
    Invalidate();
    return true;
}

bool View::Char(unsigned code)
{
    Element* e = m_focus;
    if (!e || !e->Editable() || !e->shownOnScreen() || code < 0x20 || code >= 0x7F) return false;
    e->InsertText(std::string(1, static_cast<char>(code)));
    Invalidate();
    return true;
}

bool View::ImeChar(unsigned code)
{
    Element* e = m_focus;
    if (!e || !e->Editable() || !e->shownOnScreen()) return false;
    std::string ch;
    if (code > 0xFF) {
        unsigned lead = (code >> 8) & 0xFF, trail = code & 0xFF;
        if (code > 0xFFFF || !ValidGbkPair(lead, trail)) return false;
        ch = {static_cast<char>(lead), static_cast<char>(trail)};
    } else {
        if (code < 0x20 || code >= 0x7F) return false; // a lone lead byte is no character
        ch = std::string(1, static_cast<char>(code));
    }
    e->InsertText(ch);
    Invalidate();
    return true;
}

} // namespace dulib
