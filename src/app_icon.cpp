// The program's icon for the GTK windows; the video window sets it itself
// (video_window.cpp). Main (GTK) thread.
#include "app_icon.h"

#include <gtk/gtk.h>

#include "app_icon_data.h"

const unsigned long* const kAppIcon = kAppIconData;
const size_t kAppIconLength = sizeof kAppIconData / sizeof kAppIconData[0];

void set_default_window_icon() {
    GList* sizes = nullptr;
    for (size_t at = 0; at + 2 <= kAppIconLength;) {
        const int width = int(kAppIcon[at]), height = int(kAppIcon[at + 1]);
        const unsigned long* argb = kAppIcon + at + 2;
        GdkPixbuf* image = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
        guchar* pixels = gdk_pixbuf_get_pixels(image);
        const int stride = gdk_pixbuf_get_rowstride(image);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned long p = argb[y * width + x];
                guchar* rgba = pixels + y * stride + x * 4;
                rgba[0] = guchar(p >> 16);
                rgba[1] = guchar(p >> 8);
                rgba[2] = guchar(p);
                rgba[3] = guchar(p >> 24);
            }
        sizes = g_list_append(sizes, image);
        at += 2 + size_t(width) * size_t(height);
    }
    gtk_window_set_default_icon_list(sizes);
    g_list_free_full(sizes, g_object_unref);
}
