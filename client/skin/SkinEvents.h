// Event tables: how a skinned window maps element events to its member handlers.
//
// A class keeps one static table, rows in a fixed order, ended by a row whose pattern is
// null:
//     const EventMapEntry<CWndAbout> CWndAbout::s_events[] = {
//         {"about_close", PE_CLICK, &CWndAbout::OnClose},
//         {nullptr, 0, nullptr},
//     };
// and answers WM_SKINEVENT with DispatchSkinEvent(this, s_events, element, event).
#pragma once

#include "dulib/dulib.h"

#include <cstdint>

template <class Window>
struct EventMapEntry {
    using Handler = int (Window::*)(Plugin* element, int param1, int param2);
    const char* pattern; // element name, or a prefix followed by "*"
    std::int32_t code;   // the event code the row answers
    Handler handler;
};

// The first row whose pattern matches the element's name and whose code equals the
// event's code runs its handler, and its answer is returned; no such row answers 0. The
// name is asked for row by row. An event without element or data answers 0.
template <class Window>
int DispatchSkinEvent(Window* window, const EventMapEntry<Window>* table, Plugin* element, const PluginEvent* event)
{
    if (!window || !table || !element || !event)
        return 0;
    for (const EventMapEntry<Window>* row = table; row->pattern; ++row) {
        std::string name = element->GetName();
        if (MatchString(row->pattern, name.c_str()) && row->code == event->code) {
            if (!row->handler)
                return 0;
            return (window->*(row->handler))(element, event->param1, event->param2);
        }
    }
    return 0;
}
