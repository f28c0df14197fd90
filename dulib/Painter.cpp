// The drawing back end: Cairo shapes and Pango text. Texts are GBK inside the engine and
// become UTF-8 only here.
#include "dulib/EditBox.h"
#include "dulib/View.h"

#include "dulib/Navigation.h"
#include "platform/CodeLib.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>
#include <vector>

namespace dulib {
namespace {

constexpr const char* kFontFamily = "WenQuanYi Micro Hei";

void SetColour(cairo_t* cr, const Colour& c, double alpha = 1)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a * alpha);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r)
{
    r = std::min({r, w / 2, h / 2});
    if (r <= 0) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void ShapePath(cairo_t* cr, double x, double y, double w, double h, double radius, bool circle)
{
    if (circle) {
        double d = std::min(w, h);
        cairo_new_sub_path(cr);
        cairo_arc(cr, x + w / 2, y + h / 2, d / 2, 0, 2 * M_PI);
        cairo_close_path(cr);
    } else {
        RoundedRect(cr, x, y, w, h, radius);
    }
}

void SetFill(cairo_t* cr, const Fill& f, double x, double y, double w, double h)
{
    if (!f.gradient) {
        SetColour(cr, f.from);
        return;
    }
    cairo_pattern_t* p = f.horizontal ? cairo_pattern_create_linear(x, 0, x + w, 0)
                                      : cairo_pattern_create_linear(0, y, 0, y + h);
    cairo_pattern_add_color_stop_rgba(p, 0, f.from.r, f.from.g, f.from.b, f.from.a);
    cairo_pattern_add_color_stop_rgba(p, 1, f.to.r, f.to.g, f.to.b, f.to.a);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

PangoLayout* MakeLayout(cairo_t* cr, const std::string& utf8, double size, bool bold)
{
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kFontFamily);
    pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
    pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, utf8.c_str(), -1);
    return layout;
}

// The glyphs a skin names with "@name": each drawn around (cx, cy) in a square of side s
// (h = s / 2), with the colour and pen already set.
struct IconGlyph {
    const char* name;
    void (*draw)(cairo_t* cr, double cx, double cy, double h, double s);
};

constexpr IconGlyph kIconGlyphs[] = {
    {"close", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_move_to(cr, cx - h * 0.7, cy - h * 0.7);
        cairo_line_to(cr, cx + h * 0.7, cy + h * 0.7);
        cairo_move_to(cr, cx + h * 0.7, cy - h * 0.7);
        cairo_line_to(cr, cx - h * 0.7, cy + h * 0.7);
        cairo_stroke(cr);
    }},
    {"min", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_move_to(cr, cx - h * 0.75, cy + h * 0.1);
        cairo_line_to(cr, cx + h * 0.75, cy + h * 0.1);
        cairo_stroke(cr);
    }},
    {"max", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_rectangle(cr, cx - h * 0.7, cy - h * 0.6, h * 1.4, h * 1.2);
        cairo_stroke(cr);
    }},
    {"restore", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_rectangle(cr, cx - h * 0.75, cy - h * 0.35, h * 1.1, h * 0.95);
        cairo_stroke(cr);
        cairo_move_to(cr, cx - h * 0.4, cy - h * 0.35);
        cairo_line_to(cr, cx - h * 0.4, cy - h * 0.7);
        cairo_line_to(cr, cx + h * 0.75, cy - h * 0.7);
        cairo_line_to(cr, cx + h * 0.75, cy + h * 0.25);
        cairo_line_to(cr, cx + h * 0.35, cy + h * 0.25);
        cairo_stroke(cr);
    }},
    {"gear", [](cairo_t* cr, double cx, double cy, double h, double) {
        for (int i = 0; i < 8; ++i) {
            double a = i * M_PI / 4;
            cairo_move_to(cr, cx + std::cos(a) * h * 0.55, cy + std::sin(a) * h * 0.55);
            cairo_line_to(cr, cx + std::cos(a) * h * 0.85, cy + std::sin(a) * h * 0.85);
        }
        cairo_stroke(cr);
        cairo_arc(cr, cx, cy, h * 0.5, 0, 2 * M_PI);
        cairo_stroke(cr);
        cairo_arc(cr, cx, cy, h * 0.18, 0, 2 * M_PI);
        cairo_fill(cr);
    }},
    {"help", [](cairo_t* cr, double cx, double cy, double h, double s) {
        cairo_arc(cr, cx, cy, h * 0.8, 0, 2 * M_PI);
        cairo_stroke(cr);
        cairo_new_path(cr);
        cairo_arc(cr, cx, cy - h * 0.22, h * 0.28, M_PI * 1.1, M_PI * 2.35);
        cairo_line_to(cr, cx, cy + h * 0.2);
        cairo_stroke(cr);
        cairo_arc(cr, cx, cy + h * 0.45, std::max(1.0, s / 14), 0, 2 * M_PI);
        cairo_fill(cr);
    }},
    {"mail", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_rectangle(cr, cx - h * 0.8, cy - h * 0.55, h * 1.6, h * 1.1);
        cairo_stroke(cr);
        cairo_move_to(cr, cx - h * 0.8, cy - h * 0.55);
        cairo_line_to(cr, cx, cy + h * 0.1);
        cairo_line_to(cr, cx + h * 0.8, cy - h * 0.55);
        cairo_stroke(cr);
    }},
    {"user", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_arc(cr, cx, cy - h * 0.3, h * 0.36, 0, 2 * M_PI);
        cairo_fill(cr);
        cairo_arc(cr, cx, cy + h * 0.85, h * 0.72, M_PI, 2 * M_PI);
        cairo_fill(cr);
    }},
    {"home", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_move_to(cr, cx - h * 0.8, cy - h * 0.05);
        cairo_line_to(cr, cx, cy - h * 0.8);
        cairo_line_to(cr, cx + h * 0.8, cy - h * 0.05);
        cairo_move_to(cr, cx - h * 0.55, cy - h * 0.25);
        cairo_line_to(cr, cx - h * 0.55, cy + h * 0.7);
        cairo_line_to(cr, cx + h * 0.55, cy + h * 0.7);
        cairo_line_to(cr, cx + h * 0.55, cy - h * 0.25);
        cairo_stroke(cr);
    }},
    {"arrow", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_move_to(cr, cx - h * 0.8, cy);
        cairo_line_to(cr, cx + h * 0.8, cy);
        cairo_move_to(cr, cx + h * 0.35, cy - h * 0.45);
        cairo_line_to(cr, cx + h * 0.8, cy);
        cairo_line_to(cr, cx + h * 0.35, cy + h * 0.45);
        cairo_stroke(cr);
    }},
    {"check", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_move_to(cr, cx - h * 0.6, cy);
        cairo_line_to(cr, cx - h * 0.15, cy + h * 0.45);
        cairo_line_to(cr, cx + h * 0.65, cy - h * 0.45);
        cairo_stroke(cr);
    }},
    {"logout", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_arc(cr, cx, cy, h * 0.7, -M_PI / 2 + 0.7, 3 * M_PI / 2 - 0.7);
        cairo_stroke(cr);
        cairo_move_to(cr, cx, cy - h * 0.85);
        cairo_line_to(cr, cx, cy - h * 0.1);
        cairo_stroke(cr);
    }},
    {"dot", [](cairo_t* cr, double cx, double cy, double h, double) {
        cairo_arc(cr, cx, cy, h * 0.5, 0, 2 * M_PI);
        cairo_fill(cr);
    }},
};

// An unknown name draws nothing.
void DrawIcon(cairo_t* cr, const std::string& icon, double cx, double cy, double s, const Colour& c)
{
    cairo_save(cr);
    cairo_new_path(cr); // text drawn before leaves a current point behind
    SetColour(cr, c);
    cairo_set_line_width(cr, std::max(1.5, s / 9));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    const auto glyph = std::find_if(std::begin(kIconGlyphs), std::end(kIconGlyphs),
                                    [&](const IconGlyph& g) { return icon == g.name; });
    if (glyph != std::end(kIconGlyphs)) glyph->draw(cr, cx, cy, s / 2, s);
    cairo_restore(cr);
}

// Draws text (GBK) in the box; single lines are centred vertically and ellipsised,
// wrapped text starts at the top.
void DrawText(cairo_t* cr, const std::string& gbk, double x, double y, double w, double h,
              const Paint& p, bool wrap, double alpha = 1)
{
    if (gbk.empty() || w <= 0) return;
    std::string utf8 = CCodeLib::AnsiToUtf8(gbk);
    PangoLayout* layout = MakeLayout(cr, utf8, p.size, p.bold);
    pango_layout_set_width(layout, static_cast<int>(w * PANGO_SCALE));
    if (wrap) {
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_spacing(layout, static_cast<int>(p.size * 0.35 * PANGO_SCALE));
    } else {
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    pango_layout_set_alignment(layout, p.align == Align::Left    ? PANGO_ALIGN_LEFT
                                       : p.align == Align::Right ? PANGO_ALIGN_RIGHT
                                                                 : PANGO_ALIGN_CENTER);
    if (p.underline) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
    }
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    double ty = wrap ? y : y + (h - th) / 2;
    SetColour(cr, p.color, alpha);
    cairo_move_to(cr, x, ty);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

double TextWidth(cairo_t* cr, const std::string& utf8, const Paint& p)
{
    if (utf8.empty()) return 0;
    PangoLayout* layout = MakeLayout(cr, utf8, p.size, p.bold);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    g_object_unref(layout);
    return tw;
}

// A glyph is a built-in icon ("@name") or a short text drawn centred.
void DrawGlyph(cairo_t* cr, const std::string& glyph, double cx, double cy, double size, const Colour& c,
               bool bold)
{
    if (glyph.empty()) return;
    if (glyph[0] == '@') {
        DrawIcon(cr, glyph.substr(1), cx, cy, size, c);
        return;
    }
    std::string utf8 = CCodeLib::AnsiToUtf8(glyph);
    PangoLayout* layout = MakeLayout(cr, utf8, size, bold);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    SetColour(cr, c);
    cairo_move_to(cr, cx - tw / 2.0, cy - th / 2.0);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

std::string MaskedText(const std::string& gbk, size_t bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes && i < gbk.size(); i += GbkCharLength(gbk, i)) out += kPasswordMask;
    return out;
}

const Paint* PaintByName(View& view, const std::string& name)
{
    return name.empty() ? nullptr : view.skin().FindPaint(name);
}

// The paint for the element's current state: its style's item for that state, falling
// back towards the normal item; without a style, its fixed look.
const Paint* ChoosePaint(View& view, Element& e)
{
    bool disabled = !e.enabled();
    bool hover = e.forcedLook() == 2 || view.hover() == &e || view.focus() == &e;
    bool pressed = e.forcedLook() == 3 || (view.pressed() == &e && view.hover() == &e);
    bool checked = e.checked() && (e.kind() == Kind::Check || e.kind() == Kind::Toggle);
    std::vector<int> order;
    if (disabled) order = {3, 0};
    else if (checked && hover) order = {5, 4, 2, 0};
    else if (checked) order = {4, 2, 0};
    else if (pressed) order = {2, 1, 0};
    else if (hover) order = {1, 0};
    else order = {0};
    if (!e.style().empty()) {
        ResourceImpl* style = view.skin().Resources().FindImpl(e.style(), RES_STYLE);
        if (!style) return nullptr;
        for (int index : order) {
            if (StyleItem* item = style->Item(index)) {
                if (const Paint* p = PaintByName(view, item->GetValue())) return p;
            }
        }
        return nullptr;
    }
    return PaintByName(view, e.desc().look);
}

const Paint& DefaultTextPaint()
{
    static const Paint p = [] {
        Paint d;
        d.color = Colour{0.2, 0.2, 0.2, 1, true};
        d.align = Align::Left;
        d.padding = 0;
        return d;
    }();
    return p;
}

void DrawImage(cairo_t* cr, cairo_surface_t* image, double x, double y, double w, double h, const Paint& p)
{
    int iw = cairo_image_surface_get_width(image), ih = cairo_image_surface_get_height(image);
    if (iw <= 0 || ih <= 0 || w <= 0 || h <= 0) return;
    cairo_save(cr);
    ShapePath(cr, x, y, w, h, p.radius, p.circle);
    cairo_clip(cr);
    double scale = std::max(w / iw, h / ih); // cover the box, centred
    cairo_translate(cr, x + (w - iw * scale) / 2, y + (h - ih * scale) / 2);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
}

// An edit box's text as drawn: UTF-8 (masks for a password box) with the composition
// inserted at the caret, and where each text offset lies in it.
struct EditText {
    std::string utf8;
    std::vector<std::pair<size_t, size_t>> bounds; // (text offset, UTF-8 offset) per boundary
    size_t compositionStart = 0, compositionEnd = 0;
    size_t cursor = 0; // where the caret is drawn

    size_t Utf8At(size_t offset) const
    {
        for (const auto& b : bounds) {
            if (b.first >= offset) return b.second;
        }
        return bounds.empty() ? 0 : bounds.back().second;
    }
};

EditText MakeEditText(const Element& e)
{
    EditText t;
    const std::string& text = e.text();
    const EditState& s = e.edit();
    const bool masked = e.kind() == Kind::Password;
    std::string composition = masked ? MaskedText(std::string(s.composition.size(), 'x'), s.composition.size()) : s.composition;
    for (size_t i = 0; i <= text.size();) {
        if (i == s.caret) {
            t.compositionStart = t.utf8.size();
            t.utf8 += composition;
            t.compositionEnd = t.utf8.size();
        }
        t.bounds.emplace_back(i, i == s.caret ? t.compositionStart : t.utf8.size());
        if (i == text.size()) break;
        size_t length = GbkCharLength(text, i);
        t.utf8 += masked ? std::string(kPasswordMask) : CCodeLib::AnsiToUtf8(text.substr(i, length));
        i += length;
    }
    // In a password box the composition's own cursor would tell its length: keep it at the end.
    t.cursor = t.compositionStart + (masked ? composition.size() : std::min(s.compositionCursor, composition.size()));
    return t;
}

// The edit box's text area and how far its text is scrolled so the caret stays in view.
struct EditGeometry {
    double textX = 0, textWidth = 0, shift = 0, caretX = 0;
};

EditGeometry MeasureEdit(PangoLayout* layout, const EditText& t, const Paint& p, double x, double w)
{
    EditGeometry g;
    g.textX = x + p.padding;
    g.textWidth = w - 2 * p.padding;
    PangoRectangle strong{};
    pango_layout_get_cursor_pos(layout, static_cast<int>(t.cursor), &strong, nullptr);
    g.caretX = static_cast<double>(strong.x) / PANGO_SCALE;
    g.shift = std::max(0.0, g.caretX - (g.textWidth - 2));
    return g;
}

void DrawEdit(cairo_t* cr, View& view, Element& e, const Paint& p, double x, double y, double w, double h)
{
    cairo_save(cr);
    cairo_rectangle(cr, x + p.padding, y, w - 2 * p.padding, h);
    cairo_clip(cr);
    const bool focused = view.focus() == &e;
    Paint left = p;
    left.align = Align::Left;
    EditText t = MakeEditText(e);
    PangoLayout* layout = MakeLayout(cr, t.utf8, p.size, p.bold);
    EditGeometry g = MeasureEdit(layout, t, p, x, w);
    if (t.utf8.empty()) {
        const std::string& glyph = e.desc().glyph;
        if (!glyph.empty() && !focused) {
            left.color.a *= 0.45;
            DrawText(cr, glyph, x + p.padding, y, w - 2 * p.padding, h, left, false);
        }
    } else {
        PangoAttrList* attrs = pango_attr_list_new();
        // Plain names: the clang the fuzzers build with cannot capture structured bindings.
        const auto selection = edit::Selection(e);
        const size_t start = selection.first, end = selection.second;
        if (focused && start != end) {
            // The selection as desktop entries show it: white on the highlight colour.
            auto range = [&](PangoAttribute* a) {
                size_t composed = t.compositionEnd - t.compositionStart;
                a->start_index = static_cast<guint>(t.Utf8At(start) + (start == e.caret() ? composed : 0));
                a->end_index = static_cast<guint>(t.Utf8At(end));
                pango_attr_list_insert(attrs, a);
            };
            range(pango_attr_background_new(0x3535, 0x8484, 0xE4E4));
            range(pango_attr_foreground_new(0xFFFF, 0xFFFF, 0xFFFF));
        }
        if (t.compositionEnd > t.compositionStart) {
            PangoAttribute* underline = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
            underline->start_index = static_cast<guint>(t.compositionStart);
            underline->end_index = static_cast<guint>(t.compositionEnd);
            pango_attr_list_insert(attrs, underline);
        }
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
        int tw = 0, th = 0;
        pango_layout_get_pixel_size(layout, &tw, &th);
        SetColour(cr, p.color);
        cairo_move_to(cr, g.textX - g.shift, y + (h - th) / 2);
        pango_cairo_show_layout(cr, layout);
    }
    g_object_unref(layout);
    if (focused) {
        SetColour(cr, p.color);
        cairo_rectangle(cr, std::round(g.textX + g.caretX - g.shift), y + (h - p.size * 1.3) / 2, 1.2, p.size * 1.3);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

void DrawContent(cairo_t* cr, View& view, Element& e, const Paint& p, double x, double y, double w, double h)
{
    const std::string& text = p.label.empty() ? e.text() : p.label;
    std::string glyph = e.desc().glyph;
    if (e.kind() == Kind::Toggle && glyph == "@max" && e.checked()) glyph = "@restore";
    double pad = p.padding;
    switch (p.content) {
    case Content::Tile: {
        double bs = p.badgeSize;
        double bx = x + (w - bs) / 2, by = y + pad;
        if (p.badge.set()) {
            ShapePath(cr, bx, by, bs, bs, p.badgeRadius, p.circle);
            SetFill(cr, p.badge, bx, by, bs, bs);
            cairo_fill(cr);
        }
        DrawGlyph(cr, glyph, bx + bs / 2, by + bs / 2, p.glyphSize, p.glyphColor, true);
        double ty = by + bs + 4;
        DrawText(cr, text, x + 4, ty, w - 8, y + h - ty - 2, p, false);
        break;
    }
    case Content::Row: {
        double gs = p.glyphSize;
        std::string utf8 = CCodeLib::AnsiToUtf8(text);
        double tw = TextWidth(cr, utf8, p);
        double total = (glyph.empty() ? 0 : gs + (text.empty() ? 0 : 6)) + tw;
        double sx = p.align == Align::Left ? x + pad : x + (w - total) / 2;
        if (!glyph.empty()) DrawGlyph(cr, glyph, sx + gs / 2, y + h / 2, gs, p.glyphColor, false);
        double tx = sx + (glyph.empty() ? 0 : gs + 6);
        Paint left = p;
        left.align = Align::Left;
        DrawText(cr, text, tx, y, x + w - tx, h, left, false);
        break;
    }
    case Content::Check: {
        double bs = 16, bx = x, by = y + (h - bs) / 2;
        RoundedRect(cr, bx + 0.5, by + 0.5, bs - 1, bs - 1, 3.5);
        if (p.badge.set()) {
            SetFill(cr, p.badge, bx, by, bs, bs);
            cairo_fill_preserve(cr);
        }
        SetColour(cr, p.border.set ? p.border : p.color);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        if (e.checked()) DrawIcon(cr, "check", bx + bs / 2, by + bs / 2, 12, p.glyphColor);
        Paint left = p;
        left.align = Align::Left;
        DrawText(cr, text, bx + bs + 6, y, w - bs - 6, h, left, false);
        break;
    }
    case Content::Edit:
        DrawEdit(cr, view, e, p, x, y, w, h);
        break;
    case Content::Glyph:
        DrawGlyph(cr, glyph, x + w / 2, y + h / 2, p.glyphSize, p.glyphColor, true);
        break;
    case Content::Text:
    default: {
        bool wrap = e.wrap() || text.find('\n') != std::string::npos;
        double ty = wrap ? y + pad / 2 : y;
        double th = wrap ? h - pad : h;
        if (!glyph.empty() && text.empty()) {
            DrawGlyph(cr, glyph, x + w / 2, y + h / 2, p.glyphSize, p.glyphColor, true);
        } else {
            DrawText(cr, text, x + pad, ty, w - 2 * pad, th, p, wrap);
        }
        break;
    }
    }
}

} // namespace

namespace {

// Runs f(layout, text, geometry, paint) on the edit box's text as drawn.
template <class F>
auto WithEditLayout(View& view, Element& e, F f)
{
    const Paint* chosen = ChoosePaint(view, e);
    Paint fallback;
    const Paint& paint = chosen ? *chosen : fallback;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(s);
    EditText t = MakeEditText(e);
    PangoLayout* layout = MakeLayout(cr, t.utf8, paint.size, paint.bold);
    const RECT& r = e.rect();
    EditGeometry g = MeasureEdit(layout, t, paint, r.left, r.width());
    auto result = f(layout, t, g, paint);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return result;
}

} // namespace

double CaretOffset(View& view, Element& e)
{
    return WithEditLayout(view, e, [](PangoLayout*, const EditText&, const EditGeometry& g, const Paint&) { return g.caretX; });
}

RECT CaretRect(View& view, Element& e)
{
    return WithEditLayout(view, e, [&](PangoLayout*, const EditText&, const EditGeometry& g, const Paint& p) {
        const RECT& r = e.rect();
        int left = static_cast<int>(std::lround(g.textX + g.caretX - g.shift));
        int top = static_cast<int>(std::lround(r.top + (r.height() - p.size * 1.3) / 2));
        return RECT{left, top, left + 1, top + static_cast<int>(std::lround(p.size * 1.3))};
    });
}

size_t EditOffsetAt(View& view, Element& e, int x)
{
    return WithEditLayout(view, e, [&](PangoLayout* layout, const EditText& t, const EditGeometry& g, const Paint&) {
        int index = 0, trailing = 0;
        double at = x - g.textX + g.shift;
        pango_layout_xy_to_index(layout, static_cast<int>(at * PANGO_SCALE), 0, &index, &trailing);
        size_t utf8 = static_cast<size_t>(index);
        // The trailing half of a character puts the caret after it.
        for (int i = 0; i < trailing && utf8 < t.utf8.size(); ++i) {
            do ++utf8;
            while (utf8 < t.utf8.size() && (static_cast<unsigned char>(t.utf8[utf8]) & 0xC0) == 0x80);
        }
        // Inside the composition counts as the caret, where the composition stands.
        size_t best = 0;
        for (const auto& bound : t.bounds) {
            if (bound.second <= utf8) best = bound.first;
        }
        return best;
    });
}

namespace {

// The area a paint may change, as cairo's clip gives it.
struct ClipBox {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// Whether e or any element below it may draw inside the clip. Shadows and text reach a
// little beyond an element's rectangle, hence the margin.
bool ReachesClip(const Element& e, const ClipBox& clip)
{
    constexpr double kMargin = 32;
    if (!e.visible()) return false;
    const RECT& r = e.rect();
    if (r.left - kMargin < clip.x2 && r.right + kMargin > clip.x1 && r.top - kMargin < clip.y2
        && r.bottom + kMargin > clip.y1)
        return true;
    for (const auto& c : e.children()) {
        if (ReachesClip(*c, clip)) return true;
    }
    return false;
}

// A repaint of part of the window (under a page view, say) lays out no text elsewhere.
void PaintTree(cairo_t* cr, View& view, Element& e, const ClipBox& clip)
{
    if (!ReachesClip(e, clip)) return;
    const RECT& r = e.rect();
    double x = r.left, y = r.top, w = r.width(), h = r.height();
    if (w <= 0 || h <= 0) return;
    const Paint* p = ChoosePaint(view, e);
    bool textual = e.kind() == Kind::Text || e.kind() == Kind::Link || e.kind() == Kind::Check;
    if (!p && textual && e.style().empty()) p = &DefaultTextPaint();
    cairo_save(cr);
    if (p) {
        bool group = p->opacity < 1;
        if (group) cairo_push_group(cr);
        for (int i = p->shadow; i > 0; --i) {
            ShapePath(cr, x - i + 1, y - i + 3, w + 2 * i - 2, h + 2 * i - 2, p->radius + i, p->circle);
            cairo_set_source_rgba(cr, 0.05, 0.12, 0.25, 0.10 / p->shadow);
            cairo_fill(cr);
        }
        if (p->fill.set()) {
            ShapePath(cr, x, y, w, h, p->radius, p->circle);
            SetFill(cr, p->fill, x, y, w, h);
            cairo_fill(cr);
        }
        if (p->band.set() && p->bandHeight > 0) {
            double bh = std::min(h, p->bandHeight);
            cairo_save(cr);
            ShapePath(cr, x, y, w, h, p->radius, p->circle);
            cairo_clip(cr);
            cairo_rectangle(cr, x, y, w, bh);
            SetFill(cr, p->band, x, y, w, bh);
            cairo_fill(cr);
            if (p->bandLine.set) {
                cairo_rectangle(cr, x, y + bh - 1, w, 1);
                SetColour(cr, p->bandLine);
                cairo_fill(cr);
            }
            cairo_restore(cr);
        }
        if (!e.desc().image.empty()) {
            ResourceImpl* image = view.skin().Resources().FindImpl(e.desc().image, RES_IMAGE);
            if (image && image->Image()) DrawImage(cr, image->Image(), x, y, w, h, *p);
            else if (!e.desc().glyph.empty())
                DrawGlyph(cr, e.desc().glyph, x + w / 2, y + h / 2, p->glyphSize, p->glyphColor, true);
        }
        if (p->border.set && p->content != Content::Check) {
            double bw = p->borderWidth;
            ShapePath(cr, x + bw / 2, y + bw / 2, w - bw, h - bw, std::max(0.0, p->radius - bw / 2), p->circle);
            SetColour(cr, p->border);
            cairo_set_line_width(cr, bw);
            cairo_stroke(cr);
        }
        if (e.desc().image.empty()) DrawContent(cr, view, e, *p, x, y, w, h);
        for (auto& c : e.children()) PaintTree(cr, view, *c, clip);
        if (group) {
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, p->opacity);
        }
    } else {
        for (auto& c : e.children()) PaintTree(cr, view, *c, clip);
    }
    cairo_restore(cr);
}

} // namespace

void PaintElement(cairo_t* cr, View& view, Element& e)
{
    ClipBox clip;
    cairo_clip_extents(cr, &clip.x1, &clip.y1, &clip.x2, &clip.y2);
    PaintTree(cr, view, e, clip);
}

void PaintFocusRing(cairo_t* cr, View& view)
{
    Element* e = view.focus();
    if (!e || e->Editable() || !KeyboardReachable(view, *e)) return;
    // The element's own paint may name a ring that shows on its background (buttons on the
    // coloured band); otherwise the skin-wide one, a style so the colour scheme changes it.
    const Paint* own = ChoosePaint(view, *e);
    const Paint* ring = own && own->ring.set ? own : nullptr;
    if (!ring) {
        if (ResourceImpl* style = view.skin().Resources().FindImpl("focus_ring", RES_STYLE)) {
            if (StyleItem* item = style->Item(0)) ring = PaintByName(view, item->GetValue());
        }
    }
    if (!ring || !ring->ring.set) return;
    const RECT& r = e->rect();
    double width = ring->ringWidth, out = width / 2 + 1;
    double radius = (own ? own->radius : 0) + out;
    cairo_save(cr);
    ShapePath(cr, r.left - out, r.top - out, r.width() + 2 * out, r.height() + 2 * out, radius, own && own->circle);
    SetColour(cr, ring->ring);
    cairo_set_line_width(cr, width);
    cairo_stroke(cr);
    cairo_restore(cr);
}

} // namespace dulib
