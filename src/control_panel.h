// The GTK control panel: mode, exposure, gain, region of interest, colour
// output, live view and acquisition, and the four digital inputs.
// Main (GTK) thread only.
#pragma once

#include <gtk/gtk.h>

#include "picture_tools.h"
#include "status_area.h"
#include "view_tools.h"
#include "zebapi.h"

struct ctrl_window {
    GtkWidget* window;
    GtkWidget* boxmain;
    GtkWidget* boxgpi;
    GtkWidget* boxx;
    GtkWidget* boxy;
    GtkWidget* gpi1;
    GtkWidget* gpi2;
    GtkWidget* gpi3;
    GtkWidget* gpi4;
    GtkWidget* mode;
    GtkWidget* labelexp;
    GtkWidget* exp;
    GtkWidget* labelgain;
    GtkWidget* gain;
    GtkWidget* labelx0;
    GtkWidget* x0;
    GtkWidget* labely0;
    GtkWidget* y0;
    GtkWidget* labelcx;
    GtkWidget* cx;
    GtkWidget* labelcy;
    GtkWidget* cy;
    GtkWidget* color;
    GtkWidget* show;
    GtkWidget* run;
    guint poll_timer;  // the status poll's source, 0 once stopped
    // CQSETTINGS.dwChanges when the panel last showed what the camera runs.
    DWORD settings_changes;
    status_area status;  // below the widgets above, in a box of its own
    view_tools view;          // Save picture…, below the picture tools
    picture_tools picture;    // histogram, clip shares, focus, below the status area
};

// Builds the panel, applies the first mode, starts the status poll and
// connects the handlers (last, so building runs none of them).
void build_control_panel(ctrl_window* cw);

// Stops the status poll; calling it again does nothing.
void stop_control_panel(ctrl_window* cw);

gboolean update_mode(GtkComboBox* combo, ctrl_window* cw);
gboolean update_exposure(GtkAdjustment* adj, gpointer);
gboolean update_gain(GtkAdjustment* adj, gpointer);
gboolean update_x0(GtkAdjustment* adj, gpointer);
gboolean update_y0(GtkAdjustment* adj, gpointer);
gboolean update_cx(GtkAdjustment* adj, gpointer);
gboolean update_cy(GtkAdjustment* adj, gpointer);
gboolean update_color(GtkToggleButton* toggle, gpointer);
gboolean update_show(GtkToggleButton* toggle, gpointer);
gboolean update_run(GtkToggleButton* toggle, ctrl_window* cw);
gboolean time_handler(ctrl_window* cw);

// --- The panel's arithmetic, pure ---

// An edited region edge or size after clamping against its partner and the
// full size of its axis (unsigned 32-bit, as the camera takes it).
unsigned clamp_roi(unsigned edited, unsigned partner, DWORD full);

struct Region {
    DWORD x0, y0, cx, cy;
};
// The region to send: all zeros (full frame) when the edited region is the
// whole frame, else the edited region itself.
Region region_to_send(const Region& edited, DWORD full_cx, DWORD full_cy);

// What a handler asked the camera for.
struct Request {
    UINT exposure_us, mode;
    Region region;  // as sent: all zero for the full frame
    float gain;
};
// Whether it asks for anything other than what runs, in a mode whose full
// frame is full_cx x full_cy.
bool asks_for_change(const Request& asked, const CQSETTINGS& runs, DWORD full_cx, DWORD full_cy);

// Input n (1..4) from the level of a read of all inputs: bit n-1.
bool input_from_all(DWORD level, int n);

// Adjustment value truncated toward zero to an unsigned 32-bit integer.
unsigned adjustment_to_unsigned(double value);
