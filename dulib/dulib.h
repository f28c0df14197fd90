// dulib: the skin engine. It loads the skin description (skin/config.xml), attaches named
// layouts to windows, draws them with Cairo and Pango and reports user actions on named
// elements to the window as WM_SKINEVENT.
//
// Texts: every text passed in or returned is GBK bytes (the client's narrow code page); the
// engine converts to UTF-8 only where it hands text to Pango.
//
// Threads: everything here belongs to the user-interface thread.
//
// Ownership: the SkinManager returned by LoadStyleA lives until the process ends (or until
// dulib::FreeSkin). Elements (Plugin) belong to the engine: an element lives as long as the
// window its layout is attached to; callers only hold references. Resources belong to the
// resource table (see ResourceTable).
//
// Events: a gesture on an element is sent to the attached window as
//     SendMessage(hwnd, WM_SKINEVENT, (WPARAM)element, (LPARAM)&event)
// with event a PluginEvent; the window's result returns to the engine (0 acted, -1 refused).
//   PE_CLICK 13    a button or any clickable element was clicked (press and release on it)
//   PE_TOGGLE 15   a check box or a toggle (the maximise button) changed; param1 = new state
//   PE_ACTIVATE 5  a link icon or a drop-down button was pressed (raised on the press)
//   PE_SELECT 27   a colour image was clicked
// param2 is always 0.
//
// Layout values: every element is anchored to its parent's edges by the description, so a
// resize keeps each element at its distance from the edges it is anchored to. Three values
// adjust that from code, each applied by the next Relayout (or resize):
//   A  the element's left edge, in pixels from its parent's left edge (replaces the
//      horizontal anchor; the width stays).
//   B  for a row container (children laid out left to right): the distance of the first
//      child from the row's left edge (replaces the row's own "lead").
//   C  for a row container: extra pixels added to the row's own gap between adjacent
//      children (may be negative).
//
// States (SetState): 0 disabled (drawn greyed, raises nothing), 1 normal (enabled; any
// hover or pressed look is dropped), 2 hover look, 3 pressed look.
#pragma once

#include "platform/WinTypes.h"

#include <cstdint>
#include <string>

class Plugin;
class SkinManager;

struct PluginEvent {
    std::int32_t code = 0;
    std::int32_t param1 = 0;
    std::int32_t param2 = 0;
};

constexpr std::int32_t PE_ACTIVATE = 5;
constexpr std::int32_t PE_CLICK = 13;
constexpr std::int32_t PE_TOGGLE = 15;
constexpr std::int32_t PE_SELECT = 27;

// A skin element of an attached window.
class Plugin {
public:
    [[nodiscard]] virtual std::string GetName() = 0;
    [[nodiscard]] virtual std::string GetText() = 0;
    [[nodiscard]] virtual int IsVisible() = 0; // the element's own flag, not its ancestors'
    virtual void GetRect(RECT* rect) = 0; // client coordinates of the window
    [[nodiscard]] virtual Plugin* GetParent() = 0; // null for the root element
    [[nodiscard]] virtual Plugin* GetNext() = 0; // next sibling or null
    // Applies the style (a kind-5 resource) of that name as the element's look; an unknown
    // name leaves the element without a look from styles until a known one is set.
    virtual void SetStyle(const char* styleName) = 0;
    virtual void SetText(const char* text) = 0; // a null text counts as empty
    virtual void Show(int show) = 0; // nonzero shows, 0 hides; repaints
    // Keyboard focus within the window: nonzero takes it, 0 gives it up. Edit boxes take
    // typing; other interactive elements show their hover look and the focus ring while
    // focused and act on Enter and Space; plain panels, texts and captions cannot hold it.
    virtual void SetFocus(int focus) = 0;
    virtual void SetState(int state) = 0; // see "States" above
    virtual void SetLayoutA(int value) = 0;
    virtual void Relayout(int repaint) = 0; // lays out this element's subtree again
    [[nodiscard]] virtual Plugin* FindChild(const char* name) = 0; // any descendant, depth first
    // The kind-dependent pair. On an element of another kind these do nothing and return 0.
    [[nodiscard]] virtual int GetCheck() = 0; // check box or toggle: nonzero when on
    virtual void SetCheck(int check) = 0; // no event is raised
    // Window host: keeps child placed over the element, shown exactly while the element
    // (and every ancestor) is shown.
    virtual void AttachWindow(HWND child) = 0;
    [[nodiscard]] virtual HWND GetWindow() = 0; // window host: the attached window or null
    virtual void SetLink(const char* url) = 0; // link: address opened when clicked
    virtual void SetLayoutB(int value) = 0;
    virtual void SetLayoutC(int value) = 0;
    // Multi-line text: wraps at the element's width; "\n" starts a new line.
    virtual void SetPlanText(const char* text) = 0;

protected:
    ~Plugin() = default;
};

// An item of a style resource: a value, normally the name of a paint of the description.
class StyleItem {
public:
    [[nodiscard]] virtual std::string GetValue() = 0;
    virtual void SetValue(const char* value) = 0;

protected:
    ~StyleItem() = default;
};

constexpr int RES_IMAGE = 1;
constexpr int RES_STYLE = 5;

// A resource of the skin: an image (kind 1) or a style (kind 5). Operations of the other
// kind do nothing (LoadFile answers false, Count 0, Item null).
class Resource {
public:
    [[nodiscard]] virtual std::string GetName() = 0;
    [[nodiscard]] virtual int GetKind() = 0;
    // Image: loads a PNG file; false (and the image left empty) when it cannot be read.
    [[nodiscard]] virtual bool LoadFile(const char* path) = 0;
    // Style: its items, in order. Item answers null outside 0..Count()-1.
    [[nodiscard]] virtual int Count() = 0;
    [[nodiscard]] virtual StyleItem* Item(int index) = 0;

protected:
    ~Resource() = default;
};

// The resources of a loaded skin, found by (name, kind). Names compare exactly.
// The table owns every resource it made: Create makes a detached resource (not found by
// Find) that Add puts into the table, replacing and destroying one of the same name and
// kind; Remove destroys. A detached resource never added is freed with the skin.
class ResourceTable {
public:
    [[nodiscard]] virtual bool Add(Resource* resource) = 0; // false for null or a foreign resource
    virtual bool Remove(const char* name, int kind) = 0; // false when none was there
    [[nodiscard]] virtual Resource* Find(const char* name, int kind) = 0;
    [[nodiscard]] virtual Resource* Create(const char* name, int kind) = 0; // null for an unknown kind

protected:
    ~ResourceTable() = default;
};

// A loaded skin description.
class SkinManager {
public:
    [[nodiscard]] virtual ResourceTable* GetResources() = 0;
    // The load error of a failed LoadStyleA (empty after success); see LoadStyleA.
    [[nodiscard]] virtual std::string GetError() = 0;

protected:
    ~SkinManager() = default;
};

// Loads the skin description at path (folder separators "/"; image paths in it are
// relative to its folder). Never null: on a missing or broken description the manager
// holds no layouts and GetError() tells why (also written to standard error); attaching a
// layout then fails and windows stay undrawn.
[[nodiscard]] SkinManager* LoadStyleA(const char* path);

// Attaches the named layout to the window: the window takes the layout's size, its
// procedure is hooked (messages the engine does not use pass on to the old procedure),
// its elements can be found and its events arrive. Answers nonzero on success; 0 when
// the layout is unknown or the window is not one.
[[nodiscard]] int WindowManager_Attach(SkinManager* manager, HWND hwnd, const char* layout);

[[nodiscard]] Plugin* GetPluginByName(HWND hwnd, const char* name); // null when absent

// Nonzero when name matches pattern: equal texts, or pattern ending in "*" and name
// beginning with the part before it. Case counts. Null arguments never match.
[[nodiscard]] int MatchString(const char* pattern, const char* name);

void Plugin_SetVisible(Plugin* element, int visible); // null element: nothing
void Plugin_Redraw(Plugin* element, int now); // nonzero now: painted before returning

// Keyboard: every element a click acts on can hold the focus. Tab and Shift+Tab walk them
// in reading order, the arrow keys move inside the groups the description marks, Enter and
// Space act on the focused control with the event a click raises; the focused control
// wears the skin's focus ring. A window that handles some of these keys itself says so,
// and the engine leaves them to it (the key still reaches the window in every case):
constexpr int KEYS_TAB = 1; // the window moves the focus on Tab (its own ring)
constexpr int KEYS_ENTER = 2; // Enter acts on the window, not on the focused control
void WindowManager_SetOwnKeys(HWND hwnd, int keys); // a window without a layout: nothing

[[nodiscard]] Plugin* GetFocusPlugin(HWND hwnd); // null when no element has the focus
// Null, or an element that cannot hold the focus, removes the focus; an element of another
// window is ignored.
void SetFocusPlugin(HWND hwnd, Plugin* element);

namespace dulib {
// Frees a skin (tests, tools). Windows still attached to it must be destroyed first.
void FreeSkin(SkinManager* manager);
} // namespace dulib
