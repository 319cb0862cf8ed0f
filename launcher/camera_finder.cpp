// tolmirex-cameras: the GenICam cameras that answer, for the launcher.
//   tolmirex-cameras --list     one line each, or a line saying none answers
//   tolmirex-cameras --choose   prints the TOLMIREX_CAMERA_ID of the camera
//                               to open: the only one, or the one picked in a
//                               dialog when several answer (the first without
//                               a display); exit status 3 when none answers,
//                               4 when the person cancelled the choice.
// The search (Aravis's discovery: a broadcast on every network interface,
// and the USB buses) takes about a second and is bounded at kSearchBound.
// Main thread, and one thread for the search.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

#include "camera_list.h"
#include "discovery.h"
#include "gvcp_probe.h"

namespace {

constexpr auto kSearchBound = std::chrono::seconds(3);
constexpr int kHeldAskMs = 300;
// The GigE Vision control channel privilege register: non-zero while a
// program controls the camera.
constexpr uint32_t kControlPrivilege = 0x0A00;

constexpr int kNoneAnswers = 3, kCancelled = 4;

std::vector<ListedCamera> find_cameras() {
    std::vector<ListedCamera> listed;
    for (const genicam::FoundCamera& found : genicam::discover_cameras()) {
        ListedCamera camera{found, false};
        if (!found.address.empty()) {
            const auto privilege = genicam::read_gvcp_register(found.address, kControlPrivilege, kHeldAskMs);
            camera.held = privilege && *privilege != 0;
        }
        listed.push_back(camera);
    }
    return listed;
}

// The search in a thread of its own, so that one that hangs (a network
// interface that never answers) cannot hold up the launcher: past the
// bound it counts as having found nothing, and the process ends without
// waiting for it.
std::vector<ListedCamera> search_bounded(bool* finished) {
    auto search = std::make_shared<std::promise<std::vector<ListedCamera>>>();
    std::future<std::vector<ListedCamera>> result = search->get_future();
    std::thread([search] { search->set_value(find_cameras()); }).detach();
    *finished = result.wait_for(kSearchBound) == std::future_status::ready;
    if (!*finished) {
        std::fprintf(stderr, "tolmirex: the search for cameras did not end within %lld s\n",
                     static_cast<long long>(kSearchBound.count()));
        return {};
    }
    return result.get();
}

enum Column { kModel, kSerial, kPlace, kInUse, kColumns };

void accept_row(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer dialog) {
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
}

// The index picked, or -1 when the person cancelled.
int choose_in_dialog(const std::vector<ListedCamera>& cameras) {
    GtkWidget* dialog = gtk_dialog_new_with_buttons("Tolmirex: choose a camera", nullptr, GTK_DIALOG_MODAL,
                                                    GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN,
                                                    GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_container_set_border_width(GTK_CONTAINER(dialog), 6);
    GtkListStore* store = gtk_list_store_new(kColumns, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
    for (const ListedCamera& camera : cameras) {
        const genicam::FoundCamera& c = camera.found;
        GtkTreeIter row;
        gtk_list_store_append(store, &row);
        const std::string model = c.vendor.empty() ? c.model : c.vendor + " " + c.model;
        gtk_list_store_set(store, &row, kModel, model.c_str(), kSerial, c.serial.c_str(), kPlace,
                           camera_place(c).c_str(), kInUse, camera.held ? "in use by another program" : "", -1);
    }
    GtkWidget* list = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);
    const char* titles[kColumns] = {"Camera", "Serial", "Where", ""};
    for (int column = 0; column < kColumns; ++column)
        gtk_tree_view_append_column(
            GTK_TREE_VIEW(list),
            gtk_tree_view_column_new_with_attributes(titles[column], gtk_cell_renderer_text_new(), "text", column, nullptr));
    g_signal_connect(list, "row-activated", G_CALLBACK(accept_row), dialog);

    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    GtkWidget* label = gtk_label_new("Several cameras answer. Choose the one to open:");
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.5f);
    gtk_box_pack_start(GTK_BOX(content), label, FALSE, FALSE, 6);
    gtk_box_pack_start(GTK_BOX(content), list, TRUE, TRUE, 6);
    // The first row chosen and the list holding the keys: Enter takes it,
    // the arrows move.
    GtkTreePath* first = gtk_tree_path_new_first();
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(list), first, nullptr, FALSE);
    gtk_tree_path_free(first);
    gtk_widget_show_all(dialog);
    gtk_widget_grab_focus(list);

    int picked = -1;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        GtkTreePath* path = nullptr;
        gtk_tree_view_get_cursor(GTK_TREE_VIEW(list), &path, nullptr);
        if (path) {
            picked = gtk_tree_path_get_indices(path)[0];
            gtk_tree_path_free(path);
        }
    }
    gtk_widget_destroy(dialog);
    return picked;
}

int list(const std::vector<ListedCamera>& cameras) {
    if (cameras.empty()) std::printf("No camera found (%s)\n", kSearched);
    for (const ListedCamera& camera : cameras) std::printf("%s\n", camera_line(camera).c_str());
    return 0;
}

int choose(const std::vector<ListedCamera>& cameras, int* argc, char*** argv) {
    if (cameras.empty()) return kNoneAnswers;
    int picked = 0;
    if (cameras.size() > 1 && gtk_init_check(argc, argv)) picked = choose_in_dialog(cameras);
    if (picked < 0) return kCancelled;
    std::printf("%s\n", camera_name_for_viewer(cameras[size_t(picked)].found).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool listing = argc == 2 && std::strcmp(argv[1], "--list") == 0;
    if (!listing && !(argc == 2 && std::strcmp(argv[1], "--choose") == 0)) {
        std::fprintf(stderr, "usage: tolmirex-cameras --list | --choose\n");
        return 2;
    }
    bool finished = false;
    const std::vector<ListedCamera> cameras = search_bounded(&finished);
    const int status = listing ? list(cameras) : choose(cameras, &argc, &argv);
    std::fflush(stdout);
    // A search still under way is not waited for.
    if (!finished) std::_Exit(status);
    return status;
}
