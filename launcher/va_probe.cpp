// tolmirex-va-probe: tells the launcher whether libva's driver can present on
// this display. Single-threaded.
//
// Some drivers initialise and pass vainfo but only decode: every vaPutSurface
// fails, and the viewer would end live view after its first draws. So the
// probe does what the viewer does, once and small: an unmapped 1x1 window, a
// 16x16 4:2:0 surface, one vaPutSurface. It also asks for the NV12 or YV12
// images the viewer writes frames into.
//
// Exit 0 and the driver's vendor string on standard output when all of that
// works; otherwise exit 1 and the reason on standard error.
#include <X11/Xlib.h>
#include <va/va.h>
#include <va/va_x11.h>

#include <cstdio>
#include <vector>

namespace {

int fail(const char* what, VAStatus status) {
    fprintf(stderr, "%s failed: %s\n", what, vaErrorStr(status));
    return 1;
}

bool offers_nv12_or_yv12(VADisplay va) {
    std::vector<VAImageFormat> formats(vaMaxNumImageFormats(va));
    int count = 0;
    if (vaQueryImageFormats(va, formats.data(), &count) != VA_STATUS_SUCCESS) return false;
    for (int i = 0; i < count; ++i)
        if (formats[i].fourcc == VA_FOURCC_NV12 || formats[i].fourcc == VA_FOURCC_YV12) return true;
    return false;
}

int probe(Display* x, Window win) {
    VADisplay va = vaGetDisplay(x);
    // libva's own messages would only repeat what the result says.
    vaSetErrorCallback(va, nullptr, nullptr);
    vaSetInfoCallback(va, nullptr, nullptr);
    int major = 0, minor = 0;
    VAStatus status = vaInitialize(va, &major, &minor);
    if (status != VA_STATUS_SUCCESS) return fail("libva found no driver that starts: vaInitialize", status);

    int result = 0;
    VASurfaceID surface = VA_INVALID_SURFACE;
    if (!offers_nv12_or_yv12(va)) {
        fprintf(stderr, "the driver offers neither NV12 nor YV12 images\n");
        result = 1;
    } else if ((status = vaCreateSurfaces(va, VA_RT_FORMAT_YUV420, 16, 16, &surface, 1, nullptr, 0)) !=
               VA_STATUS_SUCCESS) {
        surface = VA_INVALID_SURFACE;
        result = fail("vaCreateSurfaces", status);
    } else if ((status = vaPutSurface(va, surface, win, 0, 0, 16, 16, 0, 0, 1, 1, nullptr, 0, VA_FRAME_PICTURE)) !=
               VA_STATUS_SUCCESS) {
        result = fail("vaPutSurface", status);
    } else {
        const char* vendor = vaQueryVendorString(va);
        printf("%s\n", vendor ? vendor : "(no vendor string)");
    }
    if (surface != VA_INVALID_SURFACE) vaDestroySurfaces(va, &surface, 1);
    vaTerminate(va);
    return result;
}

}  // namespace

int main() {
    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        fprintf(stderr, "cannot open the X display\n");
        return 1;
    }
    // Never mapped: the probe must not flash a window on the user's desktop.
    const int screen = DefaultScreen(x);
    const Window win = XCreateSimpleWindow(x, RootWindow(x, screen), 0, 0, 1, 1, 0, 0, BlackPixel(x, screen));
    const int result = probe(x, win);
    XDestroyWindow(x, win);
    XCloseDisplay(x);
    return result;
}
