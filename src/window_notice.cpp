// See window_notice.h. Display thread only.
#include "window_notice.h"

#include <algorithm>

#include "setup.h"
#include "status_text.h"

namespace {

constexpr int MARGIN = 16;
constexpr unsigned long BACKGROUND = 0x202428;  // dark slate, unlike any frame's white
constexpr unsigned long FOREGROUND = 0xE8E8E8;

// A fixed-width font set, so a line's width is its length in characters,
// and UTF-8 text draws in the program's locale. Made once, kept for the
// process (the server frees it with the connection).
XFontSet font_set() {
    static XFontSet fonts = [] {
        char** missing = nullptr;
        int missing_count = 0;
        char* fallback = nullptr;
        XFontSet set = XCreateFontSet(x11_display, "-misc-fixed-medium-r-normal--18-*-*-*-*-*-*-*,-misc-fixed-medium-r-normal--13-*-*-*-*-*-*-*,fixed", &missing,
                                      &missing_count, &fallback);
        if (missing) XFreeStringList(missing);
        return set;
    }();
    return fonts;
}

}  // namespace

void draw_window_notice(Window win, int width, int height, const std::string& text) {
    GC gc = XCreateGC(x11_display, win, 0, nullptr);
    XSetForeground(x11_display, gc, BACKGROUND);
    XFillRectangle(x11_display, win, gc, 0, 0, width, height);
    XSetForeground(x11_display, gc, FOREGROUND);
    if (XFontSet fonts = font_set(); fonts && !text.empty()) {
        const XFontSetExtents* extents = XExtentsOfFontSet(fonts);
        const int char_width = std::max<int>(1, extents->max_logical_extent.width);
        const int line_height = std::max<int>(1, extents->max_logical_extent.height + 2);
        const size_t columns = std::max(8, (width - 2 * MARGIN) / char_width);
        int y = MARGIN + line_height;
        for (const std::string& line : wrap_text(text, columns)) {
            if (y > height) break;
            Xutf8DrawString(x11_display, win, fonts, gc, MARGIN, y, line.data(), static_cast<int>(line.size()));
            y += line_height;
        }
    }
    XFreeGC(x11_display, gc);
    XFlush(x11_display);
}
