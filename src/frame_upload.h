// Puts the newest frame on the screen through a VA surface. Display thread only.
#pragma once

#include <X11/Xlib.h>
#include <va/va.h>

#include "zoom_view.h"

// Writes the frame (lps->sgf, or the bitmap lps->sbmp with colour output on)
// into the surface as 4:2:0 YUV and presents it in `win`: the part of the
// surface `view` names in its window rectangle, or without one the whole
// surface scaled to the window size. Returns 1 on success and when live view
// is off, 0 on any failure.
int drawImage(VADisplay va_dpy, VASurfaceID surface_id, VAImageFormat* image_format, int surface_width,
              int surface_height, Window win, int win_width, int win_height, const ViewGeometry* view = nullptr);
