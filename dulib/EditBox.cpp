#include "dulib/EditBox.h"

#include "dulib/Element.h"
#include "dulib/View.h"

#include "platform/CodeLib.h"

#include <algorithm>
#include <memory>

namespace dulib {
namespace edit {
namespace {

enum class CharClass { Word, Wide, Space, Other };

CharClass ClassAt(const std::string& text, size_t i)
{
    auto c = static_cast<unsigned char>(text[i]);
    if (GbkCharLength(text, i) == 2) return CharClass::Wide;
    if (c == ' ' || c == '\t') return CharClass::Space;
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') return CharClass::Word;
    return CharClass::Other;
}

// The menu items, in the order GTK's own entries show them.
enum MenuItemIndex { kCut, kCopy, kPaste, kDelete, kSelectAll };

// GBK texts of the menu, as the client's own texts are.
std::string Gbk(const char* utf8) { return CCodeLib::Utf8ToAnsi(utf8); }

} // namespace

size_t Snap(const std::string& text, size_t offset)
{
    offset = std::min(offset, text.size());
    size_t i = 0;
    while (i < offset) {
        size_t next = i + GbkCharLength(text, i);
        if (next > offset) break;
        i = next;
    }
    return i;
}

size_t PreviousBoundary(const std::string& text, size_t offset)
{
    size_t i = 0, prev = 0;
    while (i < offset && i < text.size()) {
        prev = i;
        i += GbkCharLength(text, i);
    }
    return prev;
}

size_t NextBoundary(const std::string& text, size_t offset)
{
    return offset < text.size() ? offset + GbkCharLength(text, offset) : text.size();
}

std::pair<size_t, size_t> Selection(const Element& e)
{
    const EditState& s = e.edit();
    return {std::min(s.caret, s.anchor), std::max(s.caret, s.anchor)};
}

std::string SelectedText(const Element& e)
{
    auto [start, end] = Selection(e);
    return e.text().substr(start, end - start);
}

void SetCaret(Element& e, size_t offset, bool extend)
{
    EditState& s = e.edit();
    s.caret = Snap(e.text(), offset);
    if (!extend) s.anchor = s.caret;
}

void Select(Element& e, size_t anchor, size_t caret)
{
    e.edit().anchor = Snap(e.text(), anchor);
    e.edit().caret = Snap(e.text(), caret);
}

void SelectAll(Element& e) { Select(e, 0, e.text().size()); }

void SelectWordAt(Element& e, size_t offset)
{
    const std::string& text = e.text();
    if (text.empty()) return;
    offset = Snap(text, offset);
    if (offset == text.size()) offset = PreviousBoundary(text, offset);
    CharClass kind = ClassAt(text, offset);
    size_t start = offset;
    while (start > 0) {
        size_t prev = PreviousBoundary(text, start);
        if (ClassAt(text, prev) != kind) break;
        start = prev;
    }
    size_t end = offset;
    while (end < text.size() && ClassAt(text, end) == kind) end = NextBoundary(text, end);
    Select(e, start, end);
}

bool DeleteSelection(Element& e)
{
    auto [start, end] = Selection(e);
    if (start == end) return false;
    std::string text = e.text();
    text.erase(start, end - start);
    e.SetText(text.c_str());
    SetCaret(e, start, false);
    return true;
}

bool Paste(Element& e, const std::string& gbk)
{
    std::string clean;
    for (size_t i = 0; i < gbk.size();) {
        size_t length = GbkCharLength(gbk, i);
        auto c = static_cast<unsigned char>(gbk[i]);
        if (c == '\r' || c == '\n') break;
        if (length == 2 || (c >= 0x20 && c != 0x7F && c < 0x80)) clean.append(gbk, i, length);
        i += length;
    }
    auto [start, end] = Selection(e);
    size_t limit = static_cast<size_t>(std::max(e.desc().maxLength, 0));
    size_t room = e.text().size() - (end - start) < limit ? limit - (e.text().size() - (end - start)) : 0;
    clean.resize(Snap(clean, room));
    if (clean.empty() && start == end) return false;
    std::string text = e.text();
    text.replace(start, end - start, clean);
    e.SetText(text.c_str());
    SetCaret(e, start + clean.size(), false);
    return true;
}

bool CanCopy(const Element& e) { return e.kind() != Kind::Password; }

bool Copy(View& view, Element& e, bool cut)
{
    std::string selected = SelectedText(e);
    if (!CanCopy(e) || selected.empty()) return false;
    if (ViewHost* host = view.host()) host->SetClipboardText(false, selected);
    if (cut) DeleteSelection(e);
    return true;
}

void RequestPaste(View& view, Element& e, bool primary)
{
    ViewHost* host = view.host();
    if (!host) return;
    // The answer may come after the box lost the focus, or after the window went.
    std::weak_ptr<bool> alive = view.aliveFlag();
    Element* target = &e;
    host->RequestClipboardText(primary, [alive, target](std::optional<std::string> gbk) {
        auto flag = alive.lock();
        if (!flag || !*flag || !gbk) return;
        View& v = target->view();
        if (v.focus() != target || !target->Editable() || !target->shownOnScreen()) return;
        if (Paste(*target, *gbk)) v.Invalidate();
    });
}

void OfferPrimary(View& view, Element& e)
{
    std::string selected = SelectedText(e);
    if (!CanCopy(e) || selected.empty() || !view.host()) return;
    view.host()->SetClipboardText(true, selected);
}

bool KeyDown(View& view, Element& e, int vk, unsigned modifiers)
{
    const bool shift = (modifiers & kModShift) != 0;
    const bool control = (modifiers & kModControl) != 0;
    if (control && !shift) {
        switch (vk) {
        case 'A': SelectAll(e); OfferPrimary(view, e); break;
        case 'C':
        case VK_INSERT: Copy(view, e, false); return true;
        case 'X': Copy(view, e, true); break;
        case 'V': RequestPaste(view, e, false); return true;
        case VK_HOME: SetCaret(e, 0, false); break;
        case VK_END: SetCaret(e, e.text().size(), false); break;
        case VK_LEFT: e.MoveCaret(-1); break;
        case VK_RIGHT: e.MoveCaret(1); break;
        case VK_BACK: e.DeleteBack(); break;
        case VK_DELETE: e.DeleteForward(); break;
        default: return false;
        }
        view.Invalidate();
        return true;
    }
    if (control) return false;
    switch (vk) {
    case VK_BACK: e.DeleteBack(); break;
    case VK_DELETE:
        if (shift) Copy(view, e, true);
        else e.DeleteForward();
        break;
    case VK_INSERT:
        if (!shift) return false;
        RequestPaste(view, e, false);
        return true;
    case VK_LEFT: e.MoveCaret(-1, shift); break;
    case VK_RIGHT: e.MoveCaret(1, shift); break;
    case VK_HOME: e.CaretHome(shift); break;
    case VK_END: e.CaretEnd(shift); break;
    default: return false;
    }
    if (shift) OfferPrimary(view, e);
    view.Invalidate();
    return true;
}

void ContextMenu(View& view, Element& e, int x, int y)
{
    ViewHost* host = view.host();
    if (!host) return;
    const bool selection = Selection(e).first != Selection(e).second;
    const bool copyable = selection && CanCopy(e);
    std::vector<ViewHost::MenuEntry> items = {
        {Gbk("剪切"), copyable},
        {Gbk("复制"), copyable},
        {Gbk("粘贴"), true},
        {Gbk("删除"), selection},
        {Gbk("全选"), !e.text().empty()},
    };
    std::weak_ptr<bool> alive = view.aliveFlag();
    int chosen = host->PopupMenu(items, x, y);
    auto flag = alive.lock();
    if (!flag || !*flag || chosen < 0 || chosen >= static_cast<int>(items.size()) || !items[chosen].enabled) return;
    switch (chosen) {
    case kCut: Copy(view, e, true); break;
    case kCopy: Copy(view, e, false); break;
    case kPaste: RequestPaste(view, e, false); break;
    case kDelete: DeleteSelection(e); break;
    case kSelectAll: SelectAll(e); OfferPrimary(view, e); break;
    default: break;
    }
    view.Invalidate();
}

} // namespace edit

void Element::InsertText(const std::string& gbk)
{
    auto [start, end] = edit::Selection(*this);
    if (m_text.size() - (end - start) + gbk.size() > static_cast<size_t>(m_desc.maxLength)) return;
    m_text.replace(start, end - start, gbk);
    m_edit.caret = m_edit.anchor = start + gbk.size();
}

void Element::DeleteBack()
{
    if (edit::DeleteSelection(*this) || m_edit.caret == 0) return;
    size_t prev = edit::PreviousBoundary(m_text, m_edit.caret);
    m_text.erase(prev, m_edit.caret - prev);
    m_edit.caret = m_edit.anchor = prev;
}

void Element::DeleteForward()
{
    if (edit::DeleteSelection(*this) || m_edit.caret >= m_text.size()) return;
    m_text.erase(m_edit.caret, GbkCharLength(m_text, m_edit.caret));
    m_edit.anchor = m_edit.caret;
}

void Element::MoveCaret(int direction, bool extend)
{
    auto [start, end] = edit::Selection(*this);
    if (!extend && start != end) {
        // A plain arrow ends the selection at its side, as desktop entries do.
        edit::SetCaret(*this, direction < 0 ? start : end, false);
        return;
    }
    size_t to = direction > 0 ? edit::NextBoundary(m_text, m_edit.caret) : edit::PreviousBoundary(m_text, m_edit.caret);
    edit::SetCaret(*this, to, extend);
}

void Element::CaretHome(bool extend) { edit::SetCaret(*this, 0, extend); }

void Element::CaretEnd(bool extend) { edit::SetCaret(*this, m_text.size(), extend); }

} // namespace dulib
