// The GTK control panel. Main (GTK) thread only. Every use of the control
// handle hMV goes through with_camera(), under hMV_mutex, so the display
// thread cannot close it in the middle of a call; the lock is never held
// across a GTK call, which may run nested handlers.
#include "control_panel.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "camera_state.h"
#include "display.h"
#include "setup.h"

namespace {

constexpr guint POLL_INTERVAL_MS = 1000;
constexpr int MODE_TEXT_SIZE = 4096;

template <class Call>
auto with_camera(Call call) {
    std::lock_guard<std::mutex> lock(hMV_mutex);
    return call(hMV);
}

bool camera_open() {
    return with_camera([](HANDLE h) { return h != INVALID_HANDLE_VALUE; });
}

// What the camera runs; false when the library cannot say (then the panel
// shows what it was set to, as before).
bool read_camera_settings(CQSETTINGS* runs) {
    return with_camera([&](HANDLE h) { return camera_settings(h, runs); });
}

// The one panel (its handlers other than update_mode and update_run get no
// user data): set by build_control_panel.
ctrl_window* panel = nullptr;

void show_camera_settings(ctrl_window* cw, const CQSETTINGS& runs);

// Whether result refused a change because the camera is not answering. Then
// the panel goes back to what the camera runs (and runs again once it is
// back), and a change that asked for something else is named. Any other
// failure goes unreported, as before.
bool refused_while_waiting(CQK_RETURN result, const char* setting, const Request& asked) {
    if (result == 0) return false;
    CQSETTINGS runs{};
    if (!read_camera_settings(&runs) || runs.dwState == CQ_CAMERA_ANSWERING) return false;
    CQMODE mode{};
    with_camera([&](HANDLE h) { return cqGetModeDescriptor(h, runs.uiMode, &mode); });
    if (asks_for_change(asked, runs, mode.dwCx, mode.dwCy))
        fprintf(stderr, "Camera not answering: the %s change was not applied; the panel shows the settings in effect\n",
                setting);
    if (panel) show_camera_settings(panel, runs);
    return true;
}

// Sends exposure, mode and region to the camera; false when it refused them
// for not answering.
bool send_mode(const char* setting) {
    const Request asked{
        lps->uiExposure, lps->uiMode, {lps->dwROIx0, lps->dwROIy0, lps->dwROIcx, lps->dwROIcy}, lps->fGain};
    const CQK_RETURN result = with_camera([&](HANDLE h) {
        return cqSetMode(h, asked.exposure_us, asked.mode, asked.region.x0, asked.region.y0, asked.region.cx,
                         asked.region.cy);
    });
    return !refused_while_waiting(result, setting, asked);
}

GtkAdjustment* adjustment_of_range(GtkWidget* w) { return gtk_range_get_adjustment(GTK_RANGE(w)); }

GtkAdjustment* adjustment_of_spin(GtkWidget* w) { return gtk_spin_button_get_adjustment(GTK_SPIN_BUTTON(w)); }

// Appends the camera's mode descriptions in index order.
void fill_mode_list(GtkComboBox* combo) {
    for (UINT index = 0;; ++index) {
        char text[MODE_TEXT_SIZE];
        if (with_camera([&](HANDLE h) { return cqGetModeDescriptorString(h, index, text, sizeof text); })) break;
        text[sizeof text - 1] = '\0';
        gtk_combo_box_append_text(combo, text);
    }
}

void commit_roi() {
    const Region r = region_to_send({lps->m_roi_x0, lps->m_roi_y0, lps->m_roi_cx, lps->m_roi_cy}, lps->dwCx, lps->dwCy);
    lps->dwROIx0 = r.x0;
    lps->dwROIy0 = r.y0;
    lps->dwROIcx = r.cx;
    lps->dwROIcy = r.cy;
    send_mode("region");
}

// The shared pattern of the four region handlers. Writing a clamped value
// back into the adjustment runs this handler once more, nested.
gboolean update_roi(GtkAdjustment* adj, unsigned* edited, unsigned partner, DWORD full) {
    *edited = adjustment_to_unsigned(gtk_adjustment_get_value(adj));
    const unsigned clamped = clamp_roi(*edited, partner, full);
    if (clamped != *edited) {
        *edited = clamped;
        gtk_adjustment_set_value(adj, clamped);
    }
    commit_roi();
    return TRUE;
}

// Ranges and values of the region spin buttons for a full frame of cx x cy.
void configure_region_spins(ctrl_window* cw, DWORD cx, DWORD cy) {
    gtk_adjustment_configure(adjustment_of_spin(cw->x0), 0, 0, DWORD(cx - 4u), 2, 20, 0);
    gtk_adjustment_configure(adjustment_of_spin(cw->y0), 0, 0, DWORD(cy - 2u), 2, 20, 0);
    gtk_adjustment_configure(adjustment_of_spin(cw->cx), cx, 4, cx, 4, 20, 0);
    gtk_adjustment_configure(adjustment_of_spin(cw->cy), cy, 2, cy, 2, 20, 0);
}

bool active(GtkWidget* toggle) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(toggle)); }

// Blocks or unblocks the handler `func` on `instance`.
void block_handler(gpointer instance, gpointer func, bool block) {
    const auto mask = GSignalMatchType(G_SIGNAL_MATCH_FUNC);
    if (block)
        g_signal_handlers_block_matched(instance, mask, 0, 0, nullptr, func, nullptr);
    else
        g_signal_handlers_unblock_matched(instance, mask, 0, 0, nullptr, func, nullptr);
}

// The region spin buttons show region inside a full frame of cx x cy
// without their handlers sending anything.
void show_region(ctrl_window* cw, DWORD cx, DWORD cy, const Region& region) {
    const std::pair<GtkWidget*, gpointer> spins[] = {{cw->x0, reinterpret_cast<gpointer>(update_x0)},
                                                     {cw->y0, reinterpret_cast<gpointer>(update_y0)},
                                                     {cw->cx, reinterpret_cast<gpointer>(update_cx)},
                                                     {cw->cy, reinterpret_cast<gpointer>(update_cy)}};
    for (auto [spin, handler] : spins) block_handler(adjustment_of_spin(spin), handler, true);
    gtk_adjustment_configure(adjustment_of_spin(cw->x0), region.x0, 0, DWORD(cx - 4u), 2, 20, 0);
    gtk_adjustment_configure(adjustment_of_spin(cw->y0), region.y0, 0, DWORD(cy - 2u), 2, 20, 0);
    gtk_adjustment_configure(adjustment_of_spin(cw->cx), region.cx, 4, cx, 4, 20, 0);
    gtk_adjustment_configure(adjustment_of_spin(cw->cy), region.cy, 2, cy, 2, 20, 0);
    for (auto [spin, handler] : spins) block_handler(adjustment_of_spin(spin), handler, false);
}

// The region as edited becomes the mode's full frame.
void edit_full_frame(const CQMODE& mode) {
    lps->dwCx = lps->m_roi_cx = mode.dwCx;
    lps->dwCy = lps->m_roi_cy = mode.dwCy;
    lps->m_roi_x0 = lps->m_roi_y0 = 0;
}

// A reset leaves the record at its defaults while the panel still shows the
// user's settings; the record takes what the panel shows, so the new worker
// opens the camera with it. The mode goes back to 0 with its full frame, as
// the refilled selector shows.
void carry_panel_into_record(ctrl_window* cw) {
    lps->show = active(cw->show);
    lps->color = active(cw->color);
    lps->uiExposure = adjustment_to_unsigned(gtk_adjustment_get_value(adjustment_of_range(cw->exp)) * 1000.0);
    lps->fGain = static_cast<float>(gtk_adjustment_get_value(adjustment_of_range(cw->gain)));

    CQMODE mode{};
    if (with_camera([&](HANDLE h) { return cqGetModeDescriptor(h, 0, &mode); })) return;
    edit_full_frame(mode);  // the record's region stays all zero: the full frame
    show_region(cw, mode.dwCx, mode.dwCy, {0, 0, mode.dwCx, mode.dwCy});
}

// The selector lists the camera's modes afresh, on entry 0, without
// update_mode running.
void refill_mode_list(ctrl_window* cw) {
    GtkComboBox* combo = GTK_COMBO_BOX(cw->mode);
    const gpointer handler = reinterpret_cast<gpointer>(update_mode);
    block_handler(combo, handler, true);
    while (gchar* text = gtk_combo_box_get_active_text(combo)) {
        g_free(text);
        gtk_combo_box_remove_text(combo, 0);
        gtk_combo_box_set_active(combo, 0);
    }
    fill_mode_list(combo);
    gtk_combo_box_set_active(combo, 0);
    block_handler(combo, handler, false);
}

// Whether the selector lists the modes the camera library lists now (a
// camera back from an outage may offer others).
bool mode_list_current(GtkComboBox* combo) {
    GtkTreeModel* model = gtk_combo_box_get_model(combo);
    const gint entries = gtk_tree_model_iter_n_children(model, nullptr);
    for (gint index = 0;; ++index) {
        char text[MODE_TEXT_SIZE];
        if (with_camera([&](HANDLE h) { return cqGetModeDescriptorString(h, UINT(index), text, sizeof text); }))
            return index == entries;
        text[sizeof text - 1] = '\0';
        GtkTreeIter entry;
        if (!gtk_tree_model_iter_nth_child(model, &entry, nullptr, index)) return false;
        gchar* shown = nullptr;
        gtk_tree_model_get(model, &entry, 0, &shown, -1);
        const bool same = shown && std::strcmp(shown, text) == 0;
        g_free(shown);
        if (!same) return false;
    }
}

// The record takes what the camera runs and the widgets show it, each with
// its handler blocked, as a restart carries the panel into the record the
// other way round.
void show_camera_settings(ctrl_window* cw, const CQSETTINGS& runs) {
    cw->settings_changes = runs.dwChanges;
    CQMODE mode{};
    if (with_camera([&](HANDLE h) { return cqGetModeDescriptor(h, runs.uiMode, &mode); })) return;
    lps->uiExposure = runs.uiExposure;
    lps->uiMode = runs.uiMode;
    lps->fGain = runs.fGain;
    lps->dwCx = mode.dwCx;
    lps->dwCy = mode.dwCy;
    // The library tells the region as cqSetMode takes it: all zero is the full frame.
    const bool full = runs.dwROIcx == 0 || runs.dwROIcy == 0;
    const Region region = full ? Region{0, 0, mode.dwCx, mode.dwCy}
                               : Region{runs.dwROIx0, runs.dwROIy0, runs.dwROIcx, runs.dwROIcy};
    lps->m_roi_x0 = region.x0;
    lps->m_roi_y0 = region.y0;
    lps->m_roi_cx = region.cx;
    lps->m_roi_cy = region.cy;
    const Region sent = region_to_send(region, mode.dwCx, mode.dwCy);
    lps->dwROIx0 = sent.x0;
    lps->dwROIy0 = sent.y0;
    lps->dwROIcx = sent.cx;
    lps->dwROIcy = sent.cy;

    const auto quietly = [](gpointer instance, gpointer handler, auto change) {
        block_handler(instance, handler, true);
        change();
        block_handler(instance, handler, false);
    };
    if (!mode_list_current(GTK_COMBO_BOX(cw->mode))) refill_mode_list(cw);
    quietly(cw->mode, reinterpret_cast<gpointer>(update_mode),
            [&] { gtk_combo_box_set_active(GTK_COMBO_BOX(cw->mode), static_cast<gint>(runs.uiMode)); });
    quietly(adjustment_of_range(cw->exp), reinterpret_cast<gpointer>(update_exposure),
            [&] { gtk_adjustment_set_value(adjustment_of_range(cw->exp), runs.uiExposure / 1000.0); });
    quietly(adjustment_of_range(cw->gain), reinterpret_cast<gpointer>(update_gain),
            [&] { gtk_adjustment_set_value(adjustment_of_range(cw->gain), runs.fGain); });
    show_region(cw, mode.dwCx, mode.dwCy, region);
}

// The number of changes the camera library counted, once the panel shows
// what runs: a camera back from an outage is shown at the next poll.
void note_camera_settings(ctrl_window* cw) {
    CQSETTINGS runs{};
    if (read_camera_settings(&runs)) cw->settings_changes = runs.dwChanges;
}

void show_camera_settings_if_changed(ctrl_window* cw) {
    CQSETTINGS runs{};
    if (!read_camera_settings(&runs)) return;
    if (runs.dwChanges != cw->settings_changes) show_camera_settings(cw, runs);
}

void set_settings_sensitive(ctrl_window* cw, gboolean sensitive) {
    for (GtkWidget* w : {cw->mode, cw->boxx, cw->boxy, cw->exp, cw->gain}) gtk_widget_set_sensitive(w, sensitive);
}

// Makes the label that names a widget; returns the widget, so that both are
// made in one statement.
GtkWidget* labelled(GtkWidget** label, const char* text, GtkWidget* widget) {
    *label = gtk_label_new(text);
    return widget;
}

void connect(gpointer instance, const char* signal, GCallback handler, gpointer data) {
    g_signal_connect_data(instance, signal, handler, data, nullptr, GConnectFlags(0));
}

}  // namespace

unsigned clamp_roi(unsigned edited, unsigned partner, DWORD full) {
    return edited + partner > full ? full - partner : edited;
}

Region region_to_send(const Region& e, DWORD full_cx, DWORD full_cy) {
    if (e.x0 == 0 && e.y0 == 0 && e.cx == full_cx && e.cy == full_cy) return {0, 0, 0, 0};
    return e;
}

bool input_from_all(DWORD level, int n) { return (level >> (n - 1)) & 1u; }

bool asks_for_change(const Request& asked, const CQSETTINGS& runs, DWORD full_cx, DWORD full_cy) {
    const Region running = region_to_send({runs.dwROIx0, runs.dwROIy0, runs.dwROIcx, runs.dwROIcy}, full_cx, full_cy);
    const Region region = region_to_send(asked.region, full_cx, full_cy);
    return asked.exposure_us != runs.uiExposure || asked.mode != runs.uiMode || asked.gain != runs.fGain ||
           region.x0 != running.x0 || region.y0 != running.y0 || region.cx != running.cx || region.cy != running.cy;
}

unsigned adjustment_to_unsigned(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<unsigned>(value);
}

gboolean update_mode(GtkComboBox* combo, ctrl_window* cw) {
    lps->uiMode = static_cast<UINT>(gtk_combo_box_get_active(combo));
    CQMODE mode{};
    if (with_camera([&](HANDLE h) { return cqGetModeDescriptor(h, lps->uiMode, &mode); })) {
        printf("Couldn't get mode description!\n");
        return TRUE;
    }

    // The explicit full frame goes to the camera here; the nested region
    // handlers then commit the all-zero form.
    edit_full_frame(mode);
    lps->dwROIx0 = lps->dwROIy0 = 0;
    lps->dwROIcx = mode.dwCx;
    lps->dwROIcy = mode.dwCy;
    // Refused: the panel already shows the mode that runs.
    if (!send_mode("mode")) return TRUE;

    // A failed query leaves the scale's current range.
    GtkAdjustment* gain = adjustment_of_range(cw->gain);
    float min = static_cast<float>(gtk_adjustment_get_lower(gain));
    float max = static_cast<float>(gtk_adjustment_get_upper(gain));
    DWORD stops = 0, default_stop = 0;
    with_camera([&](HANDLE h) { return cqGetGainInfo(h, &min, &max, &stops, &default_stop); });
    if (lps->fGain < min) lps->fGain = min;

    const DWORD cx = lps->dwCx, cy = lps->dwCy;
    gtk_adjustment_configure(gain, lps->fGain, min, max, 0.1, 1, 0);
    configure_region_spins(cw, cx, cy);
    return TRUE;
}

gboolean update_exposure(GtkAdjustment* adj, gpointer) {
    const UINT exposure = adjustment_to_unsigned(gtk_adjustment_get_value(adj) * 1000.0);
    if (exposure == lps->uiExposure) return TRUE;
    lps->uiExposure = exposure;
    send_mode("exposure");
    return TRUE;
}

gboolean update_gain(GtkAdjustment* adj, gpointer) {
    const float gain = static_cast<float>(gtk_adjustment_get_value(adj));
    if (gain == lps->fGain) return TRUE;
    const Request asked{lps->uiExposure, lps->uiMode, {lps->dwROIx0, lps->dwROIy0, lps->dwROIcx, lps->dwROIcy}, gain};
    lps->fGain = gain;
    const CQK_RETURN result = with_camera([&](HANDLE h) { return cqSetGainVal(h, gain); });
    if (refused_while_waiting(result, "gain", asked)) return TRUE;
    send_mode("gain");
    return TRUE;
}

gboolean update_x0(GtkAdjustment* adj, gpointer) { return update_roi(adj, &lps->m_roi_x0, lps->m_roi_cx, lps->dwCx); }

gboolean update_y0(GtkAdjustment* adj, gpointer) { return update_roi(adj, &lps->m_roi_y0, lps->m_roi_cy, lps->dwCy); }

gboolean update_cx(GtkAdjustment* adj, gpointer) { return update_roi(adj, &lps->m_roi_cx, lps->m_roi_x0, lps->dwCx); }

gboolean update_cy(GtkAdjustment* adj, gpointer) { return update_roi(adj, &lps->m_roi_cy, lps->m_roi_y0, lps->dwCy); }

gboolean update_color(GtkToggleButton* toggle, gpointer) {
    lps->color = gtk_toggle_button_get_active(toggle);
    return TRUE;
}

gboolean update_show(GtkToggleButton* toggle, gpointer) {
    gtk_toggle_button_set_inconsistent(toggle, FALSE);
    lps->show = gtk_toggle_button_get_active(toggle);
    return TRUE;
}

gboolean update_run(GtkToggleButton* toggle, ctrl_window* cw) {
    gtk_toggle_button_set_inconsistent(toggle, FALSE);
    const gboolean on = gtk_toggle_button_get_active(toggle);
    if (on) {
        if (!camera_open()) {
            // The previous display thread and worker end before the reset,
            // so they never overlap the new ones.
            joinLive();
            setupCam();
            carry_panel_into_record(cw);
        }
        if (!camera_open()) {
            printf("Couldn't setup camera!\n");
            return TRUE;
        }
        startLive();

        refill_mode_list(cw);
        note_camera_settings(cw);
    } else {
        stopLive();
    }
    set_settings_sensitive(cw, on);
    return TRUE;
}

gboolean time_handler(ctrl_window* cw) {
    lps->bTakeWB = 1;
    const BOOL running = lps->bRun;

    bool inputs[4];
    const bool read = with_camera([&](HANDLE h) {
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD level = 0;
        if (running) {
            cqGetGPIO(h, -1, 0, &level);
            for (int n = 1; n <= 4; ++n) inputs[n - 1] = input_from_all(level, n);
        } else {
            for (int n = 1; n <= 4; ++n) {
                cqGetGPIO(h, n, 0, &level);
                inputs[n - 1] = level != 0;
            }
        }
        return true;
    });
    if (read) {
        GtkWidget* gpi[4] = {cw->gpi1, cw->gpi2, cw->gpi3, cw->gpi4};
        for (int i = 0; i < 4; ++i) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(gpi[i]), inputs[i]);
    }

    GtkToggleButton* run = GTK_TOGGLE_BUTTON(cw->run);
    GtkToggleButton* show = GTK_TOGGLE_BUTTON(cw->show);
    gtk_toggle_button_set_inconsistent(run, !gtk_toggle_button_get_active(run) != !running);
    gtk_toggle_button_set_inconsistent(show, !gtk_toggle_button_get_active(show) != !lps->show);
    set_settings_sensitive(cw, running ? TRUE : FALSE);
    show_camera_settings_if_changed(cw);
    return TRUE;
}

// The status poll stops with the window: a poll that is due in the same
// main-loop pass as the close would otherwise run on destroyed widgets.
static void panel_destroyed(GtkWidget*, ctrl_window* cw) {
    stop_control_panel(cw);
    gtk_main_quit();
}

void build_control_panel(ctrl_window* cw) {
    // The window; closing it ends the main loop.
    cw->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(cw->window), "Tolmirex control");
    connect(cw->window, "destroy", G_CALLBACK(panel_destroyed), cw);

    // The widgets.
    cw->boxmain = gtk_vbox_new(FALSE, 0);
    cw->boxgpi = gtk_hbox_new(TRUE, 0);
    cw->boxx = gtk_hbox_new(FALSE, 0);
    cw->boxy = gtk_hbox_new(FALSE, 0);
    cw->gpi1 = gtk_check_button_new_with_label("GPI1");
    cw->gpi2 = gtk_check_button_new_with_label("GPI2");
    cw->gpi3 = gtk_check_button_new_with_label("GPI3");
    cw->gpi4 = gtk_check_button_new_with_label("GPI4");
    cw->mode = gtk_combo_box_new_text();
    cw->exp = labelled(&cw->labelexp, "Exposure (ms)", gtk_hscale_new_with_range(1, 1000, 1));
    cw->gain = labelled(&cw->labelgain, "Gain (dB)", gtk_hscale_new_with_range(0, 1, 0.1));
    cw->x0 = labelled(&cw->labelx0, "x0", gtk_spin_button_new_with_range(0, 128, 2));
    cw->y0 = labelled(&cw->labely0, "y0", gtk_spin_button_new_with_range(0, 128, 2));
    cw->cx = labelled(&cw->labelcx, "cx", gtk_spin_button_new_with_range(4, 128, 4));
    cw->cy = labelled(&cw->labelcy, "cy", gtk_spin_button_new_with_range(2, 128, 2));
    cw->color = gtk_toggle_button_new_with_label("Color output");
    cw->show = gtk_toggle_button_new_with_label("Live view");
    cw->run = gtk_toggle_button_new_with_label("Acquisition");

    // Live view and acquisition were started before the panel.
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cw->show), TRUE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cw->run), TRUE);
    gtk_widget_set_sensitive(cw->boxgpi, FALSE);

    // The scales report a value when the slider is released, not while dragged.
    gtk_scale_set_digits(GTK_SCALE(cw->exp), 0);
    gtk_range_set_update_policy(GTK_RANGE(cw->exp), GTK_UPDATE_DISCONTINUOUS);
    gtk_range_set_update_policy(GTK_RANGE(cw->gain), GTK_UPDATE_DISCONTINUOUS);
    gtk_adjustment_set_value(adjustment_of_range(cw->exp), 10.0);
    gtk_scale_set_value_pos(GTK_SCALE(cw->exp), GTK_POS_RIGHT);
    gtk_scale_set_value_pos(GTK_SCALE(cw->gain), GTK_POS_RIGHT);

    // The mode list.
    fill_mode_list(GTK_COMBO_BOX(cw->mode));
    gtk_combo_box_set_active(GTK_COMBO_BOX(cw->mode), 0);

    // The widget tree, top to bottom.
    for (GtkWidget* w : {cw->gpi1, cw->gpi2, cw->gpi3, cw->gpi4}) gtk_container_add(GTK_CONTAINER(cw->boxgpi), w);
    for (GtkWidget* w : {cw->labelx0, cw->x0, cw->labelcx, cw->cx}) gtk_container_add(GTK_CONTAINER(cw->boxx), w);
    for (GtkWidget* w : {cw->labely0, cw->y0, cw->labelcy, cw->cy}) gtk_container_add(GTK_CONTAINER(cw->boxy), w);
    for (GtkWidget* w : {cw->boxgpi, cw->mode, cw->boxx, cw->boxy, cw->labelexp, cw->exp, cw->labelgain, cw->gain,
                         cw->color, cw->show, cw->run})
        gtk_container_add(GTK_CONTAINER(cw->boxmain), w);
    gtk_container_add(GTK_CONTAINER(cw->window), cw->boxmain);

    // The first mode, applied directly: no handler is connected yet.
    panel = cw;
    update_mode(GTK_COMBO_BOX(cw->mode), cw);
    note_camera_settings(cw);
    build_status_area(&cw->status, cw, cw->boxmain);
    build_picture_tools(&cw->picture, cw->boxmain);
    build_view_tools(&cw->view, cw->boxmain);

    // Shown, and the status poll started; its id is kept so the panel can be stopped.
    gtk_widget_show_all(cw->window);
    cw->poll_timer = g_timeout_add(POLL_INTERVAL_MS, reinterpret_cast<GSourceFunc>(time_handler), cw);

    // The handlers, last.
    connect(adjustment_of_range(cw->gain), "value_changed", G_CALLBACK(update_gain), nullptr);
    connect(adjustment_of_range(cw->exp), "value_changed", G_CALLBACK(update_exposure), nullptr);
    connect(adjustment_of_spin(cw->x0), "value_changed", G_CALLBACK(update_x0), nullptr);
    connect(adjustment_of_spin(cw->y0), "value_changed", G_CALLBACK(update_y0), nullptr);
    connect(adjustment_of_spin(cw->cx), "value_changed", G_CALLBACK(update_cx), nullptr);
    connect(adjustment_of_spin(cw->cy), "value_changed", G_CALLBACK(update_cy), nullptr);
    connect(cw->color, "toggled", G_CALLBACK(update_color), nullptr);
    connect(cw->show, "toggled", G_CALLBACK(update_show), nullptr);
    connect(cw->run, "toggled", G_CALLBACK(update_run), cw);
    connect(cw->mode, "changed", G_CALLBACK(update_mode), cw);
}

void stop_control_panel(ctrl_window* cw) {
    if (cw->poll_timer) g_source_remove(cw->poll_timer);
    cw->poll_timer = 0;
    stop_status_area(&cw->status);
    stop_picture_tools(&cw->picture);
    stop_view_tools(&cw->view);
}
