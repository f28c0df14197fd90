// Keyboard navigation of a view: which elements the keyboard can reach, in which order Tab
// walks them, where an arrow key goes, and what Enter and Space do. It works on a View
// alone (no window system), so the window glue and the tests drive it the same way.
//
// Reachable: a shown, enabled element a click acts on (buttons, toggles, check boxes,
// links, link icons, drop-down buttons, colour images, edit boxes), not a caption, and not
// covered: a click at its centre would reach it. So a cover that swallows clicks also keeps
// the keyboard away from what lies under it.
//
// Reading order: top to bottom by line, left to right within a line; an element starts a
// new line when its top lies below the middle of the line's first element.
//
// Arrows move only inside an element marked arrows="1" in the description (the tiles of
// the main window, a drop-down's items), to the nearest reachable element in that
// direction: Left and Right on the same line only, Up and Down to the next line even when
// nothing lies straight above or below. Elsewhere they are not used.
#pragma once

#include "dulib/View.h"

#include <vector>

namespace dulib {

[[nodiscard]] bool KeyboardReachable(View& view, Element& element);
// Every reachable element of the view, in reading order.
[[nodiscard]] std::vector<Element*> FocusOrder(View& view);
// The element Tab (or Shift+Tab, backwards) goes to from `from`: the next in reading order,
// after the last the first. From null or an element no longer reachable: the first (the
// last backwards). Null when nothing is reachable.
[[nodiscard]] Element* NextInOrder(View& view, Element* from, bool backwards);
// The element an arrow key (VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN) goes to from `from` inside
// its arrow group; null when there is none in that direction or `from` is in no group.
// From null, inside a root marked arrows="1": the first reachable element.
[[nodiscard]] Element* NextByArrow(View& view, Element* from, int virtualKey);

// A key press for the view when no edit box used it: Tab and Shift+Tab move the focus,
// arrows move it inside an arrow group, Enter and Space activate the focused control as a
// click would. Keys in view.ownKeys() are left to the window. Answers whether it was used.
bool NavigateByKey(View& view, int virtualKey, bool shift);

} // namespace dulib
