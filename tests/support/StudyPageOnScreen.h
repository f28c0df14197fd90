// Whether a study page of the dev service is on the screen: its blue header band runs
// across the top of the area and its light background shows below it. Shared by the
// windowed tests and the page benchmark, which must wait for the same thing.
#pragma once

#include "platform/WinTypes.h"

#include <gdk/gdk.h>

#include <cstdint>

namespace testsupport {

// The colour on screen at (x, y), as 0xRRGGBB (0 when it cannot be read).
inline std::uint32_t screenRgb(int x, int y)
{
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, 1, 1);
    if (!pixbuf)
        return 0;
    const guchar* p = gdk_pixbuf_get_pixels(pixbuf);
    const std::uint32_t rgb = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    g_object_unref(pixbuf);
    return rgb;
}

// area: screen coordinates of the view.
inline bool studyPageShown(const RECT& area)
{
    if (area.width() < 200 || area.height() < 200)
        return false;
    auto bluish = [](std::uint32_t rgb) { return static_cast<int>(rgb & 0xFF) > static_cast<int>(rgb >> 16) + 80; };
    auto light = [](std::uint32_t rgb) { return (rgb >> 16) > 0xD0 && ((rgb >> 8) & 0xFF) > 0xD0; };
    return bluish(screenRgb(area.left + 4, area.top + 8)) && bluish(screenRgb(area.right - 4, area.top + 60))
           && light(screenRgb(area.left + 8, area.top + 140));
}

} // namespace testsupport
