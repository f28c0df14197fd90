// What a screen reader is told about an attached layout, without a window system: every
// shown element that a member reads or acts on, with its role, name, states and place, and
// the click a screen reader asks for, made through the View as the mouse makes it.
#pragma once

#include "dulib/View.h"
#include "platform/window/Accessible.h"

namespace dulib {

// The face as the member sees it now, elements in the description's order (reading order).
// Names: the element's accname, else its text, else a glyph that is text (an edit box's
// hint); picture-only elements without an accname have no name. A password box shows one
// mask character per character, never its text. A notification layout's description is its
// shown multi-line text.
[[nodiscard]] platform::AccessibleFace DescribeView(View& view);

// The shown element of this view that key stands for, or null (keys of elements that went
// with their window are never dereferenced).
[[nodiscard]] Element* ElementOfKey(View& view, const void* key);

// A mouse click on the element: press and release at a point of it where a click reaches
// it, so it raises exactly the mouse's events. False (nothing done) when the element is not
// shown, not enabled, has no click, or is covered everywhere. The window may be gone on
// return: touch nothing of it afterwards without checking.
bool ClickElement(View& view, Element& element);

} // namespace dulib
