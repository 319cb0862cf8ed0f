// The video window's properties, read back from the X server.
#include <gtest/gtest.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <vector>

#include "app_icon.h"
#include "setup.h"
#include "test_support.h"
#include "video_window.h"

TEST(VideoWindow, NamesProtocolsHintsAndEvents) {
    open_test_display();
    const Window win = create_window(640, 480);
    ASSERT_NE(win, 0u);
    resize_window(win, 750, 600);
    XSync(x11_display, False);

    Display* dpy = XOpenDisplay(nullptr);  // the server's view, on a connection of our own
    EXPECT_EQ(window_name(dpy, win), "Tolmirex");
    char* icon = nullptr;
    ASSERT_TRUE(XGetIconName(dpy, win, &icon));
    EXPECT_STREQ(icon, "Tolmirex");
    XFree(icon);

    Atom* protocols = nullptr;
    int count = 0;
    ASSERT_TRUE(XGetWMProtocols(dpy, win, &protocols, &count));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(protocols[0], XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    XFree(protocols);

    XClassHint class_hint{};
    ASSERT_TRUE(XGetClassHint(dpy, win, &class_hint));
    EXPECT_STREQ(class_hint.res_name, "tolmirex");
    EXPECT_STREQ(class_hint.res_class, "Tolmirex");
    XFree(class_hint.res_name);
    XFree(class_hint.res_class);

    Atom type = None;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* pid = nullptr;
    ASSERT_EQ(XGetWindowProperty(dpy, win, XInternAtom(dpy, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL, &type,
                                 &format, &items, &left, &pid),
              Success);
    ASSERT_EQ(items, 1u);
    EXPECT_EQ(*reinterpret_cast<long*>(pid), long(getpid()));
    XFree(pid);

    // The icon, in every size the program embeds: width, height, then ARGB
    // pixels, whole, with something opaque in each.
    unsigned char* icon_data = nullptr;
    ASSERT_EQ(XGetWindowProperty(dpy, win, XInternAtom(dpy, "_NET_WM_ICON", False), 0, 1 << 20, False, XA_CARDINAL,
                                 &type, &format, &items, &left, &icon_data),
              Success);
    EXPECT_EQ(type, XA_CARDINAL);
    EXPECT_EQ(format, 32);
    EXPECT_EQ(left, 0u);
    ASSERT_EQ(items, kAppIconLength);
    const long* icon_longs = reinterpret_cast<long*>(icon_data);
    std::vector<long> sizes;
    for (size_t at = 0; at + 2 <= items;) {
        const long width = icon_longs[at], height = icon_longs[at + 1];
        ASSERT_GT(width, 0);
        ASSERT_LE(at + 2 + size_t(width * height), items);
        EXPECT_EQ(width, height);
        sizes.push_back(width);
        bool opaque = false;
        for (long i = 0; i < width * height; ++i) opaque |= (icon_longs[at + 2 + i] & 0xff000000UL) == 0xff000000UL;
        EXPECT_TRUE(opaque) << width;
        at += 2 + size_t(width * height);
    }
    EXPECT_EQ(sizes, (std::vector<long>{48, 32, 16}));
    XFree(icon_data);

    XSizeHints hints{};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(dpy, win, &hints, &supplied));
    EXPECT_EQ(hints.flags, PAspect);
    EXPECT_EQ(hints.min_aspect.x, 750);
    EXPECT_EQ(hints.min_aspect.y, 600);
    EXPECT_EQ(hints.max_aspect.x, 750);
    EXPECT_EQ(hints.max_aspect.y, 600);

    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(x11_display, win, &attributes));
    // Redraws and size, and the person's keys and pointer (zoom, pan, the
    // pixel under the pointer), nothing else.
    EXPECT_EQ(attributes.your_event_mask, ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask |
                                              ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                                              LeaveWindowMask);
    EXPECT_EQ(attributes.width, 750);
    EXPECT_EQ(attributes.height, 600);
    EXPECT_EQ(attributes.map_state, IsViewable);

    XCloseDisplay(dpy);
    XDestroyWindow(x11_display, win);
    close_test_display();
}
