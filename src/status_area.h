// The status area under the control panel's own widgets: which camera, how
// its stream is, and what is wrong and what to do about it, refreshed twice
// a second; and a "Free run" button while the camera waits for a trigger.
// Main (GTK) thread only.
#pragma once

#include <gtk/gtk.h>

#include <string>

struct ctrl_window;

struct status_area {
    GtkWidget* box;
    GtkWidget* label;     // the text, selectable
    GtkWidget* view;      // the value under the pointer and where a picture went
    GtkWidget* free_run;  // shown only while the library offers it
    ctrl_window* panel;   // for the mode it shows
    guint timer;          // 0 once stopped
    guint view_timer;     // the pointer's line, refreshed more often; 0 once stopped
    bool free_run_shown;
    std::string problem_shown;  // the problem the text last said
};

// Builds it into box (below what box holds) and starts its timer.
void build_status_area(status_area* area, ctrl_window* panel, GtkWidget* box);
void stop_status_area(status_area* area);
// Reads everything afresh and shows it (the timer's step).
void refresh_status_area(status_area* area);
