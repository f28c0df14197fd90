// A layout instantiated for one window: the element tree with its layout, drawing, hit
// testing, gestures, keyboard focus and edit input. It knows no window system: the window
// glue (or a test, or the render tool) supplies a ViewHost.
#pragma once

#include "dulib/Element.h"
#include "dulib/Skin.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct _cairo;

namespace dulib {

class ViewHost {
public:
    virtual ~ViewHost() = default;
    // Delivers an element event to the window; the window's answer comes back.
    virtual LRESULT RaiseEvent(Element* element, PluginEvent* event) = 0;
    virtual void Invalidate() = 0;
    virtual void PaintNow() = 0;
    virtual void PlaceWindow(HWND child, const RECT& rect) = 0;
    virtual void ShowHostedWindow(HWND child, bool show) = 0;
    virtual bool WindowAlive(HWND child) = 0;
    virtual void OpenLink(const std::string& address) = 0;
    virtual void BeginMove() = 0;

    // Edit boxes. The clipboard (primary: the selection a middle click pastes), texts
    // GBK; a request may be answered later, with nothing when there is no text.
    virtual void SetClipboardText(bool /*primary*/, const std::string& /*gbk*/) {}
    virtual void RequestClipboardText(bool /*primary*/, std::function<void(std::optional<std::string>)> done)
    {
        done(std::nullopt);
    }
    // A pop-up menu at a client point: the chosen item's index, or -1 when dismissed.
    struct MenuEntry {
        std::string text; // GBK
        bool enabled = true;
    };
    virtual int PopupMenu(const std::vector<MenuEntry>& /*items*/, int /*x*/, int /*y*/) { return -1; }
    // What the focused element takes from the input method, and where its caret is (client
    // coordinates), so the candidate window stays beside it.
    enum class ImeInput { Off, Text, Password };
    virtual void ImeFocus(ImeInput /*input*/, const RECT& /*caret*/) {}
};

class View {
public:
    View(Skin& skin, const LayoutDesc& layout, ViewHost* host);
    ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    Skin& skin() { return m_skin; }
    ViewHost* host() { return m_host; }
    Element* root() { return m_root.get(); }
    Element* Find(const std::string& name) { return m_root->Find(name); }
    int width() const { return m_width; }
    int height() const { return m_height; }

    void Resize(int width, int height);
    void Paint(_cairo* cr);

    // The element a click at (x, y) acts on: the topmost shown, enabled interactive element
    // there; null over plain panels, text and covers (a cover swallows the click).
    Element* HitTest(int x, int y);

    // Mouse input in client coordinates. Answers whether the face changed.
    bool MouseMove(int x, int y);
    void MouseLeave();
    // A second press of a double click presses elements like the first (fast clicks all
    // count) but does not start a window move: the window itself handles the double click.
    // On an edit box the press places the caret (Shift extends the selection), a double
    // click selects a word, and a drag selects until the release.
    void MouseDown(int x, int y, bool secondOfDouble = false, unsigned modifiers = 0);
    void MouseUp(int x, int y);
    // Middle press: pastes the primary selection into the edit box there, at the point.
    void MiddleDown(int x, int y);
    // Right press: the edit box there takes the focus and shows its menu. Answers whether
    // an edit box was there.
    bool ContextMenu(int x, int y);
    Element* selecting() const { return m_selecting; }

    // Keyboard input for the focused edit box (modifiers: kModShift, kModControl). Answer
    // whether it was used.
    bool KeyDown(int virtualKey, unsigned modifiers = 0);
    bool Char(unsigned code); // WM_CHAR: printable ASCII only
    bool ImeChar(unsigned code); // WM_IME_CHAR: one GBK character
    // The input method's composition for the focused edit box (UTF-8, cursor as a byte
    // offset in it); empty when it ended. Answers whether an edit box took it.
    bool SetComposition(const std::string& utf8, size_t cursor);

    Element* focus() const { return m_focus; }
    // The one place the focus changes (clicks, keys, the client's SetFocusPlugin). Null, a
    // plain panel or text, or a caption clears it.
    void SetFocus(Element* element);

    // Acts on the element from the keyboard exactly as a click does: the same event with
    // the same parameter, the same toggle, the same link opened. Answers whether the element
    // was one a click acts on.
    bool Activate(Element* element);

    // Keys the window handles itself (KEYS_TAB, KEYS_ENTER of dulib.h): the navigation
    // keys of the engine leave them alone.
    void SetOwnKeys(int keys) { m_ownKeys = keys; }
    int ownKeys() const { return m_ownKeys; }
    Element* hover() const { return m_hover; }
    Element* pressed() const { return m_pressed; }

    // The window was maximised or restored: toggles that follow it change their state
    // (no event: the window changed, not the member's choice).
    void SetMaximized(bool maximized);

    void Invalidate();
    // False once the view is gone: for answers that may arrive after it.
    std::weak_ptr<bool> aliveFlag() const { return m_alive; }
    void ForgetElement(Element* element); // hover/press/focus no longer point at it

    // Tells the host what the focused element takes from the input method and where the
    // caret is, when either changed since last told.
    void TellIme();

private:
    LRESULT Raise(Element* element, std::int32_t code, std::int32_t param1);
    // The press of a link icon or drop-down button: its event, raised while it looks pressed.
    void Press(Element* element);
    // The event a completed click (press and release on it) raises.
    void Click(Element* element);

    Skin& m_skin;
    ViewHost* m_host;
    std::unique_ptr<Element> m_root;
    int m_width = 0;
    int m_height = 0;
    Element* m_hover = nullptr;
    Element* m_pressed = nullptr;
    Element* m_focus = nullptr;
    int m_ownKeys = 0;
    Element* m_selecting = nullptr; // the edit box a drag is selecting in
    std::optional<std::pair<ViewHost::ImeInput, RECT>> m_toldIme;
    std::shared_ptr<bool> m_alive;
};

// Draws an element subtree (shown elements only).
void PaintElement(_cairo* cr, View& view, Element& element);
// Draws the ring round the focused element when the keyboard can reach it (edit boxes show
// their focus with their own look and caret instead).
void PaintFocusRing(_cairo* cr, View& view);
// Caret x position inside an edit box's text area (for tests and drawing).
double CaretOffset(View& view, Element& element);
// The caret of an edit box as drawn, in client coordinates (composition included).
RECT CaretRect(View& view, Element& element);
// The text offset nearest to client x in an edit box, as drawn (scrolled to the caret).
size_t EditOffsetAt(View& view, Element& element, int x);

} // namespace dulib
