// The tracking loop of a drop-down that does not take the activation (the settings
// drop-down): its owner stays the active window while the drop-down receives the thread's
// keyboard and mouse input.
//
// Threads: user-interface thread only; it runs a nested message loop.
#pragma once

#include "platform/window/WindowSystem.h"

class CWnd;

// Fetches and dispatches the thread's messages one at a time until dismissed becomes
// nonzero, owner stops being the active window, a non-client button is pressed anywhere,
// or the quit request arrives. Keys and non-client mouse moves go to the drop-down, mouse
// messages too with their point converted into the drop-down's client coordinates; all
// else is dispatched unchanged. When tracking ends before a fetched message was handled,
// only keyboard and mouse input is dropped: answers, timers and other posted messages are
// still dispatched. On return the drop-down window is destroyed (once, whoever destroyed
// it meanwhile), and a quit request fetched here has been posted again with its code.
void TrackDropDown(HWND owner, CWnd& dropDown, const int& dismissed);
