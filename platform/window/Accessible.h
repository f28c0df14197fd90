// What a screen reader or a magnifier sees of a window's face. The layer that draws the
// face (the skin engine) describes the things a member reads or acts on, one node each;
// the GTK back end shows them as ATK objects (seen over AT-SPI) under the face's own
// object, follows their changes and sends node actions back. The headless back end only
// keeps the sources.
//
// Threads: user-interface thread only, like every window call.
// Ownership: a source belongs to its registrant, which removes it before it goes.
#pragma once

#include "platform/WinTypes.h"

#include <string>
#include <vector>

namespace platform {

enum class AccessibleRole {
    Panel, // a face with nothing of its own to say
    Notification, // a face that tells news (a notice)
    PushButton,
    ToggleButton,
    CheckBox,
    Entry,
    PasswordText,
    Link,
    Label,
    Image,
};

struct AccessibleNode {
    // Identity across descriptions (the element it stands for); only compared, never used.
    const void* key = nullptr;
    AccessibleRole role = AccessibleRole::Label;
    std::string name; // UTF-8
    // UTF-8. Edit boxes: their content (a password box: one mask character per character);
    // labels: their text.
    std::string text;
    long caret = -1; // edit boxes: the caret as a character offset into text
    RECT rect{}; // client coordinates of the window, as drawn
    bool focusable = false;
    bool focused = false; // holds the face's keyboard focus
    bool checked = false;
    bool enabled = true;
    bool clickable = false; // has the "click" action
};

struct AccessibleFace {
    AccessibleRole role = AccessibleRole::Panel;
    std::string name; // UTF-8
    std::string description; // UTF-8; a notification's message
    std::vector<AccessibleNode> nodes; // in reading order
};

class AccessibleSource {
public:
    // The face as it is now.
    [[nodiscard]] virtual AccessibleFace DescribeFace() = 0;
    // The node's action, with the events a mouse click on it raises; false when the node is
    // gone or has no action. May destroy the window.
    virtual bool Click(const void* key) = 0;
    // Gives the node the face's keyboard focus; false when it cannot hold it.
    virtual bool Focus(const void* key) = 0;

protected:
    ~AccessibleSource() = default;
};

// Makes source the description of the window's face (replacing one set before).
void SetAccessibleSource(HWND hwnd, AccessibleSource* source);
// Removes source, when it is still the window's.
void RemoveAccessibleSource(HWND hwnd, AccessibleSource* source);
[[nodiscard]] AccessibleSource* AccessibleSourceOf(HWND hwnd);
// The description may have changed: the back end reads it again soon (once for a burst of
// calls) and tells the screen reader what changed.
void AccessibleChanged(HWND hwnd);

} // namespace platform
