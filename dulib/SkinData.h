// The parsed skin description: paints (how an element looks in one state), styles (named
// lists of paint names, the recolourable part), images and layouts (element trees).
//
// Description format (skin/config.xml, UTF-8):
//   <skin>
//     <paint name="tile" fill="#ffffff,#f2f6fb" border="#d5e1ef" radius="8" .../>
//     <paint name="tile_hover" base="tile" border="#3d8fe0"/>       (inherits, overrides)
//     <style name="kaodian" items="tile,tile_hover,tile_down"/>      (item i = state i)
//     <image name="vip_login_pic" file="vip_login_pic.png"/>         (relative to the file)
//     <layout name="window_about" width="360" height="220" style="about_back">
//       <button name="window_about_enter" right="16" bottom="14" width="88" height="30"
//               style="dialog_button" text="确定"/>
//     </layout>
//   </skin>
// Style items by state: 0 normal, 1 hover (or focused edit), 2 pressed, 3 disabled,
// 4 checked, 5 checked and hovered; a missing item falls back (see Paints::ForState).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dulib {

struct Colour {
    double r = 0, g = 0, b = 0, a = 1;
    bool set = false;
};

// A solid colour or a two-stop gradient (vertical unless horizontal).
struct Fill {
    Colour from, to;
    bool gradient = false;
    bool horizontal = false;
    bool set() const { return from.set; }
};

enum class Content { Text, Tile, Row, Check, Edit, Glyph };
enum class Align { Left, Center, Right };

struct Paint {
    Fill fill;
    Fill band; // a header band across the top of the fill (window title areas)
    double bandHeight = 0;
    Colour bandLine; // a line under the band
    Colour border;
    double borderWidth = 1;
    double radius = 0;
    int shadow = 0; // soft drop shadow, in pixels
    double opacity = 1;
    Colour color; // text
    double size = 13; // text pixel size
    bool bold = false;
    bool underline = false;
    Align align = Align::Center;
    double padding = 8;
    Content content = Content::Text;
    std::string label; // GBK; drawn instead of the element's text (digit styles)
    Fill badge; // tile badge, check box square
    Colour glyphColor;
    double badgeSize = 44;
    double badgeRadius = 10;
    double glyphSize = 20;
    bool circle = false; // images and badges drawn as circles
    Colour ring; // the keyboard focus ring around the element (else the skin's "focus_ring")
    double ringWidth = 2;
};

enum class Kind {
    Panel, Text, Button, Toggle, Check, Link, LinkIcon, DropButton, ColorImage, Edit,
    Password, Host, Caption, Image
};

// Optional pixel values of the description ("left", "width", ...).
using OptInt = std::optional<int>;

struct ElementDesc {
    Kind kind = Kind::Panel;
    std::string name;
    int line = 0;
    OptInt left, top, right, bottom, width, height, centerX, centerY;
    std::string style; // style resource (recolourable look)
    std::string look; // fixed paint, used when no style is set
    std::string text; // GBK
    std::string glyph; // GBK text or a built-in icon "@name"
    std::string image; // image resource name
    std::string link;
    bool visible = true;
    bool checked = false;
    bool row = false; // children laid out left to right
    int lead = 0;
    int gap = 0;
    int maxLength = 64; // edit boxes, GBK bytes
    bool wrap = false;
    bool followsMaximized = false; // a toggle that shows whether the window is maximised
    std::string accName; // GBK; what a screen reader calls the element (picture-only elements)
    bool notification = false; // a layout that tells news: a screen reader announces it
    bool arrows = false; // the arrow keys move the focus among the elements inside
    std::vector<ElementDesc> children;
};

struct LayoutDesc {
    std::string name;
    int width = 0, height = 0;
    ElementDesc root;
};

struct ImageDesc {
    std::string name;
    std::string path; // absolute
};

struct StyleDesc {
    std::string name;
    std::vector<std::string> items;
};

struct SkinData {
    std::map<std::string, Paint> paints;
    std::vector<StyleDesc> styles;
    std::vector<ImageDesc> images;
    std::map<std::string, LayoutDesc> layouts;
};

// Parses a description. Answers null and sets error (one line, with the line number where
// known) for a missing or unreadable file, broken XML or an invalid description.
std::unique_ptr<SkinData> LoadSkinData(const std::string& path, std::string* error);
std::unique_ptr<SkinData> ParseSkinData(const std::string& xmlText, const std::string& folder,
                                        std::string* error);

bool ParseColour(const std::string& text, Colour* colour);

} // namespace dulib
