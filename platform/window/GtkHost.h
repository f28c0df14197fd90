// What the GTK back end lends its sibling GTK files (web view, tray icon, menu, instance
// marker). Included only by GTK back-end files; user-interface thread only.
#pragma once

#include "platform/WinTypes.h"

typedef struct _GtkWidget GtkWidget;

namespace platform::detail {

// The GtkWindow of a top-level window, or the container of a child window; null if none.
GtkWidget* GtkWindowWidget(HWND hwnd);
// The drawing area that paints the window and takes its input.
GtkWidget* GtkFaceWidget(HWND hwnd);
// Puts a widget over the whole client area of the window (sized with it, destroyed with
// it); replaces an earlier one.
bool GtkSetContent(HWND hwnd, GtkWidget* content);
GtkWidget* GtkContentWidget(HWND hwnd);

} // namespace platform::detail
