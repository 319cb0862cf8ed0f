// See status_area.h. Main (GTK) thread only; the control handle is used
// under hMV_mutex, never across a GTK call.
#include "status_area.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "camera_condition.h"
#include "camera_state.h"
#include "control_panel.h"
#include "frame_handover.h"
#include "notices.h"
#include "picture_save.h"
#include "pixel_reading.h"
#include "setup.h"
#include "status_text.h"
#include "x_connection.h"

namespace {

constexpr guint REFRESH_MS = 500;
// The pointer's line follows the pointer, at a cost of one small locked read.
constexpr guint VIEW_REFRESH_MS = 100;

// What the libraries say, read at once under the handle's lock.
struct LibraryWords {
    bool told = false;  // the library has the condition query
    CQCONDITION condition{};
    uint32_t state = CQ_CAMERA_ANSWERING;
};

LibraryWords ask_library() {
    LibraryWords words;
    std::lock_guard<std::mutex> lock(hMV_mutex);
    if (hMV == INVALID_HANDLE_VALUE) return words;
    words.told = camera_condition(hMV, &words.condition);
    CQSETTINGS runs{};
    if (camera_settings(hMV, &runs)) words.state = runs.dwState;
    return words;
}

std::string active_mode(ctrl_window* panel) {
    gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(panel->mode));
    std::string mode = text ? text : "";
    g_free(text);
    return mode;
}

RecentCounts recent_counts;

// One more line: the value under the pointer, then where the last picture went.
gboolean view_tick(gpointer data) {
    if (x_connection_lost()) return TRUE;  // nothing more is drawn: the panel is closing
    auto* area = static_cast<status_area*>(data);
    std::string text = pixel_text(pixel_under_pointer.get());
    const std::string saved = save_notice.get();
    if (!saved.empty()) text += (text.empty() ? "" : "\n") + saved;
    if (text != gtk_label_get_text(GTK_LABEL(area->view))) gtk_label_set_text(GTK_LABEL(area->view), text.c_str());
    return TRUE;
}

gboolean refresh_tick(gpointer data) {
    if (x_connection_lost()) return TRUE;
    refresh_status_area(static_cast<status_area*>(data));
    return TRUE;
}

void free_run_clicked(GtkButton*, gpointer) {
    CQK_RETURN result;
    {
        std::lock_guard<std::mutex> lock(hMV_mutex);
        if (hMV == INVALID_HANDLE_VALUE) return;
        result = camera_free_run(hMV);
    }
    if (result != 0) fprintf(stderr, "The camera could not be switched to free run: cqSetFreeRun returned %d\n", result);
}

}  // namespace

void refresh_status_area(status_area* area) {
    const LibraryWords words = ask_library();
    const CQCONDITION& c = words.condition;
    CQGETFRAMEEX frame{};
    snapshot_frame(&frame, nullptr);

    StatusFacts facts;
    facts.library = c.szLibrary;
    // The launcher's word on why this library was taken ("no camera found …").
    if (const char* note = getenv("TOLMIREX_CAMERA_NOTE"); note && *note && !facts.library.empty())
        facts.library += std::string(": ") + note;
    facts.camera = c.szCamera;
    facts.mode = active_mode(area->panel);
    facts.acquiring = lps->bRun;
    facts.rate_fps = lps->fFPS_sum;
    facts.frame_bytes = static_cast<double>(frame_bytes(frame));
    facts.recent = recent_counts.add(getcurms(), lps->dwLframes, c.dwIncomplete);
    facts.incomplete_known = words.told;
    facts.stream = c.szStream;
    facts.problem = problem_text(c.szProblem, words.state, acquisition_notice.get());
    picture_notice.set(facts.problem);

    const std::string text = status_text(facts);
    if (text != gtk_label_get_text(GTK_LABEL(area->label))) gtk_label_set_text(GTK_LABEL(area->label), text.c_str());

    const bool offered = (c.dwActions & CQ_CAN_FREE_RUN) != 0;
    const bool shrinks = facts.problem.size() < area->problem_shown.size() || (area->free_run_shown && !offered);
    if (offered != area->free_run_shown) {
        if (offered)
            gtk_widget_show(area->free_run);
        else
            gtk_widget_hide(area->free_run);
        area->free_run_shown = offered;
    }
    area->problem_shown = facts.problem;
    // A window never gives back room by itself: without this the panel's
    // own widgets would spread into what a longer sentence took.
    if (shrinks) gtk_window_resize(GTK_WINDOW(gtk_widget_get_toplevel(area->box)), 1, 1);
}

void build_status_area(status_area* area, ctrl_window* panel, GtkWidget* box) {
    area->panel = panel;
    area->box = gtk_vbox_new(FALSE, 2);
    area->label = gtk_label_new("");
    gtk_label_set_selectable(GTK_LABEL(area->label), TRUE);
    // Selected with the mouse, but out of the keyboard's way: Tab and
    // shift+Tab go round the panel's own widgets as before.
    gtk_widget_set_can_focus(area->label, FALSE);
    gtk_label_set_line_wrap(GTK_LABEL(area->label), TRUE);
    // Wrapped at the width of the widgets above, so a long sentence makes
    // the window taller, never wider.
    // (A box asks room only for the children shown.)
    gtk_widget_show_all(box);
    GtkRequisition above{};
    gtk_widget_size_request(box, &above);
    gtk_widget_set_size_request(area->label, above.width, -1);
    gtk_misc_set_alignment(GTK_MISC(area->label), 0.0f, 0.0f);
    area->view = gtk_label_new("");
    gtk_label_set_selectable(GTK_LABEL(area->view), TRUE);
    gtk_widget_set_can_focus(area->view, FALSE);
    gtk_label_set_line_wrap(GTK_LABEL(area->view), TRUE);
    gtk_widget_set_size_request(area->view, above.width, -1);
    gtk_misc_set_alignment(GTK_MISC(area->view), 0.0f, 0.0f);
    area->free_run = gtk_button_new_with_label("Free run");
    gtk_widget_set_tooltip_text(area->free_run, "Switch the camera's trigger off, so that it sends frames on its own");
    g_signal_connect(area->free_run, "clicked", G_CALLBACK(free_run_clicked), nullptr);
    GtkWidget* buttons = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), area->free_run, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(area->box), gtk_hseparator_new(), FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(area->box), area->label, FALSE, FALSE, 2);
    gtk_box_pack_start(GTK_BOX(area->box), area->view, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(area->box), buttons, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), area->box, FALSE, FALSE, 0);
    gtk_widget_show_all(area->box);
    gtk_widget_set_no_show_all(area->free_run, TRUE);
    gtk_widget_hide(area->free_run);
    area->free_run_shown = false;
    refresh_status_area(area);
    area->timer = g_timeout_add(REFRESH_MS, refresh_tick, area);
    area->view_timer = g_timeout_add(VIEW_REFRESH_MS, view_tick, area);
}

void stop_status_area(status_area* area) {
    if (area->timer) g_source_remove(area->timer);
    area->timer = 0;
    if (area->view_timer) g_source_remove(area->view_timer);
    area->view_timer = 0;
}
