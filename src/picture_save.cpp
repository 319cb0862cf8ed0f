// The "Save picture…" chooser and its write. Main (GTK) thread only; the
// frame crosses from the other threads as a copy taken under frame_mutex.
#include "picture_save.h"

#include <cstdio>
#include <vector>

#include "frame_handover.h"
#include "png_picture.h"
#include "setup.h"

SharedText save_notice;

namespace {

bool chooser_open = false;

// The picture on show, copied now: what the person saw when they asked.
bool take_picture(PngPicture* picture) {
    std::vector<BYTE> pixels;
    if (lps->color) {
        CQGETBITMAP bitmap{};
        if (copy_shown_bitmap(&bitmap, &pixels)) {
            *picture = png_from_bitmap(bitmap);
            return true;
        }
    }
    CQGETFRAMEEX frame{};
    snapshot_frame(&frame, &pixels);
    if (!frame.bp || frame.curCX == 0 || frame.curCY == 0) return false;
    *picture = png_from_frame(frame);
    return true;
}

std::string start_folder() {
    const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
    if (pictures && g_file_test(pictures, G_FILE_TEST_IS_DIR)) return pictures;
    return g_get_home_dir();
}

// The chosen path, or "" when the person cancelled.
std::string choose_path(GtkWindow* parent) {
    GtkWidget* chooser =
        gtk_file_chooser_dialog_new("Save picture", parent, GTK_FILE_CHOOSER_ACTION_SAVE, GTK_STOCK_CANCEL,
                                    GTK_RESPONSE_CANCEL, GTK_STOCK_SAVE, GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), start_folder().c_str());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), picture_file_name(local).c_str());
    std::string path;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        if (name) path = name;
        g_free(name);
    }
    gtk_widget_destroy(chooser);
    return path;
}

}  // namespace

std::string picture_file_name(const std::tm& local) {
    char name[64];
    if (std::strftime(name, sizeof name, "tolmirex-%Y%m%d-%H%M%S.png", &local) == 0) return "tolmirex.png";
    return name;
}

void save_picture(GtkWindow* parent) {
    if (chooser_open) return;
    PngPicture picture;
    if (!take_picture(&picture)) {
        save_notice.set("No picture to save yet");
        return;
    }
    chooser_open = true;
    const std::string path = choose_path(parent);
    chooser_open = false;
    if (path.empty()) return;
    std::string error;
    if (write_png(path, picture, &error)) {
        save_notice.set("Saved " + path);
        return;
    }
    save_notice.set("Could not save " + path + ": " + error);
    fprintf(stderr, "Could not save the picture to %s: %s\n", path.c_str(), error.c_str());
}
