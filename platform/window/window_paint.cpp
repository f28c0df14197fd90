// Painting a window and its visible children into a caller's Cairo context.
#include "platform/window/WindowCore.h"

#include <cairo.h>

namespace {

void paintTree(HWND hwnd, cairo_t* cr)
{
    platform::detail::Window* w = platform::detail::FindWindow(hwnd);
    if (!w || !w->visible)
        return;
    std::vector<HWND> children = w->children;
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, w->rect.width(), w->rect.height());
    cairo_clip(cr);
    SendMessage(hwnd, WM_PAINT, reinterpret_cast<WPARAM>(cr), 0);
    cairo_restore(cr);
    for (HWND c : children) {
        platform::detail::Window* child = platform::detail::FindWindow(c);
        if (!child || !child->child)
            continue;
        cairo_save(cr);
        cairo_translate(cr, child->rect.left, child->rect.top);
        paintTree(c, cr);
        cairo_restore(cr);
    }
}

} // namespace

void PaintWindowTo(HWND hwnd, _cairo* cr)
{
    if (!cr || !platform::detail::FindWindow(hwnd))
        return;
    // The window itself is painted even when hidden: tests and PNG rendering ask for it.
    platform::detail::Window* w = platform::detail::FindWindow(hwnd);
    bool visible = w->visible;
    w->visible = true;
    paintTree(hwnd, cr);
    if ((w = platform::detail::FindWindow(hwnd)))
        w->visible = visible;
}
