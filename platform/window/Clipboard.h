// The desktop's clipboard and primary selection (the text a middle click pastes), as GBK
// texts like every client text: converted to UTF-8 for the desktop, and back with "?" for
// the characters GBK lacks.
//
// Threads: user-interface thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

enum class Clipboard { Standard, Primary };

// Offers the text; false when no window system runs.
bool SetClipboardText(Clipboard which, const std::string& gbk);
// Asks for the text the desktop holds. done runs on the user-interface thread with the text,
// or with nothing when there is none: at once or later (another program's text comes when it
// answers), and never once the window system has shut down.
void RequestClipboardText(Clipboard which, std::function<void(std::optional<std::string> gbk)> done);

} // namespace platform
