#include "dulib/SkinData.h"

#include "platform/CodeLib.h"

#include <tinyxml2.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace dulib {
namespace {

using Attrs = std::map<std::string, std::string>;

struct KindName {
    const char* tag;
    Kind kind;
};

constexpr KindName kKinds[] = {
    {"panel", Kind::Panel},       {"text", Kind::Text},
    {"button", Kind::Button},     {"toggle", Kind::Toggle},
    {"check", Kind::Check},       {"link", Kind::Link},
    {"linkicon", Kind::LinkIcon}, {"dropbutton", Kind::DropButton},
    {"colorimage", Kind::ColorImage}, {"edit", Kind::Edit},
    {"password", Kind::Password}, {"host", Kind::Host},
    {"caption", Kind::Caption},   {"image", Kind::Image},
};

std::string At(int line) { return " (line " + std::to_string(line) + ")"; }

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseInt(const char* text, int* value)
{
    if (!text || !*text) return false;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*end != '\0' || v < -100000 || v > 100000) return false;
    *value = static_cast<int>(v);
    return true;
}

bool ParseNumber(const std::string& text, double* value)
{
    if (text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0') return false;
    *value = v;
    return true;
}

bool ParseFill(const std::string& text, Fill* fill)
{
    Fill f;
    auto comma = text.find(',');
    if (comma == std::string::npos) {
        if (!ParseColour(text, &f.from)) return false;
        f.to = f.from;
    } else {
        if (!ParseColour(text.substr(0, comma), &f.from)) return false;
        if (!ParseColour(text.substr(comma + 1), &f.to)) return false;
        f.gradient = true;
    }
    f.horizontal = fill->horizontal;
    *fill = f;
    return true;
}

// Resolves "base" chains into one attribute map; cycles and unknown bases are errors.
bool MergePaint(const std::string& name, const std::map<std::string, std::pair<Attrs, int>>& raw,
                std::set<std::string>& visiting, Attrs* out, std::string* error)
{
    auto it = raw.find(name);
    if (it == raw.end()) {
        *error = "unknown paint \"" + name + "\"";
        return false;
    }
    if (!visiting.insert(name).second) {
        *error = "paint \"" + name + "\" inherits from itself" + At(it->second.second);
        return false;
    }
    const Attrs& own = it->second.first;
    auto base = own.find("base");
    if (base != own.end()) {
        if (!MergePaint(base->second, raw, visiting, out, error)) return false;
    }
    for (const auto& [k, v] : own) {
        if (k != "base" && k != "name") (*out)[k] = v;
    }
    return true;
}

bool BuildPaint(const Attrs& attrs, int line, Paint* p, std::string* error)
{
    auto bad = [&](const std::string& key) {
        *error = "paint attribute " + key + "=\"" + attrs.at(key) + "\" is invalid" + At(line);
        return false;
    };
    auto dir = attrs.find("fill_dir");
    if (dir != attrs.end()) p->fill.horizontal = (dir->second == "h");
    for (const auto& [k, v] : attrs) {
        double n = 0;
        if (k == "fill") {
            if (!ParseFill(v, &p->fill)) return bad(k);
        } else if (k == "band") {
            if (!ParseFill(v, &p->band)) return bad(k);
        } else if (k == "band_line") {
            if (!ParseColour(v, &p->bandLine)) return bad(k);
        } else if (k == "badge") {
            if (!ParseFill(v, &p->badge)) return bad(k);
        } else if (k == "border") {
            if (!ParseColour(v, &p->border)) return bad(k);
        } else if (k == "color") {
            if (!ParseColour(v, &p->color)) return bad(k);
        } else if (k == "glyph_color") {
            if (!ParseColour(v, &p->glyphColor)) return bad(k);
        } else if (k == "ring") {
            if (!ParseColour(v, &p->ring)) return bad(k);
        } else if (k == "border_width" || k == "radius" || k == "size" || k == "padding"
                   || k == "badge_size" || k == "badge_radius" || k == "glyph_size"
                   || k == "opacity" || k == "shadow" || k == "band_height" || k == "ring_width") {
            if (!ParseNumber(v, &n) || n < 0 || n > 10000) return bad(k);
            if (k == "border_width") p->borderWidth = n;
            else if (k == "radius") p->radius = n;
            else if (k == "size") p->size = n;
            else if (k == "padding") p->padding = n;
            else if (k == "badge_size") p->badgeSize = n;
            else if (k == "badge_radius") p->badgeRadius = n;
            else if (k == "glyph_size") p->glyphSize = n;
            else if (k == "opacity") p->opacity = n > 1 ? 1 : n;
            else if (k == "band_height") p->bandHeight = n;
            else if (k == "ring_width") p->ringWidth = n;
            else p->shadow = static_cast<int>(n);
        } else if (k == "bold" || k == "underline" || k == "circle") {
            bool b = (v == "1" || v == "true");
            if (k == "bold") p->bold = b;
            else if (k == "underline") p->underline = b;
            else p->circle = b;
        } else if (k == "align") {
            if (v == "left") p->align = Align::Left;
            else if (v == "right") p->align = Align::Right;
            else if (v == "center") p->align = Align::Center;
            else return bad(k);
        } else if (k == "content") {
            if (v == "text") p->content = Content::Text;
            else if (v == "tile") p->content = Content::Tile;
            else if (v == "row") p->content = Content::Row;
            else if (v == "check") p->content = Content::Check;
            else if (v == "edit") p->content = Content::Edit;
            else if (v == "glyph") p->content = Content::Glyph;
            else return bad(k);
        } else if (k == "label") {
            p->label = CCodeLib::Utf8ToAnsi(v);
        } else if (k != "fill_dir") {
            *error = "unknown paint attribute \"" + k + "\"" + At(line);
            return false;
        }
    }
    if (!p->color.set) p->color = Colour{0.2, 0.2, 0.2, 1, true};
    if (!p->glyphColor.set) p->glyphColor = Colour{1, 1, 1, 1, true};
    return true;
}

bool ParseElement(const tinyxml2::XMLElement* x, bool isRoot, ElementDesc* e, std::string* error)
{
    e->line = x->GetLineNum();
    if (isRoot) {
        e->kind = Kind::Panel;
    } else {
        bool known = false;
        for (const auto& k : kKinds) {
            if (std::strcmp(k.tag, x->Name()) == 0) {
                e->kind = k.kind;
                known = true;
            }
        }
        if (!known) {
            *error = std::string("unknown element type <") + x->Name() + ">" + At(e->line);
            return false;
        }
    }
    for (const tinyxml2::XMLAttribute* a = x->FirstAttribute(); a; a = a->Next()) {
        std::string k = a->Name();
        const char* v = a->Value();
        int n = 0;
        OptInt* geo = nullptr;
        if (k == "left") geo = &e->left;
        else if (k == "top") geo = &e->top;
        else if (k == "right") geo = &e->right;
        else if (k == "bottom") geo = &e->bottom;
        else if (k == "width") geo = &e->width;
        else if (k == "height") geo = &e->height;
        else if (k == "centerx") geo = &e->centerX;
        else if (k == "centery") geo = &e->centerY;
        if (geo) {
            if (!ParseInt(v, &n)) {
                *error = "attribute " + k + " of \"" + e->name + "\" is not a number" + At(e->line);
                return false;
            }
            *geo = n;
            continue;
        }
        if (k == "name") e->name = v;
        else if (k == "style") e->style = v;
        else if (k == "look") e->look = v;
        else if (k == "text") e->text = CCodeLib::Utf8ToAnsi(v);
        else if (k == "glyph") e->glyph = CCodeLib::Utf8ToAnsi(v);
        else if (k == "image") e->image = v;
        else if (k == "link") e->link = v;
        else if (k == "visible") e->visible = std::strcmp(v, "0") != 0;
        else if (k == "checked") e->checked = std::strcmp(v, "1") == 0;
        else if (k == "wrap") e->wrap = std::strcmp(v, "1") == 0;
        else if (k == "arrows") e->arrows = std::strcmp(v, "1") == 0;
        else if (k == "follow" && std::strcmp(v, "maximized") == 0) e->followsMaximized = true;
        else if (k == "accname") e->accName = CCodeLib::Utf8ToAnsi(v);
        else if (k == "accrole") {
            if (!isRoot || std::strcmp(v, "notification") != 0) {
                *error = "accrole=\"" + std::string(v) + "\" is unknown on <" + x->Name() + ">" + At(e->line);
                return false;
            }
            e->notification = true;
        } else if (k == "layout") {
            if (std::strcmp(v, "row") != 0) {
                *error = "layout=\"" + std::string(v) + "\" is unknown" + At(e->line);
                return false;
            }
            e->row = true;
        } else if (k == "lead" || k == "gap" || k == "maxlen") {
            if (!ParseInt(v, &n)) {
                *error = "attribute " + k + " is not a number" + At(e->line);
                return false;
            }
            (k == "lead" ? e->lead : k == "gap" ? e->gap : e->maxLength) = n;
        } else if (isRoot && (k == "width" || k == "height")) {
        } else {
            *error = "unknown attribute \"" + k + "\" on <" + std::string(x->Name()) + ">" + At(e->line);
            return false;
        }
    }
    for (auto* c = x->FirstChildElement(); c; c = c->NextSiblingElement()) {
        ElementDesc child;
        if (!ParseElement(c, false, &child, error)) return false;
        e->children.push_back(std::move(child));
    }
    return true;
}

} // namespace

bool ParseColour(const std::string& text, Colour* colour)
{
    if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return false;
    int v[4] = {0, 0, 0, 255};
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        int hi = HexDigit(text[i + 1]);
        int lo = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) return false;
        v[i / 2] = hi * 16 + lo;
    }
    *colour = Colour{v[0] / 255.0, v[1] / 255.0, v[2] / 255.0, v[3] / 255.0, true};
    return true;
}

std::unique_ptr<SkinData> ParseSkinData(const std::string& xmlText, const std::string& folder,
                                        std::string* error)
{
    tinyxml2::XMLDocument doc;
    if (doc.Parse(xmlText.c_str(), xmlText.size()) != tinyxml2::XML_SUCCESS) {
        *error = std::string("broken XML: ") + doc.ErrorStr();
        return nullptr;
    }
    const tinyxml2::XMLElement* skin = doc.RootElement();
    if (!skin || std::strcmp(skin->Name(), "skin") != 0) {
        *error = "the root element is not <skin>";
        return nullptr;
    }
    auto data = std::make_unique<SkinData>();
    std::map<std::string, std::pair<Attrs, int>> rawPaints;
    std::set<std::string> styleNames, imageNames;
    for (auto* x = skin->FirstChildElement(); x; x = x->NextSiblingElement()) {
        std::string tag = x->Name();
        const char* nameAttr = x->Attribute("name");
        int line = x->GetLineNum();
        if (!nameAttr || !*nameAttr) {
            *error = "<" + tag + "> without a name" + At(line);
            return nullptr;
        }
        std::string name = nameAttr;
        if (tag == "paint") {
            Attrs attrs;
            for (auto* a = x->FirstAttribute(); a; a = a->Next()) attrs[a->Name()] = a->Value();
            if (!rawPaints.emplace(name, std::make_pair(attrs, line)).second) {
                *error = "paint \"" + name + "\" defined twice" + At(line);
                return nullptr;
            }
        } else if (tag == "style") {
            StyleDesc s{name, {}};
            std::string items = x->Attribute("items") ? x->Attribute("items") : "";
            std::stringstream ss(items);
            for (std::string item; std::getline(ss, item, ',');) s.items.push_back(item);
            if (!styleNames.insert(name).second) {
                *error = "style \"" + name + "\" defined twice" + At(line);
                return nullptr;
            }
            data->styles.push_back(std::move(s));
        } else if (tag == "image") {
            const char* file = x->Attribute("file");
            if (!file || !*file) {
                *error = "image \"" + name + "\" without a file" + At(line);
                return nullptr;
            }
            if (!imageNames.insert(name).second) {
                *error = "image \"" + name + "\" defined twice" + At(line);
                return nullptr;
            }
            data->images.push_back({name, folder + file});
        } else if (tag == "layout") {
            LayoutDesc l;
            l.name = name;
            if (!ParseInt(x->Attribute("width"), &l.width) || !ParseInt(x->Attribute("height"), &l.height)
                || l.width <= 0 || l.height <= 0) {
                *error = "layout \"" + name + "\" needs a positive width and height" + At(line);
                return nullptr;
            }
            if (!ParseElement(x, true, &l.root, error)) return nullptr;
            l.root.name = name;
            if (!data->layouts.emplace(name, std::move(l)).second) {
                *error = "layout \"" + name + "\" defined twice" + At(line);
                return nullptr;
            }
        } else {
            *error = "unknown description entry <" + tag + ">" + At(line);
            return nullptr;
        }
    }
    for (const auto& [name, raw] : rawPaints) {
        Attrs merged;
        std::set<std::string> visiting;
        if (!MergePaint(name, rawPaints, visiting, &merged, error)) return nullptr;
        Paint p;
        if (!BuildPaint(merged, raw.second, &p, error)) return nullptr;
        data->paints[name] = p;
    }
    return data;
}

std::unique_ptr<SkinData> LoadSkinData(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return nullptr;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    std::string folder;
    auto slash = path.find_last_of('/');
    if (slash != std::string::npos) folder = path.substr(0, slash + 1);
    std::string inner;
    auto data = ParseSkinData(ss.str(), folder, &inner);
    if (!data) *error = path + ": " + inner;
    return data;
}

} // namespace dulib
