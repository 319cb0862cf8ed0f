// The program's icon, drawn from packaging/tolmirex.svg at build time and
// embedded, so that both windows carry it wherever the program runs from.
#pragma once

#include <cstddef>

// The icon as _NET_WM_ICON holds it: for each size (48, 32 and 16 pixels)
// its width, its height and its pixels as ARGB, row by row, one to a long.
// Constant: any thread.
extern const unsigned long* const kAppIcon;
extern const size_t kAppIconLength;

// Gives every GTK window of the program the icon. Main (GTK) thread, after
// gtk_init.
void set_default_window_icon();
