// A live skin element: one node of an attached layout's tree.
#pragma once

#include "dulib/EditBox.h"
#include "dulib/SkinData.h"
#include "dulib/dulib.h"

#include <memory>
#include <string>
#include <vector>

namespace dulib {

class View;

class Element final : public Plugin {
public:
    Element(View* view, Element* parent, const ElementDesc& desc);

    // Plugin
    std::string GetName() override { return m_name; }
    std::string GetText() override { return m_text; }
    int IsVisible() override { return m_visible ? 1 : 0; }
    void GetRect(RECT* rect) override;
    Plugin* GetParent() override { return m_parent; }
    Plugin* GetNext() override;
    void SetStyle(const char* styleName) override;
    void SetText(const char* text) override;
    void Show(int show) override;
    void SetFocus(int focus) override;
    void SetState(int state) override;
    void SetLayoutA(int value) override { m_layoutA = value; }
    void Relayout(int repaint) override;
    Plugin* FindChild(const char* name) override;
    int GetCheck() override;
    void SetCheck(int check) override;
    void AttachWindow(HWND child) override;
    HWND GetWindow() override;
    void SetLink(const char* url) override;
    void SetLayoutB(int value) override { m_layoutB = value; }
    void SetLayoutC(int value) override { m_layoutC = value; }
    void SetPlanText(const char* text) override;

    View& view() const { return *m_view; }
    Kind kind() const { return m_desc.kind; }
    const ElementDesc& desc() const { return m_desc; }
    const std::string& name() const { return m_name; }
    const std::string& text() const { return m_text; }
    const std::string& style() const { return m_style; }
    const std::string& link() const { return m_link; }
    const RECT& rect() const { return m_rect; }
    bool visible() const { return m_visible; }
    bool shownOnScreen() const; // visible with all its ancestors
    bool checked() const { return m_checked; }
    bool enabled() const { return m_enabled; }
    bool wrap() const { return m_wrap; }
    int forcedLook() const { return m_forcedLook; }
    Element* parent() const { return m_parent; }
    const std::vector<std::unique_ptr<Element>>& children() const { return m_children; }
    Element* Find(const std::string& name);
    bool Interactive() const;
    bool Editable() const { return m_desc.kind == Kind::Edit || m_desc.kind == Kind::Password; }

    // Layout of this element inside the given parent rectangle, then of its children.
    void Layout(const RECT& parentRect, const OptInt& flowX);
    // Re-places hosted windows of this subtree (after layout or visibility changes).
    void SyncHosts();

    // Edit boxes: caret as a byte offset, always on a character boundary (EditBox.cpp).
    size_t caret() const { return m_edit.caret; }
    EditState& edit() { return m_edit; }
    const EditState& edit() const { return m_edit; }
    // Typed text replaces the selection; refused whole when it would pass the length limit.
    void InsertText(const std::string& gbk);
    void DeleteBack();    // the selection, else the character before the caret
    void DeleteForward(); // the selection, else the character after the caret
    void MoveCaret(int direction, bool extend = false); // -1 left, +1 right
    void CaretHome(bool extend = false);
    void CaretEnd(bool extend = false);

    void setChecked(bool on) { m_checked = on; }

private:
    void LayoutChildren();

    View* m_view;
    Element* m_parent;
    const ElementDesc& m_desc;
    std::string m_name;
    std::string m_text;
    std::string m_style;
    std::string m_link;
    RECT m_rect;
    bool m_visible;
    bool m_checked;
    bool m_enabled = true;
    bool m_wrap;
    int m_forcedLook = 0; // 0 none, 2 hover, 3 pressed (SetState)
    OptInt m_layoutA, m_layoutB;
    int m_layoutC = 0;
    HWND m_hosted = nullptr;
    bool m_hiddenHosted = false;
    EditState m_edit;
    std::vector<std::unique_ptr<Element>> m_children;
};

// What a password box shows for each character (UTF-8).
inline constexpr const char* kPasswordMask = "\u25CF";

// GBK: the length of the character starting at text[i] (1 or 2 bytes).
size_t GbkCharLength(const std::string& text, size_t i);

} // namespace dulib
