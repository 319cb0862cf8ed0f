// The picture tools under the status area: the histogram of the picture on
// show with a "Log scale" choice, the shares of clipped pixels, the focus
// figure with its best, and "Show clipped pixels". The display thread
// measures (picture_measuring.h); a timer here draws the newest figures five
// times a second. Main (GTK) thread only.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

#include "picture_measure.h"

struct picture_tools {
    GtkWidget* box;
    GtkWidget* histogram;  // drawing area
    GtkWidget* log_scale;
    GtkWidget* clip_label;
    GtkWidget* focus_label;
    GtkWidget* show_clipped;
    guint timer;  // 0 once stopped
    uint64_t edition;  // of the figures shown
    PictureFigures shown;
};

// Builds it at the very bottom of box and starts its timer.
void build_picture_tools(picture_tools* tools, GtkWidget* box);
void stop_picture_tools(picture_tools* tools);
// Reads the newest figures and shows them (the timer's step).
void refresh_picture_tools(picture_tools* tools);

// --- Pure ---

// "Clipped: 0.42 % at full scale, 0.00 % at zero" from shares 0..1.
std::string clip_text(double full_share, double zero_share);
// "Focus: 12.3 (best 14.1)".
std::string focus_text(double focus, double best);
// The height in pixels (0..height) of a bar of `count` when the tallest is
// `highest`: in proportion, or on a logarithmic scale of count + 1.
double bar_height(uint32_t count, uint32_t highest, bool log_scale, int height);
