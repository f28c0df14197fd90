// The text model of an edit box and what a member does with it: typing, the selection
// (keys, mouse, select all), the clipboard and the primary selection, the input method's
// composition. The text is GBK; offsets are byte offsets, always on a character boundary.
// It knows no window system: the clipboard and the pop-up menu go through the ViewHost.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace dulib {

class Element;
class View;

// Per edit box. The composition is what the input method is still composing: UTF-8, shown
// at the caret, underlined, never part of the text until the input method commits it.
struct EditState {
    size_t caret = 0;
    size_t anchor = 0; // the selection runs from anchor to caret
    std::string composition;
    size_t compositionCursor = 0; // byte offset inside composition
};

// Modifier keys held with a key or a click.
constexpr unsigned kModShift = 1;
constexpr unsigned kModControl = 2;

namespace edit {

// The selection as [start, end); empty when the caret is the anchor.
std::pair<size_t, size_t> Selection(const Element& e);
std::string SelectedText(const Element& e);
// Moves the caret; with extend the anchor stays (the selection grows or shrinks).
void SetCaret(Element& e, size_t offset, bool extend);
void Select(Element& e, size_t anchor, size_t caret);
void SelectAll(Element& e);
// The word (a run of ASCII letters and digits, of two-byte characters, or of other
// single-byte characters) around the offset.
void SelectWordAt(Element& e, size_t offset);
// Removes the selection; false when there was none.
bool DeleteSelection(Element& e);
// Pasted text: up to its first line break, control characters dropped, then as many whole
// characters as the length limit leaves room for; replaces the selection. Answers whether
// anything changed.
bool Paste(Element& e, const std::string& gbk);
// Copying out of an edit box; a password box never gives its text out.
bool CanCopy(const Element& e);

// The character boundaries around an offset.
size_t PreviousBoundary(const std::string& text, size_t offset);
size_t NextBoundary(const std::string& text, size_t offset);
// The offset snapped down to a character boundary.
size_t Snap(const std::string& text, size_t offset);

// A key for the focused edit box (virtual-key code and kMod* modifiers): caret and
// selection moves, deletion, select all, copy, cut and paste. Answers whether it was used;
// other keys (Tab, Enter, Esc) are left to the window.
bool KeyDown(View& view, Element& e, int virtualKey, unsigned modifiers);
// Copies the selection to the clipboard (and cuts it); false for a password box or an
// empty selection.
bool Copy(View& view, Element& e, bool cut);
// Asks for the clipboard's (or the primary selection's) text and pastes it into the box
// when it arrives, if the box still takes typing then.
void RequestPaste(View& view, Element& e, bool primary);
// Offers a new selection as the primary selection (never a password box's).
void OfferPrimary(View& view, Element& e);
// The edit box's own pop-up menu at client point (x, y): cut, copy, paste, delete, select
// all, each usable only where it applies.
void ContextMenu(View& view, Element& e, int x, int y);

} // namespace edit
} // namespace dulib
