// skinrender <skin/config.xml> <layout> <out.png> [--orange] [options]
//
// Draws one layout of a skin description into a PNG file, without a display, in the blue
// default colour scheme or with --orange in the orange one. Options for showing a layout
// in another state:
//   --size WxH          client size instead of the layout's own
//   --show NAME         show an element (repeatable, applied in order)
//   --hide NAME         hide an element
//   --text NAME=TEXT    set an element's text (UTF-8 on the command line)
//   --style NAME=STYLE  apply a style to an element (the countdown digits: num0..num9)
//   --hover NAME        draw an element in its hover look
//   --set NAME.A=N      a layout value (A, B or C) of an element, as the client's own
//                       resize handling sets them; the face is laid out again afterwards
//   --where NAME        print "NAME LEFT TOP WIDTH HEIGHT", the element's place in the
//                       drawn face, on standard output (scripts find what to click)
// Exit code 0 on success, 1 on a load or render failure, 2 on a usage error.
#include "dulib/Render.h"
#include "dulib/dulib.h"

#include "platform/CodeLib.h"

#include "dulib/Element.h"
#include "dulib/View.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: skinrender <skin/config.xml> <layout> <out.png> [--orange] [--size WxH]\n"
                         "                  [--show NAME] [--hide NAME] [--text NAME=TEXT] [--style NAME=STYLE]\n"
                         "                  [--hover NAME] [--set NAME.A|B|C=N] [--where NAME]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) return Usage();
    dulib::RenderOptions options;
    bool orange = false;
    struct LayoutValue {
        std::string name;
        char which;
        int value;
    };
    std::vector<LayoutValue> layoutValues;
    std::vector<std::pair<std::string, std::string>> styles;
    std::vector<std::string> wheres;
    for (int i = 4; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--orange") {
            orange = true;
        } else if (a == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &options.width, &options.height) != 2 || options.width <= 0
                || options.height <= 0)
                return Usage();
        } else if ((a == "--show" || a == "--hide") && hasValue) {
            options.visibility.emplace_back(argv[++i], a == "--show");
        } else if (a == "--text" && hasValue) {
            std::string kv = argv[++i];
            auto eq = kv.find('=');
            if (eq == std::string::npos) return Usage();
            options.texts.emplace_back(kv.substr(0, eq), CCodeLib::Utf8ToAnsi(kv.substr(eq + 1)));
        } else if (a == "--set" && hasValue) {
            char name[128] = {0};
            char which = 0;
            int value = 0;
            if (std::sscanf(argv[++i], "%127[^.].%c=%d", name, &which, &value) != 3
                || (which != 'A' && which != 'B' && which != 'C'))
                return Usage();
            layoutValues.push_back({name, which, value});
        } else if (a == "--style" && hasValue) {
            std::string kv = argv[++i];
            auto eq = kv.find('=');
            if (eq == std::string::npos) return Usage();
            styles.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
        } else if (a == "--where" && hasValue) {
            wheres.push_back(argv[++i]);
        } else if (a == "--hover" && hasValue) {
            options.hover = argv[++i];
        } else {
            return Usage();
        }
    }
    std::string missing;
    std::vector<std::string> places;
    options.layoutHook = [&](dulib::View& view) {
        for (const auto& v : layoutValues) {
            Plugin* e = view.Find(v.name);
            if (!e) {
                missing = v.name;
                continue;
            }
            if (v.which == 'A') e->SetLayoutA(v.value);
            else if (v.which == 'B') e->SetLayoutB(v.value);
            else e->SetLayoutC(v.value);
        }
        for (const auto& [name, style] : styles) {
            if (Plugin* e = view.Find(name)) e->SetStyle(style.c_str());
            else missing = name;
        }
        view.root()->Relayout(0);
        for (const auto& name : wheres) {
            dulib::Element* e = view.Find(name);
            if (!e) {
                missing = name;
                continue;
            }
            const RECT& r = e->rect();
            places.push_back(name + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " "
                             + std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top));
        }
    };
    SkinManager* skin = LoadStyleA(argv[1]);
    if (!skin->GetError().empty()) {
        dulib::FreeSkin(skin);
        return 1; // LoadStyleA has told why
    }
    if (orange) dulib::ApplyColourSuffix(skin, "_Orange", "_Orange");
    std::string error;
    bool ok = dulib::RenderLayout(skin, argv[2], options, argv[3], &error);
    if (ok && !missing.empty()) {
        error = "no element \"" + missing + "\"";
        ok = false;
    }
    if (!ok) std::fprintf(stderr, "skinrender: %s\n", error.c_str());
    if (ok) {
        for (const auto& place : places) std::printf("%s\n", place.c_str());
    }
    dulib::FreeSkin(skin);
    return ok ? 0 : 1;
}
