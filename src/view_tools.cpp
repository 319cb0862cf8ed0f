// See view_tools.h. Main (GTK) thread only: the display thread only raises
// save_picture_asked, which the watch here takes.
#include "view_tools.h"

#include "picture_save.h"
#include "view_input.h"

namespace {

constexpr guint WATCH_MS = 100;

GtkWindow* window_of(GtkWidget* widget) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    return gtk_widget_is_toplevel(top) ? GTK_WINDOW(top) : nullptr;
}

void save_clicked(GtkButton* button, gpointer) { save_picture(window_of(GTK_WIDGET(button))); }

gboolean watch_tick(gpointer data) {
    auto* tools = static_cast<view_tools*>(data);
    if (save_picture_asked.exchange(false)) save_picture(window_of(tools->box));
    return TRUE;
}

}  // namespace

void build_view_tools(view_tools* tools, GtkWidget* box) {
    tools->box = gtk_hbox_new(FALSE, 0);
    tools->save = gtk_button_new_with_label("Save picture…");
    gtk_widget_set_tooltip_text(tools->save, "Save the picture on show as a PNG file (s in the video window)");
    g_signal_connect(tools->save, "clicked", G_CALLBACK(save_clicked), nullptr);
    // Clicked, or s in the video window, but out of the keyboard's way: Tab
    // and shift+Tab go round the panel's own widgets as before.
    gtk_widget_set_can_focus(tools->save, FALSE);
    gtk_box_pack_start(GTK_BOX(tools->box), tools->save, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), tools->box, FALSE, FALSE, 2);
    gtk_widget_show_all(tools->box);
    save_picture_asked = false;
    tools->timer = g_timeout_add(WATCH_MS, watch_tick, tools);
}

void stop_view_tools(view_tools* tools) {
    if (tools->timer) g_source_remove(tools->timer);
    tools->timer = 0;
}
