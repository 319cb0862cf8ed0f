// See picture_tools.h. Main (GTK) thread only.
#include "picture_tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "picture_figures.h"
#include "picture_options.h"
#include "x_connection.h"

namespace {

constexpr guint REFRESH_MS = 200;
constexpr int HISTOGRAM_WIDTH = 256, HISTOGRAM_HEIGHT = 64;

bool active(GtkWidget* toggle) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(toggle)); }

// One channel as a filled outline over the area's width, bins folded to it.
void draw_channel(cairo_t* cr, const std::array<uint32_t, kHistogramBins>& bins, bool log_scale, int width,
                  int height) {
    const uint32_t highest = *std::max_element(bins.begin(), bins.end());
    cairo_move_to(cr, 0, height);
    for (int x = 0; x < width; ++x) {
        const int first = x * kHistogramBins / width, last = std::max(first + 1, (x + 1) * kHistogramBins / width);
        const uint32_t count = *std::max_element(bins.begin() + first, bins.begin() + last);
        const double h = bar_height(count, highest, log_scale, height);
        cairo_line_to(cr, x, height - h);
        cairo_line_to(cr, x + 1, height - h);
    }
    cairo_line_to(cr, width, height);
    cairo_close_path(cr);
    cairo_fill(cr);
}

gboolean histogram_exposed(GtkWidget* area, GdkEventExpose*, gpointer data) {
    if (x_connection_lost()) return TRUE;  // drawing on a lost connection fills Xlib's buffer, then crashes it
    const auto* tools = static_cast<picture_tools*>(data);
    const int width = area->allocation.width, height = area->allocation.height;
    cairo_t* cr = gdk_cairo_create(area->window);
    cairo_set_source_rgb(cr, 0.12, 0.12, 0.12);
    cairo_paint(cr);
    const bool log_scale = active(tools->log_scale);
    const PictureFigures& f = tools->shown;
    if (f.channels == 1) {
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        draw_channel(cr, f.bins[0], log_scale, width, height);
    } else if (f.channels == 3) {
        // Added together, so where channels overlap the colours mix.
        cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
        const double rgb[3][3] = {{0.8, 0, 0}, {0, 0.8, 0}, {0, 0, 0.9}};
        for (int c = 0; c < 3; ++c) {
            cairo_set_source_rgb(cr, rgb[c][0], rgb[c][1], rgb[c][2]);
            draw_channel(cr, f.bins[c], log_scale, width, height);
        }
    }
    // The ends of the scale are one pixel each: a stripe at the edge says
    // that something is clipped there.
    if (f.full_share > 0) {
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_set_source_rgb(cr, 1, 0.2, 0.2);
        cairo_rectangle(cr, width - 2, 0, 2, height);
        cairo_fill(cr);
    }
    if (f.zero_share > 0) {
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_set_source_rgb(cr, 0.3, 0.4, 1);
        cairo_rectangle(cr, 0, 0, 2, height);
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    return TRUE;
}

void log_scale_toggled(GtkToggleButton*, gpointer data) {
    gtk_widget_queue_draw(static_cast<picture_tools*>(data)->histogram);
}

void show_clipped_toggled(GtkToggleButton* toggle, gpointer) {
    show_clipped_pixels = gtk_toggle_button_get_active(toggle);
}

gboolean refresh_tick(gpointer data) {
    if (x_connection_lost()) return TRUE;  // nothing more is drawn: the panel is closing
    refresh_picture_tools(static_cast<picture_tools*>(data));
    return TRUE;
}

void set_label(GtkWidget* label, const std::string& text) {
    if (text != gtk_label_get_text(GTK_LABEL(label))) gtk_label_set_text(GTK_LABEL(label), text.c_str());
}

// A check button out of the keyboard's way: Tab and shift+Tab go round the
// panel's own widgets as before.
GtkWidget* mouse_check_button(const char* label) {
    GtkWidget* button = gtk_check_button_new_with_label(label);
    gtk_widget_set_can_focus(button, FALSE);
    return button;
}

}  // namespace

std::string clip_text(double full_share, double zero_share) {
    char text[96];
    snprintf(text, sizeof text, "Clipped: %.2f %% at full scale, %.2f %% at zero", 100 * full_share,
             100 * zero_share);
    return text;
}

std::string focus_text(double focus, double best) {
    char text[64];
    snprintf(text, sizeof text, "Focus: %.1f (best %.1f)", focus, best);
    return text;
}

double bar_height(uint32_t count, uint32_t highest, bool log_scale, int height) {
    if (highest == 0 || count == 0) return 0;
    const double share = log_scale ? std::log1p(double(count)) / std::log1p(double(highest)) : double(count) / highest;
    return std::min(1.0, share) * height;
}

void refresh_picture_tools(picture_tools* tools) {
    // The key `c` of the video window flips the flag too.
    const bool wanted = show_clipped_pixels;
    if (wanted != active(tools->show_clipped)) {
        g_signal_handlers_block_by_func(tools->show_clipped, reinterpret_cast<gpointer>(show_clipped_toggled), nullptr);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(tools->show_clipped), wanted);
        g_signal_handlers_unblock_by_func(tools->show_clipped, reinterpret_cast<gpointer>(show_clipped_toggled),
                                          nullptr);
    }
    const uint64_t edition = read_picture_figures(&tools->shown);
    if (edition == tools->edition) return;
    tools->edition = edition;
    set_label(tools->clip_label, clip_text(tools->shown.full_share, tools->shown.zero_share));
    set_label(tools->focus_label, focus_text(tools->shown.focus, tools->shown.best_focus));
    gtk_widget_queue_draw(tools->histogram);
}

void build_picture_tools(picture_tools* tools, GtkWidget* box) {
    tools->box = gtk_vbox_new(FALSE, 2);
    tools->histogram = gtk_drawing_area_new();
    gtk_widget_set_size_request(tools->histogram, HISTOGRAM_WIDTH, HISTOGRAM_HEIGHT);
    gtk_widget_set_tooltip_text(tools->histogram, "Histogram of the picture on show, at the camera's bit depth");
    tools->clip_label = gtk_label_new("Clipped: -");
    tools->focus_label = gtk_label_new("Focus: -");
    // Under the histogram, wrapped within the width of the widgets above, so
    // a longer figure makes the window taller, never wider.
    GtkRequisition above{};
    gtk_widget_size_request(box, &above);
    for (GtkWidget* label : {tools->clip_label, tools->focus_label}) {
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_widget_set_size_request(label, std::max(HISTOGRAM_WIDTH, above.width), -1);
        gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.0f);
    }
    gtk_widget_set_tooltip_text(tools->focus_label,
                                "Sharpness of the centre of the picture; the best is kept until the mode changes");
    tools->log_scale = mouse_check_button("Log scale");
    tools->show_clipped = mouse_check_button("Show clipped pixels");
    gtk_widget_set_tooltip_text(tools->show_clipped, "Pixels at full scale red, at zero blue (key c in the video)");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(tools->show_clipped), show_clipped_pixels);

    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), tools->histogram, FALSE, FALSE, 0);
    GtkWidget* checks = gtk_hbox_new(FALSE, 6);
    gtk_box_pack_start(GTK_BOX(checks), tools->log_scale, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(checks), tools->show_clipped, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(tools->box), gtk_hseparator_new(), FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(tools->box), row, FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(tools->box), tools->clip_label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(tools->box), tools->focus_label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(tools->box), checks, FALSE, FALSE, 0);

    gtk_box_pack_start(GTK_BOX(box), tools->box, FALSE, FALSE, 0);
    gtk_widget_show_all(tools->box);

    g_signal_connect(tools->histogram, "expose-event", G_CALLBACK(histogram_exposed), tools);
    g_signal_connect(tools->log_scale, "toggled", G_CALLBACK(log_scale_toggled), tools);
    g_signal_connect(tools->show_clipped, "toggled", G_CALLBACK(show_clipped_toggled), nullptr);
    tools->edition = 0;
    tools->timer = g_timeout_add(REFRESH_MS, refresh_tick, tools);
}

void stop_picture_tools(picture_tools* tools) {
    if (tools->timer) g_source_remove(tools->timer);
    tools->timer = 0;
}
