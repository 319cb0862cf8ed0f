// The panel's box of view tools: "Save picture…", and the watch for the
// video window's `s`. Main (GTK) thread only.
#pragma once

#include <gtk/gtk.h>

struct view_tools {
    GtkWidget* box;
    GtkWidget* save;  // "Save picture…"
    guint timer;      // watches for `s` in the video window; 0 once stopped
};

// Builds it at the bottom of box (below the picture tools), and starts its watch.
void build_view_tools(view_tools* tools, GtkWidget* box);
void stop_view_tools(view_tools* tools);
