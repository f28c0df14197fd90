// The engine's window-independent entry points.
#include "dulib/Render.h"
#include "dulib/Skin.h"
#include "dulib/View.h"

#include <cairo.h>

#include <cstdio>

SkinManager* LoadStyleA(const char* path)
{
    std::string error;
    std::string file = dulib::NormalisePath(path);
    auto data = dulib::LoadSkinData(file, &error);
    if (!data) std::fprintf(stderr, "skin: %s\n", error.c_str());
    return new dulib::Skin(std::move(data), error);
}

int MatchString(const char* pattern, const char* name)
{
    if (!pattern || !name) return 0;
    for (;; ++pattern, ++name) {
        if (*pattern == '*' && pattern[1] == '\0') return 1;
        if (*pattern != *name) return 0;
        if (*pattern == '\0') return 1;
    }
}

void Plugin_SetVisible(Plugin* element, int visible)
{
    if (element) element->Show(visible);
}

void Plugin_Redraw(Plugin* element, int now)
{
    if (!element) return;
    dulib::View& view = static_cast<dulib::Element*>(element)->view();
    view.Invalidate();
    if (now && view.host()) view.host()->PaintNow();
}

namespace dulib {

void FreeSkin(SkinManager* manager)
{
    delete static_cast<Skin*>(manager);
}

void ApplyColourSuffix(SkinManager* manager, const std::string& suffix, const std::string& known)
{
    auto* skin = static_cast<Skin*>(manager);
    for (const auto& style : skin->Data().styles) {
        ResourceImpl* r = skin->Resources().FindImpl(style.name, RES_STYLE);
        if (!r) continue;
        for (int i = 0; i < r->Count(); ++i) {
            std::string v = r->Item(i)->GetValue();
            for (size_t at; !known.empty() && (at = v.find(known)) != std::string::npos;) v.erase(at, known.size());
            if (skin->FindPaint(v + suffix)) r->Item(i)->SetValue((v + suffix).c_str());
        }
    }
    if (Resource* back = skin->Resources().Find("window_back_change", RES_STYLE)) {
        if (StyleItem* item = back->Item(0)) item->SetValue(("back" + suffix).c_str());
    }
}

bool RenderLayout(SkinManager* manager, const std::string& layout, const RenderOptions& options,
                  const std::string& pngPath, std::string* error)
{
    auto* skin = static_cast<Skin*>(manager);
    const LayoutDesc* desc = skin->FindLayout(layout);
    if (!desc) {
        *error = skin->GetError().empty() ? "no layout \"" + layout + "\" in the skin" : skin->GetError();
        return false;
    }
    View view(*skin, *desc, nullptr);
    int w = options.width > 0 ? options.width : desc->width;
    int h = options.height > 0 ? options.height : desc->height;
    view.Resize(w, h);
    for (const auto& [name, show] : options.visibility) {
        Element* e = view.Find(name);
        if (!e) {
            *error = "no element \"" + name + "\" in layout \"" + layout + "\"";
            return false;
        }
        e->Show(show ? 1 : 0);
    }
    for (const auto& [name, text] : options.texts) {
        if (Element* e = view.Find(name)) e->SetText(text.c_str());
    }
    if (!options.hover.empty()) {
        Element* e = view.Find(options.hover);
        if (e) e->SetState(2);
    }
    if (options.layoutHook) options.layoutHook(view);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    view.Paint(cr);
    cairo_destroy(cr);
    cairo_status_t status = cairo_surface_write_to_png(surface, pngPath.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        *error = "cannot write " + pngPath + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

} // namespace dulib
