#include "dulib/View.h"

#include "dulib/Navigation.h"

#include <algorithm>
#include <functional>
#include <utility>

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
    TellIme();
}

void View::TellIme()
{
    if (!m_host) return;
    Element* e = m_focus;
    auto input = ViewHost::ImeInput::Off;
    RECT caret{};
    if (e && e->Editable() && e->shownOnScreen()) {
        input = e->kind() == Kind::Password ? ViewHost::ImeInput::Password : ViewHost::ImeInput::Text;
        caret = CaretRect(*this, *e);
    }
    auto same = [&](const std::pair<ViewHost::ImeInput, RECT>& told) {
        const RECT& r = told.second;
        return told.first == input && r.left == caret.left && r.top == caret.top && r.right == caret.right
               && r.bottom == caret.bottom;
    };
    if (m_toldIme && same(*m_toldIme)) return;
    m_toldIme = std::make_pair(input, caret);
    m_host->ImeFocus(input, caret);
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
    if (inside(m_selecting)) m_selecting = nullptr;
    if (!element->visible() && inside(m_focus)) {
        SetFocus(nullptr);
        TellIme();
    }
}

void View::SetFocus(Element* element)
{
    // Edit boxes take typing; other interactive elements can hold the focus for the look.
    if (element && (!element->Interactive() || element->kind() == Kind::Caption)) element = nullptr;
    if (element == m_focus) return;
    if (m_focus && !m_focus->edit().composition.empty()) {
        // The composition belongs to the box that had it: the input method drops it (a
        // change of what the window takes resets the input method).
        m_focus->edit().composition.clear();
        if (m_host) {
            m_toldIme = std::make_pair(ViewHost::ImeInput::Off, RECT{});
            m_host->ImeFocus(ViewHost::ImeInput::Off, RECT{});
        }
    }
    m_focus = element;
    if (m_focus && m_focus->Editable()) m_focus->CaretEnd();
    TellIme();
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
    if (m_selecting) {
        edit::SetCaret(*m_selecting, EditOffsetAt(*this, *m_selecting, x), true);
        Invalidate();
    }
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

void View::MouseDown(int x, int y, bool secondOfDouble, unsigned modifiers)
{
    Element* e = HitTest(x, y);
    m_hover = e;
    SetFocus(e && e->Editable() ? e : nullptr);
    if (!e) return;
    if (e->Editable() && e->edit().composition.empty()) {
        size_t at = EditOffsetAt(*this, *e, x);
        if (secondOfDouble) {
            edit::SelectWordAt(*e, at);
            edit::OfferPrimary(*this, *e);
        } else {
            edit::SetCaret(*e, at, (modifiers & kModShift) != 0);
            m_selecting = e;
        }
        TellIme();
        Invalidate();
        return;
    }
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

void View::MiddleDown(int x, int y)
{
    Element* e = HitTest(x, y);
    if (!e || !e->Editable()) return;
    SetFocus(e);
    if (!e->edit().composition.empty()) return;
    edit::SetCaret(*e, EditOffsetAt(*this, *e, x), false);
    Invalidate();
    edit::RequestPaste(*this, *e, true);
}

bool View::ContextMenu(int x, int y)
{
    Element* e = HitTest(x, y);
    if (!e || !e->Editable()) return false;
    SetFocus(e);
    // A right click outside the selection moves the caret there first, as desktop entries do.
    auto [start, end] = edit::Selection(*e);
    size_t at = EditOffsetAt(*this, *e, x);
    if (at < start || at > end || start == end) edit::SetCaret(*e, at, false);
    Invalidate();
    edit::ContextMenu(*this, *e, x, y);
    return true;
}

void View::MouseUp(int x, int y)
{
    if (Element* selecting = std::exchange(m_selecting, nullptr)) {
        edit::SetCaret(*selecting, EditOffsetAt(*this, *selecting, x), true);
        edit::OfferPrimary(*this, *selecting);
        Invalidate();
    }
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

bool View::KeyDown(int virtualKey, unsigned modifiers)
{
    Element* e = m_focus;
    if (!e || !e->Editable() || !e->shownOnScreen()) return false;
    return edit::KeyDown(*this, *e, virtualKey, modifiers);
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

bool View::SetComposition(const std::string& utf8, size_t cursor)
{
    Element* e = m_focus;
    if (!e || !e->Editable() || !e->shownOnScreen()) return false;
    EditState& s = e->edit();
    if (s.composition == utf8 && s.compositionCursor == cursor) return true;
    s.composition = utf8;
    s.compositionCursor = std::min(cursor, utf8.size());
    Invalidate();
    return true;
}

} // namespace dulib
